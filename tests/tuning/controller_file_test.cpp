#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "data/NumberFormat.h"
#include "data/TextFile.h"
#include "tuning/TRegulator.h"

namespace {
ControllerSettings Sample() {
  ControllerSettings s;
  s.InnerGain = 1.2345678901234567;
  s.InnerTimeConstant = 20;
  s.InnerDeadTime = 0.000001234;
  s.InnerRelativeError = 0.05;
  s.OuterGain = -3.5;
  s.OuterTimeConstant = 123456789012345678.0;
  s.OuterDeadTime = 8;
  s.OuterRelativeError = 0;
  s.SamplingTimeText = "0,5";
  s.Method = 3;
  s.ResponseKind = 1;
  s.Form = 2;
  s.Type = 3;
  s.Slider = 17;
  s.ScaleP = "1";
  s.ScaleI = "0,25";
  s.ScaleD = "";
  s.Cascade = true;
  return s;
}

class ControllerFile : public ::testing::Test {
 protected:
  std::string path = (std::filesystem::temp_directory_path() /
                      ("vtc_" + std::to_string(::getpid()) + ".vtc"))
                         .string();
  void TearDown() override { std::filesystem::remove(path); }
};
}  // namespace

TEST_F(ControllerFile, HasThirtyEightLinesInTheFixedOrder) {
  const std::vector<std::string> lines = TRegulator::ControllerSettingsLines(Sample(), ',');
  ASSERT_EQ(lines.size(), 38u);
  EXPECT_EQ(lines[0], "VORTuner Controller");
  EXPECT_EQ(lines[1], "V1.0");
  EXPECT_EQ(lines[2], "Ojacenje notranjega procesa:");
  EXPECT_EQ(lines[3], "1,2345678901235");
  EXPECT_EQ(lines[7], "1,234E-6");
  EXPECT_EQ(lines[11], "-3,5");
  EXPECT_EQ(lines[13], "1,2345678901235E17");
  EXPECT_EQ(lines[17], "0");
  EXPECT_EQ(lines[18], "Cas vzorcenja:");
  EXPECT_EQ(lines[19], "0,5");
  EXPECT_EQ(lines[21], "3");
  EXPECT_EQ(lines[23], "1");
  EXPECT_EQ(lines[25], "2");
  EXPECT_EQ(lines[27], "3");
  EXPECT_EQ(lines[29], "17");
  EXPECT_EQ(lines[33], "0,25");
  EXPECT_EQ(lines[35], "");
  EXPECT_EQ(lines[36], "Kaskadna regulacija:");
  EXPECT_EQ(lines[37], "1");
}

TEST_F(ControllerFile, SaveAndLoadRestoreTextsIndicesAndModelTo14Digits) {
  for (char sep : {'.', ','}) {
    TRegulator::SaveControllerSettings(path, Sample(), sep);
    const ControllerSettings s = TRegulator::LoadControllerSettings(path, sep);
    const ControllerSettings e = Sample();
    EXPECT_NEAR(s.InnerGain, e.InnerGain, 1e-13);
    EXPECT_EQ(s.InnerTimeConstant, 20);
    EXPECT_NEAR(s.InnerDeadTime, 1.234e-6, 1e-20);
    EXPECT_NEAR(s.OuterTimeConstant / e.OuterTimeConstant, 1, 1e-13);
    EXPECT_EQ(s.OuterGain, -3.5);
    EXPECT_EQ(s.SamplingTimeText, e.SamplingTimeText);
    EXPECT_EQ(s.Method, 3);
    EXPECT_EQ(s.ResponseKind, 1);
    EXPECT_EQ(s.Form, 2);
    EXPECT_EQ(s.Type, 3);
    EXPECT_EQ(s.Slider, 17);
    EXPECT_EQ(s.ScaleI, "0,25");
    EXPECT_EQ(s.ScaleD, "");
    EXPECT_TRUE(s.Cascade);
  }
}

TEST_F(ControllerFile, ADecimalCommaFileLoadsOnADecimalPointSystem) {
  TRegulator::SaveControllerSettings(path, Sample(), ',');
  EXPECT_NEAR(TRegulator::LoadControllerSettings(path, '.').InnerGain, 1.2345678901235, 1e-13);
}

TEST_F(ControllerFile, CascadeIsOffOnlyForExactlyZero) {
  std::vector<std::string> lines = TRegulator::ControllerSettingsLines(Sample(), '.');
  for (const char* text : {"1", "True", "yes", " 0", ""}) {
    lines[37] = text;
    EXPECT_TRUE(TRegulator::ControllerSettingsFromLines(lines, '.').Cascade) << text;
  }
  lines[37] = "0";
  EXPECT_FALSE(TRegulator::ControllerSettingsFromLines(lines, '.').Cascade);
}

TEST_F(ControllerFile, AShortOrBadFileFailsWithTheStandardMessages) {
  std::vector<std::string> lines = TRegulator::ControllerSettingsLines(Sample(), '.');
  lines.resize(10);
  try {
    TRegulator::ControllerSettingsFromLines(lines, '.');
    FAIL();
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (11)");
  }
  lines = TRegulator::ControllerSettingsLines(Sample(), '.');
  lines.pop_back();
  EXPECT_THROW(TRegulator::ControllerSettingsFromLines(lines, '.'), std::out_of_range);
  lines = TRegulator::ControllerSettingsLines(Sample(), '.');
  lines[25] = "x";
  try {
    TRegulator::ControllerSettingsFromLines(lines, '.');
    FAIL();
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
  }
  lines[25] = "2";
  lines[5] = "abc";
  try {
    TRegulator::ControllerSettingsFromLines(lines, '.');
    FAIL();
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
  }
}

TEST_F(ControllerFile, AModelThatIsNotFiniteIsNotSavedAndTheOldFileStays) {
  TRegulator::SaveControllerSettings(path, Sample(), '.');
  ControllerSettings bad = Sample();
  bad.InnerGain = NAN;
  EXPECT_THROW(TRegulator::SaveControllerSettings(path, bad, '.'), std::runtime_error);
  EXPECT_EQ(ReadTextLines(path)[3], "1.2345678901235");
}

TEST_F(ControllerFile, AMissingFileIsAFileError) {
  EXPECT_THROW(TRegulator::LoadControllerSettings(path + ".none", '.'), FileError);
}

TEST_F(ControllerFile, AnIndexOutOfRangeIsRefusedWithFileAndLineAndMinusOneStaysReadable) {
  ControllerSettings s = Sample();
  s.Method = -1;  // "no method chosen", as the program writes it
  s.Form = -1;
  TRegulator::SaveControllerSettings(path, s, '.');
  EXPECT_EQ(TRegulator::LoadControllerSettings(path, '.').Method, -1);
  s = Sample();
  s.Type = 7;
  TRegulator::SaveControllerSettings(path, s, '.');
  try {
    TRegulator::LoadControllerSettings(path, '.');
    FAIL();
  } catch (const FileLineError& e) {
    EXPECT_EQ(e.Line(), 28);
    EXPECT_EQ(std::string(e.what()), "Napaka v vrstici 28 datoteke '" + path +
                                         "': Tip regulatorja 7 je zunaj obsega 0–3.");
  }
  s = Sample();
  s.Slider = 21;
  TRegulator::SaveControllerSettings(path, s, '.');
  EXPECT_THROW(TRegulator::LoadControllerSettings(path, '.'), FileLineError);
}
