#include <gtest/gtest.h>

#include <limits>

#include "data/NumberFormat.h"

TEST(GeneralFormat, ChoosesPlainOrScientificNotationAsTheFileFormatsRequire) {
  EXPECT_EQ(FormatGeneral(1.5e-5, 10), "1.5E-5");
  EXPECT_EQ(FormatGeneral(2.5e15, 10), "2.5E15");
  EXPECT_EQ(FormatGeneral(0.0001, 10), "0.0001");
  EXPECT_EQ(FormatGeneral(0.00009, 10), "9E-5");
  EXPECT_EQ(FormatGeneral(12345678901.0, 10), "1.23456789E10");
  EXPECT_EQ(FormatGeneral(1234567890.0, 10), "1234567890");
  EXPECT_EQ(FormatGeneral(0, 10), "0");
  EXPECT_EQ(FormatGeneral(-0.0, 10), "0");
  EXPECT_EQ(FormatGeneral(-2.5, 10), "-2.5");
  EXPECT_EQ(FormatGeneral(-1.5e-7, 12), "-1.5E-7");
  EXPECT_EQ(FormatGeneral(100, 12), "100");
  EXPECT_EQ(FormatGeneral(1e100, 12), "1E100");
}

TEST(GeneralFormat, RoundsAtTheLastDigitBeforeChoosingTheNotation) {
  EXPECT_EQ(FormatGeneral(0.123456789012345, 8), "0.12345679");
  EXPECT_EQ(FormatGeneral(9.99999999999, 10), "10");
  EXPECT_EQ(FormatGeneral(9999999999.7, 10), "1E10");
  EXPECT_EQ(FormatGeneral(0.1 + 0.2, 15), "0.3");
  EXPECT_EQ(FormatGeneral(1.0 / 3.0, 12), "0.333333333333");
  EXPECT_EQ(FormatGeneral(2.0 / 3.0, 8), "0.66666667");
  // 0.000099996 rounds up to 0.0001 at 4 digits and is then written plainly.
  EXPECT_EQ(FormatGeneral(0.000099996, 4), "0.0001");
}

TEST(GeneralFormat, ValuesNearTheLargestDoubleNeverRoundPastIt) {
  EXPECT_EQ(FormatGeneral(1.7976931348623157E308, 10), "1.797693134E308");
  for (int digits = 1; digits <= 17; ++digits)
    for (double v : {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                     9.9999999999999999E307})
      EXPECT_TRUE(TryParseNumber(FormatGeneral(v, digits, ','))) << FormatGeneral(v, digits);
}

TEST(GeneralFormat, UsesTheGivenDecimalSeparator) {
  EXPECT_EQ(FormatGeneral(3.25, 10, ','), "3,25");
  EXPECT_EQ(FormatGeneral(1.5e-5, 10, ','), "1,5E-5");
  EXPECT_EQ(FormatShortest(0.05, ','), "0,05");
}

TEST(GeneralFormat, ControllerFilesWriteSmallValuesPlainDownToOneHundredThousandth) {
  EXPECT_EQ(FormatGeneral(0.00005, 14, '.', 1e-5), "0.00005");
  EXPECT_EQ(FormatGeneral(0.000005, 14, '.', 1e-5), "5E-6");
}

TEST(FixedFormat, RoundsHalfAwayFromZeroOnTheDecimalValue) {
  EXPECT_EQ(FormatFixed(2.675, 2), "2.68");
  EXPECT_EQ(FormatFixed(1.0005, 3), "1.001");
  EXPECT_EQ(FormatFixed(-1.25, 1), "-1.3");
  EXPECT_EQ(FormatFixed(0.00004, 4), "0.0000");
  EXPECT_EQ(FormatFixed(-0.00004, 4), "0.0000");
  EXPECT_EQ(FormatFixed(20, 4), "20.0000");
  EXPECT_EQ(FormatFixed(19.4, 0), "19");
  EXPECT_EQ(FormatFixed(123.456, 1, ','), "123,5");
}

// The experiment window's values: 4 decimals, at most 10 significant digits, and a
// value too large for that in the general format rather than with digits cut off.
TEST(FixedFormat, WithAPrecisionKeepsEveryLeadingDigit) {
  EXPECT_EQ(FormatFixedPrecision(50, 10, 4), "50.0000");
  EXPECT_EQ(FormatFixedPrecision(123456789.12345, 10, 4, ','), "123456789,1000");
  EXPECT_EQ(FormatFixedPrecision(-9999999999.4, 10, 4), "-9999999999.0000");
  EXPECT_EQ(FormatFixedPrecision(9999999999.6, 10, 4), "1E10");
  EXPECT_EQ(FormatFixedPrecision(1e12, 10, 4), "1E12");
  EXPECT_EQ(FormatFixedPrecision(-1234567890123.0, 10, 4, ','), "-1,23456789E12");
  EXPECT_EQ(FormatFixedPrecision(0.00004, 10, 4), "0.0000");
}

TEST(Conversion, ReadsTypedNumbersWithTheSystemSeparatorOnly) {
  EXPECT_DOUBLE_EQ(ParseFloat("0,05", ','), 0.05);
  EXPECT_DOUBLE_EQ(ParseFloat(" 12.5 ", '.'), 12.5);
  EXPECT_DOUBLE_EQ(ParseFloat("-1E3", '.'), -1000);
  EXPECT_DOUBLE_EQ(ParseFloat("1,5E-5", ','), 1.5e-5);
  EXPECT_FALSE(TryParseFloat("0.05", ',').has_value());
  EXPECT_FALSE(TryParseFloat("", '.').has_value());
  EXPECT_FALSE(TryParseFloat("1e", '.').has_value());
}

TEST(Conversion, ErrorTextsNameTheText) {
  try {
    ParseFloat("abc", '.');
    FAIL();
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
  }
  try {
    ParseFloat("2.5", ',');
    FAIL();
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'2.5' is not a valid floating point value");
  }
  try {
    ParseInt("1.5");
    FAIL();
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'1.5' is not a valid integer value");
  }
  EXPECT_THROW(ParseInt(""), ConversionError);
  EXPECT_THROW(ParseInt("99999999999"), ConversionError);
  EXPECT_EQ(ParseInt("-1"), -1);
  EXPECT_EQ(ParseInt(" 42 "), 42);
}

TEST(ParseNumber, ReadsFilesWrittenUnderEitherSeparator) {
  EXPECT_DOUBLE_EQ(ParseNumber("3,25"), 3.25);
  EXPECT_DOUBLE_EQ(ParseNumber("3.25"), 3.25);
  EXPECT_DOUBLE_EQ(ParseNumber("-1,5E-5"), -1.5e-5);
  EXPECT_FALSE(TryParseNumber("1,000,5").has_value());
  EXPECT_THROW(ParseNumber("x"), ConversionError);
}
