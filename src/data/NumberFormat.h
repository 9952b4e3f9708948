// The program's one number formatter and its text-to-number conversions. Every shown
// or written number goes through here; the decimal separator is passed in (the gui
// takes it from the system locale).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

// A text that is not a number where a number is required. what() is the user-facing
// text, for example "'abc' is not a valid floating point value".
// A text that is no number. what() is English (the command line prints it); the window
// says Slovenian() ("»abc« ni veljavno število.").
class ConversionError : public std::runtime_error {
 public:
  ConversionError(const std::string& english, std::string slovenian)
      : std::runtime_error(english), slovenian_(std::move(slovenian)) {}
  ConversionError(std::string_view text, bool integer);
  const std::string& Slovenian() const { return slovenian_; }
  // A text with a conversion's English sentence in it (an error passed on with the file and
  // line it came from) with that sentence said in Slovenian.
  static std::string InSlovenian(const std::string& text);

 private:
  std::string slovenian_;
};

// General format: the value rounded to at most `digits` significant digits, trailing
// zeros removed, no decimal separator when not needed. Plain notation when the
// magnitude is at least minPlain and the integer digits do not exceed `digits`,
// otherwise scientific with one digit before the separator and "E", a minus sign for
// negative exponents, no plus sign and no leading zeros (1.5E-5, 2.5E15).
std::string FormatGeneral(double value, int digits, char separator = '.',
                          double minPlain = 1e-4);

// Shortest decimal form of a value (general format with 15 significant digits).
std::string FormatShortest(double value, char separator = '.');

// Fixed-point format with `decimals` decimals, rounded half away from zero on the
// decimal value.
std::string FormatFixed(double value, int decimals, char separator = '.');

// A typed number, with the system's decimal separator. Leading and trailing blanks are
// allowed; an exponent "E"/"e" is allowed. Throws ConversionError
// "'<text>' is not a valid floating point value".
double ParseFloat(std::string_view text, char separator);
std::optional<double> TryParseFloat(std::string_view text, char separator);

// A decimal integer. Throws ConversionError "'<text>' is not a valid integer value".
int ParseInt(std::string_view text);
std::optional<int> TryParseInt(std::string_view text);

// A number from a data file: the first "," is turned into "." and the text is read
// with "." as the decimal point, so files written under a decimal comma read back on
// any system. Throws ConversionError like ParseFloat.
double ParseNumber(std::string_view text);
std::optional<double> TryParseNumber(std::string_view text);

// Fixed-point format with `decimals` decimals of the value rounded to `precision`
// significant digits (123456789.12345 with 10 and 4: "123456789.1000"). A value with
// more than `precision` integer digits is shown in the general format with `precision`
// digits instead (1E12), so a leading digit is never dropped for want of room.
std::string FormatFixedPrecision(double value, int precision, int decimals, char separator = '.');

// A count with its noun in the Slovenian form that count takes: one (1, 101, …), two
// (2, 102, …), three and four (3, 4, 103, …) and the rest ("1 stolpec", "2 stolpca",
// "3 stolpci", "5 stolpcev", "11 stolpcev").
std::string CountText(long long count, std::string_view one, std::string_view two,
                      std::string_view threeFour, std::string_view many);
