// Runs the built vortuner-cli identify on data files written by the program's own writer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "model/IntegratingTestData.h"
#include "model/ModelTestData.h"
#include "model/TModel.h"

namespace {
class IdentifyCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("identify_cli_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Path(const char* name) const { return (dir / name).string(); }

  CliRun Identify(const std::string& arguments) { return RunCli("identify", arguments); }

  // The worked example's record as a ".vtd" file with window 1..200 and filter time 0.
  std::string WriteWorkedExample(char separator) {
    auto store = modeltest::MakeStore({});
    DataFileHeader h;
    h.Date = "7.12.2026";
    h.Time = "20:00:00";
    h.SampleTime = 1;
    h.SampleCount = 200;
    h.WindowStart = 1;
    h.WindowEnd = 200;
    const std::string path = Path(separator == ',' ? "comma.vtd" : "point.vtd");
    TObdelava::WriteDataFile(path, *store, h, separator);
    return path;
  }
  std::filesystem::path dir;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
}  // namespace

TEST_F(IdentifyCommand, WorkedExampleFromAVtdFile) {
  for (char separator : {'.', ','}) {
    const CliRun r = Identify(WriteWorkedExample(separator));
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_TRUE(Has(r.Out, "\"ModelWindowSamples\": 200,")) << r.Out;
    EXPECT_TRUE(Has(r.Out, "\"InnerGain\": 1.99526")) << r.Out;
    EXPECT_TRUE(Has(r.Out, "\"InnerTimeConstant\": 19.38")) << r.Out;
    EXPECT_TRUE(Has(r.Out, "\"InnerDeadTime\": 6,"));
    EXPECT_TRUE(Has(r.Out, "\"InnerRelativeError\": 0.0115735"));
    EXPECT_TRUE(Has(r.Out, "\"InnerDelaySamples\": 6,"));
    EXPECT_TRUE(Has(r.Out, "\"OuterGain\": 0,"));
    EXPECT_TRUE(Has(r.Out, "\"InnerQuality\": \"Dobra\","));
    EXPECT_TRUE(Has(r.Out, "\"OuterQuality\": \"Slaba\","));
    EXPECT_TRUE(Has(r.Out, "\"SamplingWarning\": true,")) << r.Out;
  }
}

TEST_F(IdentifyCommand, WindowOptionsAndTheModelFile) {
  const std::string data = WriteWorkedExample('.');
  const CliRun r = Identify(data + " --start 11 --end 150 --vtm " + Path("out.vtm"));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Has(r.Out, "\"ModelWindowSamples\": 140,"));
  MeasurementStore loaded;
  TModel::LoadModelFile(Path("out.vtm"), loaded, '.');
  EXPECT_EQ(loaded.ModelWindowSamples, 140);
  EXPECT_EQ(loaded.InnerDeadTime, 6);
  // Written with a decimal comma, read back here and by "tune" all the same.
  ASSERT_EQ(Identify(data + " --vtm " + Path("comma.vtm") + " --decimal-comma").ExitCode, 0);
  EXPECT_NE(ReadTextLines(Path("comma.vtm"))[5].find(','), std::string::npos);
  const CliRun tune = RunCli("tune", "--vtm " + Path("comma.vtm"));
  ASSERT_EQ(tune.ExitCode, 0) << tune.Err;
  EXPECT_TRUE(Has(tune.Out, "\"SampleTime\": 1,")) << tune.Out;
}

// A file that announces more samples than it holds (and a window over all of them) loads
// with a warning, and its window is kept within the samples read, as the tab keeps it.
TEST_F(IdentifyCommand, TheFilesWindowIsKeptWithinASampleCountCutShort) {
  const std::string data = WriteWorkedExample('.');
  std::vector<std::string> lines = ReadTextLines(data);
  lines[5] = "260";  // announced samples
  lines[7] = "260";  // window end
  WriteTextLines(data, lines);
  const CliRun r = Identify(data);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Has(r.Err, "warning: Datoteka napoveduje 260 vzorcev")) << r.Err;
  EXPECT_TRUE(Has(r.Out, "\"ModelWindowSamples\": 200,")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"InnerGain\": 1.99526")) << r.Out;
}

// A window before the step identifies numbers that mean nothing: said on standard error
// and in the JSON, the command still succeeds.
TEST_F(IdentifyCommand, AWindowWithoutAStepOfMVIsWarnedAbout) {
  const CliRun r = Identify(WriteWorkedExample('.') + " --start 1 --end 15");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const std::string noStep =
      "the window 1..15 holds no step of MV (column 1 stays at 0): the models describe no "
      "step response";
  EXPECT_TRUE(Has(r.Err, "vortuner-cli identify: warning: " + noStep)) << r.Err;
  EXPECT_TRUE(Has(r.Out, "\"Warnings\": [\"" + noStep + "\"")) << r.Out;
  const CliRun step = Identify(WriteWorkedExample('.') + " --start 1 --end 200");
  EXPECT_FALSE(Has(step.Err, "no step of MV")) << step.Err;
}

TEST_F(IdentifyCommand, ErrorsGoToStandardErrorWithANonZeroExitCode) {
  const CliRun missing = Identify(Path("none.vtd"));
  EXPECT_EQ(missing.ExitCode, 1);
  EXPECT_TRUE(missing.Out.empty());
  EXPECT_TRUE(Has(missing.Err, "none.vtd")) << missing.Err;

  const CliRun window = Identify(WriteWorkedExample('.') + " --start 150 --end 120");
  EXPECT_EQ(window.ExitCode, 1);
  EXPECT_TRUE(Has(window.Err, "150..120")) << window.Err;

  const CliRun usage = Identify("--start");
  EXPECT_EQ(usage.ExitCode, 2);
  EXPECT_TRUE(Has(usage.Err, "Usage: vortuner-cli identify FILE"));

  const CliRun help = Identify("--help");
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_TRUE(Has(help.Out, "SamplingWarning"));
  EXPECT_TRUE(Has(help.Out, "--vtm OUT"));
}

// A folder, an endless file and samples whose sums overflow: errors with their cause,
// never a success with null values, with or without the model file.
TEST_F(IdentifyCommand, FilesThatCannotGiveAModelAreErrors) {
  const CliRun folder = Identify(dir.string());
  EXPECT_EQ(folder.ExitCode, 1);
  EXPECT_TRUE(Has(folder.Err, "Is a directory")) << folder.Err;
  const CliRun endless = Identify("/dev/zero");
  EXPECT_EQ(endless.ExitCode, 1);

  auto store = modeltest::MakeStore({});
  for (int k = 1; k <= 200; ++k) store->DataColumns[5][k] *= 1e306;
  DataFileHeader h;
  h.SampleTime = 1;
  h.SampleCount = 200;
  h.WindowEnd = 200;
  TObdelava::WriteDataFile(Path("huge.vtd"), *store, h, '.');
  for (const std::string& more : {std::string(), " --vtm " + Path("huge.vtm")}) {
    const CliRun r = Identify(Path("huge.vtd") + more);
    EXPECT_EQ(r.ExitCode, 1) << r.Out;
    EXPECT_TRUE(Has(r.Err, "Model procesa ni končen")) << r.Err;
    EXPECT_TRUE(r.Out.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(Path("huge.vtm")));
  EXPECT_EQ(Identify(Path("huge.vtd") + " --vtm ''").ExitCode, 2);
}

TEST_F(IdentifyCommand, AHistoriansExportByColumnNamesWithTheImportsCounts) {
  // The worked example as an export: semicolons, decimal commas, ISO stamps; a doubled
  // row, an empty cell of an unused column and a header of names.
  auto store = modeltest::MakeStore({});
  std::string text = "Time;Valve;Out;Level;Spare\r\n";
  for (int k = 1; k <= 200; ++k) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2026-12-08T10:%02d:%02d", (k - 1) / 60, (k - 1) % 60);
    std::string row = stamp;
    for (int c : {1, 3, 5}) row += ";" + FormatGeneral(store->DataColumns[c][k], 12, ',');
    row += k == 50 ? ";\r\n" : ";0\r\n";
    text += row;
    if (k == 100) text += row;
  }
  WriteFileBytes(Path("export.csv"), text);
  // Three signals: no Y2, so no outer model and no warning about one.
  const CliRun r = Identify(Path("export.csv") + " --columns Valve,Out,Level");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Has(r.Out, "\"InnerGain\": 1.99526")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"InnerDeadTime\": 6,"));
  EXPECT_TRUE(Has(r.Out, "\"DecimalMark\": \",\","));
  EXPECT_TRUE(Has(r.Out, "\"RowsRepeatedReplaced\": 1,"));
  EXPECT_TRUE(Has(r.Out, "\"MissingValuesHeld\": 1,"));
  EXPECT_TRUE(Has(r.Out, "\"Y1\": \"Level\""));
  EXPECT_TRUE(Has(r.Out, "\"Samples\": 200,"));
  EXPECT_TRUE(Has(r.Out, "\"OuterGain\": null,")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"OuterQuality\": null,")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"SamplingWarning\": false,")) << r.Out;
  // The empty cell lies in a column no signal uses: counted, not warned about.
  EXPECT_FALSE(Has(r.Err, "Prazne celice")) << r.Err;
  EXPECT_FALSE(Has(r.Err, "preredko")) << r.Err;

  // The same by numbers, at another sample time.
  const CliRun half = Identify(Path("export.csv") + " --columns 1,3 --sample-time 2");
  ASSERT_EQ(half.ExitCode, 0) << half.Err;
  EXPECT_TRUE(Has(half.Out, "\"Samples\": 100,")) << half.Out;
  // A range of the engineer's own, seconds from the first row.
  const CliRun range = Identify(Path("export.csv") + " --from 20 --to 119");
  ASSERT_EQ(range.ExitCode, 0) << range.Err;
  EXPECT_TRUE(Has(range.Out, "\"FirstSample\": 21,")) << range.Out;
  EXPECT_TRUE(Has(range.Out, "\"Samples\": 100,"));

  // Refusals: a name the header lacks, a table without a time, an export's option on
  // a logger's file; nothing printed on standard output.
  CliRun bad = Identify(Path("export.csv") + " --columns Valve,Out,Lvl,Level");
  EXPECT_EQ(bad.ExitCode, 1);
  EXPECT_TRUE(Has(bad.Err, "Y1: stolpca 'Lvl' ni med naslovi stolpcev (Valve, Out, Level, Spare)."))
      << bad.Err;
  WriteFileBytes(Path("notime.csv"), "a;b\nx;1\ny;2\n");
  bad = Identify(Path("notime.csv"));
  EXPECT_EQ(bad.ExitCode, 1);
  EXPECT_TRUE(Has(bad.Err, "Napaka v vrstici 2 datoteke '" + Path("notime.csv") +
                               "': ni uporabnega časovnega stolpca: 'x'"))
      << bad.Err;
  WriteTextLines(Path("log.txt"), {"d;", "", "a;b;", "", "", "10:00:00;1.5;2.5;",
                                   "10:00:01;1.5;2.5;", "10:00:02;1.5;2.5;", "end"});
  bad = Identify(Path("log.txt") + " --delimiter ';'");
  EXPECT_EQ(bad.ExitCode, 1);
  EXPECT_TRUE(Has(bad.Err, "--delimiter applies to a delimited export; '" + Path("log.txt") +
                               "' is a logger's file"));
  EXPECT_TRUE(bad.Out.empty());
}

// A tank level (y' = 0.02 u(t - 8 s)) as a data file: the kind comes out integrating
// with the slope and dead time back; --kind forces the other kind.
TEST_F(IdentifyCommand, LevelRecordIsIntegratingAndKindCanBeForced) {
  auto store = modeltest::MakeLevelStore({});
  DataFileHeader h;
  h.Date = "8.12.2026";
  h.Time = "09:00:00";
  h.SampleTime = 1;
  h.SampleCount = 300;
  h.WindowStart = 1;
  h.WindowEnd = 300;
  const std::string path = Path("level.vtd");
  TObdelava::WriteDataFile(path, *store, h, '.');
  const CliRun r = Identify(path);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Has(r.Out, "\"InnerKind\": \"integrating\"")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"InnerSlope\": 0.0200000000")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"InnerDeadTime\": 8,")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"InnerLag\": ")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"InnerSelfRegulating\": {")) << r.Out;
  const CliRun forced = Identify(path + " --kind self-regulating");
  EXPECT_TRUE(Has(forced.Out, "\"InnerKind\": \"self-regulating\"")) << forced.Out;
  EXPECT_TRUE(Has(forced.Out, "\"InnerGain\": ")) << forced.Out;
  EXPECT_EQ(Identify(path + " --kind tank").ExitCode, 2);
}

// Exports of a known plant (K 1.5, T 45 s, L 8 s, the controller output 40 -> 50 % at
// 100 s) in the shapes historians give: the plant comes back, with no actuator model
// the engineer did not ask for; an export that cannot be read right is refused.
TEST_F(IdentifyCommand, ExportsOfAKnownPlantGiveThatPlantOrARefusal) {
  const double a = std::exp(-1.0 / 45);
  std::vector<double> u, y;
  double level = 60;
  for (int k = 0; k < 600; ++k) {
    u.push_back(k >= 100 ? 50 : 40);
    if (k > 0) level = a * level + (1 - a) * 1.5 * (k - 8 >= 100 ? 50 : 40);
    y.push_back(level);
  }
  auto iso = [](int k) {
    char s[32];
    std::snprintf(s, sizeof s, "2026-10-05 10:%02d:%02d", k / 60, k % 60);
    return std::string(s);
  };
  // The time in the last column; a long export sorted by tag with its quality.
  std::string wide = "OUT;PV;Time\n", narrow = "TagName,Timestamp,Value,Quality\n";
  for (int k = 0; k < 600; ++k)
    wide += FormatGeneral(u[k], 12, '.') + ";" + FormatGeneral(y[k], 12, '.') + ";" + iso(k) + "\n";
  for (const char* tag : {"LIC7.PV", "LIC7.OUT"})
    for (int k = 0; k < 600; ++k)
      narrow += std::string(tag) + "," + iso(k) + "," +
                FormatGeneral(tag[5] == 'P' ? y[k] : u[k], 12, '.') + ",192\n";
  WriteFileBytes(Path("wide.csv"), wide);
  WriteFileBytes(Path("narrow.csv"), narrow);
  auto number = [](const std::string& out, const std::string& key) {
    const size_t at = out.find("\"" + key + "\": ");
    return at == std::string::npos ? -1.0 : std::atof(out.c_str() + at + key.size() + 4);
  };
  for (const std::string& args :
       {Path("wide.csv"), Path("narrow.csv") + " --columns LIC7.OUT,LIC7.PV"}) {
    const CliRun r = Identify(args);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NEAR(number(r.Out, "InnerGain"), 1.5, 0.01) << r.Out;
    EXPECT_NEAR(number(r.Out, "InnerTimeConstant"), 45, 1.5) << r.Out;
    EXPECT_NEAR(number(r.Out, "InnerDeadTime"), 8, 1) << r.Out;
    EXPECT_TRUE(Has(r.Out, "\"OuterGain\": null,")) << r.Out;
    EXPECT_TRUE(Has(r.Out, "\"RowsBackwardsDropped\": 0,")) << r.Out;
  }
  EXPECT_TRUE(Has(Identify(Path("wide.csv")).Out, "\"TimeColumnName\": \"Time\","));
  EXPECT_TRUE(Has(Identify(Path("narrow.csv")).Out, "\"Layout\": \"long\","));
  // An actuator asked for is applied: a full stroke in 100 s makes the step a ramp.
  const CliRun slow = Identify(Path("wide.csv") + " --actuator 100,0,100");
  ASSERT_EQ(slow.ExitCode, 0) << slow.Err;
  EXPECT_LT(number(slow.Out, "InnerDeadTime"), 8) << slow.Out;

  // Without its header the long export cannot be told from a wide one: refused.
  WriteFileBytes(Path("headless.csv"), narrow.substr(narrow.find('\n') + 1));
  const CliRun refused = Identify(Path("headless.csv"));
  EXPECT_EQ(refused.ExitCode, 1);
  EXPECT_TRUE(refused.Out.empty());
  EXPECT_TRUE(Has(refused.Err, "to je dolga oblika izvoza (oznaka, čas, vrednost)")) << refused.Err;
}

// A measurement of noise only: no kind of process follows from it, and that is said.
TEST_F(IdentifyCommand, AMeasurementOfNoiseOnlyGetsNoKind) {
  std::string text = "Time;OUT;PV\n";
  unsigned seed = 12345;
  for (int k = 0; k < 400; ++k) {
    seed = seed * 1103515245u + 12345u;
    const double noise = static_cast<double>((seed >> 16) % 1000) / 1000.0 - 0.5;
    text += std::to_string(k) + ";" + (k < 100 ? "40" : "50") + ";" +
            FormatGeneral(60 + noise, 8, '.') + "\n";
  }
  WriteFileBytes(Path("noise.csv"), text);
  const CliRun r = Identify(Path("noise.csv"));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Has(r.Out, "\"InnerKind\": null,")) << r.Out;
  // No model either: its figures would describe nothing.
  EXPECT_TRUE(Has(r.Out, "\"InnerGain\": null,")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"InnerQuality\": null,")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "Meritev se na skok ne odzove")) << r.Out;
  EXPECT_TRUE(Has(r.Err, "warning: Y1 shows no response to the step: no kind of process")) << r.Err;
}
