#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>

#include "data/NumberFormat.h"
#include "data/TextFile.h"
#include "model/IdentifyModel.h"
#include "model/TModel.h"

namespace {

class ModelFile : public ::testing::TestWithParam<char> {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("vtm_test_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Path(const char* name) const { return (dir / name).string(); }

  static std::unique_ptr<MeasurementStore> FilledStore() {
    auto s = std::make_unique<MeasurementStore>();
    s->InnerGain = 2.0034567890123456;
    s->InnerTimeConstant = 19.412345678901234;
    s->InnerDeadTime = 6;
    s->SampleTime = 0.123456789012345;
    s->InnerGainBound = 1.234567890123456e-5;
    s->InnerTimeBound = 0.0012345678901234;
    s->InnerStdDev = 3.3333333333333333e-3;
    s->InnerRelativeError = 0.011999999999999;
    s->OuterGain = -1.5;
    s->OuterTimeConstant = 40.25;
    s->OuterDeadTime = 12.345679012345679;
    s->OuterGainBound = 2.5e15;
    s->OuterTimeBound = 0;
    s->OuterStdDev = 1e-20;
    s->OuterRelativeError = 1;
    s->ModelWindowSamples = 300;
    for (int k = 1; k <= 300; ++k) {
      s->WindowTime[k] = (k - 1) * 0.123456789012345;
      s->UDeviation[k] = std::sin(k) * 1e3;
      s->Y1Deviation[k] = std::cos(k) / 7;
      s->InnerMeasured[k] = k / 3.0;
      s->OuterMeasured[k] = -k / 11.0;
      s->InnerModelResponse[k] = std::exp(-k / 50.0);
      s->OuterModelResponse[k] = 1e-7 * k;
    }
    return s;
  }
  std::filesystem::path dir;
};

void ExpectDigits(double read, double written, int digits) {
  EXPECT_NEAR(read, written, std::fabs(written) * std::pow(10.0, 1 - digits)) << written;
}

}  // namespace

// Saved under one decimal separator and loaded under the other: files move between
// systems with a decimal point and a decimal comma.
TEST_P(ModelFile, RoundTripKeepsFourteenDigitsOfTheModelAndTwelveOfTheData) {
  const char sep = GetParam();
  auto saved = FilledStore();
  TModel::SaveModelFile(Path("m.vtm"), *saved, sep);
  auto loaded = std::make_unique<MeasurementStore>();
  TModel::LoadModelFile(Path("m.vtm"), *loaded, sep == '.' ? ',' : '.');
  const double MeasurementStore::*values[] = {
      &MeasurementStore::InnerGain,      &MeasurementStore::InnerTimeConstant,
      &MeasurementStore::InnerDeadTime,  &MeasurementStore::SampleTime,
      &MeasurementStore::InnerGainBound, &MeasurementStore::InnerTimeBound,
      &MeasurementStore::InnerStdDev,    &MeasurementStore::InnerRelativeError,
      &MeasurementStore::OuterGain,      &MeasurementStore::OuterTimeConstant,
      &MeasurementStore::OuterDeadTime,  &MeasurementStore::OuterGainBound,
      &MeasurementStore::OuterTimeBound, &MeasurementStore::OuterStdDev,
      &MeasurementStore::OuterRelativeError};
  for (auto v : values) ExpectDigits((*loaded).*v, (*saved).*v, 14);
  EXPECT_EQ(loaded->ModelWindowSamples, 300);
  for (int k = 1; k <= 300; ++k) {
    ExpectDigits(loaded->WindowTime[k], saved->WindowTime[k], 12);
    ExpectDigits(loaded->UDeviation[k], saved->UDeviation[k], 12);
    ExpectDigits(loaded->Y1Deviation[k], saved->Y1Deviation[k], 12);
    ExpectDigits(loaded->InnerMeasured[k], saved->InnerMeasured[k], 12);
    ExpectDigits(loaded->OuterMeasured[k], saved->OuterMeasured[k], 12);
    ExpectDigits(loaded->InnerModelResponse[k], saved->InnerModelResponse[k], 12);
    ExpectDigits(loaded->OuterModelResponse[k], saved->OuterModelResponse[k], 12);
  }
  // 6 / 0.123456789012345 = 48.6 and 12.3456790 / 0.1234567890 = 100.
  EXPECT_EQ(loaded->InnerDelaySamples, 49);
  EXPECT_EQ(loaded->OuterDelaySamples, 100);
}

TEST_P(ModelFile, LayoutHasBannerCaptionsCountAndTabSeparatedData) {
  const char sep = GetParam();
  auto s = FilledStore();
  s->ModelWindowSamples = 2;
  s->WindowTime[2] = 0.5;
  TModel::SaveModelFile(Path("m.vtm"), *s, sep);
  const auto lines = ReadTextLines(Path("m.vtm"));
  ASSERT_EQ(lines.size(), 39u);
  EXPECT_EQ(lines[0], "VORTuner Model");
  EXPECT_EQ(lines[1], "V1.0");
  EXPECT_EQ(lines[2], "Ojacenje notranjega procesa:");
  EXPECT_EQ(lines[8], "Vzorcenje notranjega procesa:");
  EXPECT_EQ(lines[32], "Relativna standardna deviacija meritev-model zunanjega procesa:");
  EXPECT_EQ(lines[33], "1");
  EXPECT_EQ(lines[34], "Stevilo vzorcev:");
  EXPECT_EQ(lines[35], "2");
  EXPECT_EQ(lines[36], "Podatki:");
  EXPECT_EQ(lines[5], std::string("19") + sep + "412345678901");  // 14 significant digits
  EXPECT_EQ(lines[27], "2,5E15" == FormatGeneral(2.5e15, 14, sep) ? "2,5E15" : "2.5E15");
  const std::string expected = std::string("0") + sep + "5\t";
  EXPECT_EQ(lines[38].rfind(expected, 0), 0u) << lines[38];
  EXPECT_EQ(std::count(lines[38].begin(), lines[38].end(), '\t'), 6);
}

TEST_P(ModelFile, OuterSampleTimeLineWinsOnLoad) {
  const char sep = GetParam();
  auto s = FilledStore();
  TModel::SaveModelFile(Path("m.vtm"), *s, sep);
  auto lines = ReadTextLines(Path("m.vtm"));
  lines[9] = "2";  // inner sample time
  lines[25] = std::string("0") + sep + "5";
  WriteTextLines(Path("m.vtm"), lines);
  MeasurementStore loaded;
  TModel::LoadModelFile(Path("m.vtm"), loaded, sep);
  EXPECT_EQ(loaded.SampleTime, 0.5);
}

// A typed gain so large that the model's response overflows must not leave a file with
// "NAN" or "INF" in it (the loader refuses such a file); the previous file stays.
TEST_P(ModelFile, ModelThatIsNotFiniteIsNotSaved) {
  const char sep = GetParam();
  auto s = FilledStore();
  TModel::SaveModelFile(Path("m.vtm"), *s, sep);
  const std::vector<std::string> before = ReadTextLines(Path("m.vtm"));
  ApplyModelParameters(*s, false, 1e308, 10, 0);
  ASSERT_FALSE(std::isfinite(s->InnerRelativeError));
  try {
    TModel::SaveModelFile(Path("m.vtm"), *s, sep);
    ADD_FAILURE() << "saved a model that is not finite";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(),
                 "Model procesa ni podan s končnimi števili; datoteka modela ni shranjena.");
  }
  EXPECT_EQ(ReadTextLines(Path("m.vtm")), before);

  s = FilledStore();
  s->OuterModelResponse[300] = std::numeric_limits<double>::infinity();
  EXPECT_THROW(TModel::SaveModelFile(Path("n.vtm"), *s, sep), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(Path("n.vtm")));
}

INSTANTIATE_TEST_SUITE_P(DecimalPointAndComma, ModelFile, ::testing::Values('.', ','));

TEST(ModelFileErrors, BadFilesLeaveTheStoreUntouched) {
  const auto dir = std::filesystem::temp_directory_path() / ("vtm_err_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "bad.vtm").string();
  MeasurementStore written;
  written.InnerGain = 2;
  written.SampleTime = 1;
  written.ModelWindowSamples = 3;
  TModel::SaveModelFile(path, written, '.');
  auto lines = ReadTextLines(path);

  MeasurementStore target;
  target.InnerGain = 7;
  target.ModelWindowSamples = 9;
  auto expectError = [&](std::vector<std::string> content, const std::string& text) {
    WriteTextLines(path, content);
    try {
      TModel::LoadModelFile(path, target, '.');
      ADD_FAILURE() << "no error for " << text;
    } catch (const std::exception& e) {
      EXPECT_EQ(std::string(e.what()), text);
    }
    EXPECT_EQ(target.InnerGain, 7);
    EXPECT_EQ(target.ModelWindowSamples, 9);
  };
  auto badValue = lines;
  badValue[5] = "abc";
  expectError(badValue, "'abc' is not a valid floating point value");
  auto badLine = lines;
  badLine[38] = "1\t2\tx\t4\t5\t6\t7";
  expectError(badLine, "'x' is not a valid floating point value");
  auto shortFile = lines;
  shortFile.resize(39);  // announces 3 data lines, holds 2
  expectError(shortFile, "List index out of bounds (39)");
  auto tooMany = lines;
  tooMany[35] = "5001";
  expectError(tooMany, "Datoteka modela napoveduje 5001 vzorcev, največ jih je lahko 5000");
  std::filesystem::remove_all(dir);
}

TEST(ModelFileErrors, DataLineFieldsReadWithCommaOrPointAndTheLastFieldIsTheRest) {
  const auto v = TModel::ParseModelLine("0,5\t1.25\t-2\t3E-5\t4\t5\t6,75");
  EXPECT_EQ(v[0], 0.5);
  EXPECT_EQ(v[1], 1.25);
  EXPECT_EQ(v[3], 3e-5);
  EXPECT_EQ(v[6], 6.75);
  EXPECT_THROW(TModel::ParseModelLine("1\t2\t3\t4\t5\t6\t7\t8"), ConversionError);
  EXPECT_THROW(TModel::ParseModelLine("1\t2\t3"), ConversionError);
}
