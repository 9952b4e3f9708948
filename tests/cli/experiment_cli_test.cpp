// vortuner-cli experiment on the built-in simulated process: the files, the JSON lines,
// the envelope, Ctrl-C and the exit codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include "cli/CliRunner.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "experiment/SettingsFile.h"

namespace fs = std::filesystem;

namespace {

class ExperimentCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("experiment_cli_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    s.SampleTime = "0.05";
    s.WaitTime = "0.5";
    s.StepSize = "10";
    s.StepDuration = "1.5";
    s.InitialInput = "40";
    s.Descriptions[0] = "ventil";
    s.Descriptions[4] = "nivo";
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Save(const std::string& label = "poizkus") {
    const std::string path = (dir / (label + ".vtx")).string();
    WriteTextLines(path, SettingsLines(s));
    return path;
  }
  std::string File(const char* ending) const {
    return (dir / ("poizkus" + std::string(ending))).string();
  }
  // The MV column's description in the data file.
  std::string MvDescription() const {
    auto store = std::make_unique<MeasurementStore>();
    TObdelava::ReadDataFile(File(".vtd"), *store, '.');
    return store->ColumnNames[1];
  }
  static std::string LastLine(const std::string& out) {
    const std::size_t end = out.find_last_not_of('\n');
    return out.substr(out.rfind('\n', end) + 1, end - out.rfind('\n', end));
  }

  fs::path dir;
  ExperimentSettings s;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(ExperimentCommand, ASimulatedRunIsProcessedIntoTheFilesTheSchedulerWrites) {
  const CliRun run = RunCli("experiment", Save() + " --now --simulate");
  ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  const std::string phases[] = {"priprava", "poizkus", "povrnitev", "obdelava"};
  std::size_t at = 0;
  for (const std::string& phase : phases) {
    at = run.Out.find("{\"event\": \"phase\", \"phase\": \"" + phase + "\"}\n", at);
    ASSERT_NE(at, std::string::npos) << phase << " missing or out of order:\n" << run.Out;
  }
  EXPECT_TRUE(std::regex_search(
      run.Out, std::regex(R"(\{"event": "step", "step": 1, "time": 0\.5?5?, "mv": 50\}\n)")))
      << run.Out;
  EXPECT_FALSE(Has(run.Out, "\"step\": 2")) << "the sequence's end is no step";
  std::string files = "[";
  for (const char* ending : {".vtd", ".vtm", ".vtc", ".docx", "-opozorila.txt"}) {
    EXPECT_TRUE(fs::exists(File(ending))) << ending;
    EXPECT_TRUE(Has(run.Out, "{\"event\": \"file\", \"path\": \"" + File(ending) + "\"}\n"))
        << ending;
    files += std::string(files.size() > 1 ? ", " : "") + "\"" + File(ending) + "\"";
  }
  const std::string outcome = LastLine(run.Out);
  EXPECT_EQ(outcome.rfind("{\"outcome\": \"processed\", \"reason\": null, \"files\": " + files +
                              "], \"samples\": ",
                          0),
            0u)
      << outcome;
  EXPECT_TRUE(
      Has(outcome, "\"heldSamples\": 0, \"lateSamples\": 0, \"simulatedFrom\": {\"sample\": 1"))
      << outcome;
}

TEST_F(ExperimentCommand, TheLongestRunTimeStopsTheRunKeepingAMarkedRecordAndExitCode3) {
  s.StepDuration = "5";
  const CliRun run = RunCli("experiment", Save() + " --now --simulate --max-duration 1");
  ASSERT_EQ(run.ExitCode, 3) << run.Out << run.Err;
  EXPECT_TRUE(Has(
      run.Out, "{\"event\": \"trip\", \"reason\": \"čas poizkusa nad 1.0 s\", \"time\": 1.05}\n"))
      << run.Out;
  EXPECT_EQ(LastLine(run.Out).rfind(
                "{\"outcome\": \"stopped\", \"reason\": \"korak \\\"varnostne meje\\\"", 0),
            0u)
      << LastLine(run.Out);
  EXPECT_EQ(MvDescription(), "ventil (simulacija) (ustavljeno: čas poizkusa nad 1.0 s)");
  for (const char* ending : {".vtm", ".vtc", ".docx"})
    EXPECT_FALSE(fs::exists(File(ending))) << ending;
  const std::vector<std::string> warnings = ReadTextLines(File("-opozorila.txt"));
  EXPECT_NE(
      std::find(warnings.begin(), warnings.end(),
                "Varnostna meja je ustavila poizkus: čas poizkusa nad 1.0 s. Zapis ni obdelan "
                "kot odziv obrata."),
      warnings.end());
}

// Ctrl-C ends the run as "Konec eksperimenta" does: the record is saved and marked, and
// nothing is identified from a sequence cut short.
TEST_F(ExperimentCommand, CtrlCMidRunSavesAMarkedRecordWithExitCode3) {
  s.StepDuration = "30";
  const char* build = std::getenv("VORTUNER_BINARY_DIR");
  const std::string out = (dir / "out.txt").string();
  const std::string command = "XDG_DATA_HOME='" + (dir / "data").string() +
                              "' timeout --foreground --preserve-status -s INT 1.5 " +
                              (build ? build : "build") +
                              std::string("/src/vortuner-cli experiment ") + Save() +
                              " --now --simulate > " + out + " 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  std::string text;
  for (const std::string& line : ReadTextLines(out)) text += line + "\n";
  EXPECT_EQ(LastLine(text).rfind(
                "{\"outcome\": \"stopped\", \"reason\": \"korak \\\"izvor zapisa\\\"", 0),
            0u)
      << text;
  EXPECT_TRUE(std::regex_search(
      MvDescription(), std::regex(R"(^ventil \(simulacija\) \(prekinjeno pri \d+\.\d s\)$)")))
      << MvDescription();
  EXPECT_FALSE(fs::exists(File(".vtm")));
}

TEST_F(ExperimentCommand, AWrongCommandLineOrAManualExperimentIsExitCode2) {
  EXPECT_EQ(RunCli("experiment", "").ExitCode, 2);
  EXPECT_EQ(RunCli("experiment", Save() + " --now --y1-limits 5").ExitCode, 2);
  EXPECT_EQ(RunCli("experiment", Save() + " --now --max-duration 0").ExitCode, 2);
  const CliRun reconnect = RunCli("experiment", Save() + " --now --reconnect-time -1");
  EXPECT_EQ(reconnect.ExitCode, 2);
  EXPECT_TRUE(Has(reconnect.Err, "--reconnect-time needs a number of seconds from 0 to 86400"));
  EXPECT_EQ(RunCli("experiment", (dir / "missing.vtx").string() + " --now").ExitCode, 2);
  s.ManualMode = true;
  const CliRun manual = RunCli("experiment", Save() + " --now --simulate");
  EXPECT_EQ(manual.ExitCode, 2);
  EXPECT_TRUE(Has(manual.Err, "ročno voden poizkus")) << manual.Err;
  EXPECT_TRUE(manual.Out.empty());
}
