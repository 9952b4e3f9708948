// vortuner-cli experiment on the node-opcua test plant: a normal automatic run end to end,
// a process that runs away past its high limit, and a limit broken before the start.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "cli/CliRunner.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "experiment/SettingsFile.h"
#include "opc/peer/UaPeer.h"
#include "support/LatencyProxy.h"

namespace fs = std::filesystem;

namespace {

class ExperimentOnPlant : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("experiment_peer_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    s.ServerName = UaPeerUrl();
    s.SampleTime = "0.1";
    s.WaitTime = "0.5";
    s.StepSize = "10";
    s.StepDuration = "3";
    s.KeepInitialInput = true;
    s.RaSwitchInner = 0;  // one R/A item, 0 = manual
    s.ManualValueInner = 0;
    s.Descriptions[0] = "ventil";
    s.Descriptions[4] = "Y1";
  }
  void TearDown() override { fs::remove_all(dir); }
  // The runaway process: MV, Y1 and its R/A item.
  void Runaway() {
    s.ItemIds[0] = "ns=2;s=Runaway.MV";
    s.ItemIds[4] = "ns=2;s=Runaway.Y1";
    s.ItemIds[10] = "ns=2;s=Runaway.RA";
  }
  CliRun Run(const std::string& options = "") {
    const std::string path = (dir / "poizkus.vtx").string();
    WriteTextLines(path, SettingsLines(s));
    return RunCli("experiment", path + " --now " + options);
  }
  std::string File(const char* ending) const {
    return (dir / ("poizkus" + std::string(ending))).string();
  }
  // The plant's present value of a node, read by the command line's opc read.
  static double Read(const std::string& node) {
    const CliRun r = RunCli("opc", UaPeerUrl() + " read '" + node + "'");
    std::smatch m;
    if (!std::regex_search(r.Out, m, std::regex(R"("value": ([-0-9.e+]+))"))) return NAN;
    return std::stod(m[1]);
  }
  static void Write(const std::string& assignments) {
    ASSERT_EQ(RunCli("opc", UaPeerUrl() + " write " + assignments).ExitCode, 0);
  }

  fs::path dir;
  ExperimentSettings s;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(ExperimentOnPlant, ANormalAutomaticRunIsProcessedEndToEnd) {
  s.ItemIds[0] = "ns=2;s=MV";
  s.ItemIds[2] = "ns=2;s=U";
  s.ItemIds[4] = "ns=2;s=Y1";
  s.ItemIds[5] = "ns=2;s=Y2";
  s.ItemIds[10] = "ns=2;s=RA";
  s.StepDuration = "4";
  Write("'ns=2;s=RA=0' 'ns=2;s=MV=20'");
  const CliRun run = Run();
  ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  for (const char* ending : {".vtd", ".vtm", ".vtc", ".docx", "-opozorila.txt"})
    EXPECT_TRUE(fs::exists(File(ending))) << ending;
  EXPECT_TRUE(Has(run.Out, "\"mv\": 30}")) << run.Out;
  EXPECT_TRUE(Has(run.Out, "\"simulatedFrom\": null")) << run.Out;
  EXPECT_EQ(Read("ns=2;s=RA"), 1) << "automatic after the run";
}

// Y1 climbs past its high limit after the step: the trip comes on the sample that crosses
// it, MV and the controller's mode are back as they were (read on the plant), the record
// and the warnings say where and why, and nothing is identified or tuned.
TEST_F(ExperimentOnPlant, ARunawayProcessTripsOnTheCrossingSampleAndThePlantGoesBack) {
  Runaway();
  s.Y1Max = "60";
  Write("'ns=2;s=Runaway.RA=1' 'ns=2;s=Runaway.MV=40' 'ns=2;s=Runaway.Y1=50'");
  const CliRun run = Run();
  ASSERT_EQ(run.ExitCode, 3) << run.Out << run.Err;
  std::smatch trip;
  ASSERT_TRUE(std::regex_search(
      run.Out, trip,
      std::regex(
          R"(\{"event": "trip", "reason": "Y1 nad 60.0 pri ([0-9.]+) s", "time": ([0-9.]+)\})")))
      << run.Out;
  const double tripTime = std::stod(trip[2]);

  auto store = std::make_unique<MeasurementStore>();
  TObdelava::ReadDataFile(File(".vtd"), *store, '.');
  int crossing = 0;
  for (int k = 1; k <= store->SampleCount && crossing == 0; ++k)
    // The file holds 12 significant digits: a climb that passed 60 by a rounding's width
    // reads back as 60.
    if (store->DataColumns[5][k] > 60 - 1e-9) crossing = k;
  ASSERT_GT(crossing, 1);
  EXPECT_NEAR(store->TimeColumn[crossing], tripTime, 1e-6) << "the trip is the crossing sample";
  EXPECT_LT(store->DataColumns[5][crossing], 60 + 2 * 10 * 0.1 * 2) << "within one sample's climb";
  EXPECT_TRUE(Has(store->ColumnNames[1], "ventil (ustavljeno: Y1 nad 60.0 pri "))
      << store->ColumnNames[1];

  EXPECT_EQ(Read("ns=2;s=Runaway.MV"), 40);
  EXPECT_EQ(Read("ns=2;s=Runaway.RA"), 1) << "the controller back in automatic, as before";
  for (const char* ending : {".vtm", ".vtc", ".docx"})
    EXPECT_FALSE(fs::exists(File(ending))) << ending;
  std::string warnings;
  for (const std::string& line : ReadTextLines(File("-opozorila.txt"))) warnings += line + "\n";
  EXPECT_TRUE(Has(warnings, "Varnostna meja je ustavila poizkus: Y1 nad 60.0 pri ")) << warnings;
  EXPECT_TRUE(
      Has(run.Out, "{\"outcome\": \"stopped\", \"reason\": \"korak \\\"varnostne meje\\\""));
}

TEST_F(ExperimentOnPlant, ALimitBrokenBeforeTheStartRefusesTheRunWithNothingWritten) {
  Runaway();
  s.Y1Max = "60";
  Write("'ns=2;s=Runaway.RA=0' 'ns=2;s=Runaway.MV=40' 'ns=2;s=Runaway.Y1=70'");
  const CliRun run = Run("--y1-limits 10,60");
  ASSERT_EQ(run.ExitCode, 3) << run.Out << run.Err;
  EXPECT_TRUE(Has(run.Out,
                  "\"reason\": \"Eksperiment se ni začel: Y1 (70.0) je že nad varnostno mejo "
                  "60.0. V obrat ni bilo nič zapisano.\""))
      << run.Out;
  EXPECT_EQ(Read("ns=2;s=Runaway.RA"), 0) << "the controller was not switched";
  EXPECT_FALSE(fs::exists(File(".vtd")));
  Write("'ns=2;s=Runaway.RA=1' 'ns=2;s=Runaway.Y1=50'");
}

// Ctrl-C mid-run on the plant: the record is saved and marked where it was cut, nothing is
// identified from it, exit 3; nobody being at the plant, MV goes back to its starting
// value and the controller to its earlier mode (manual here, where a finished run would
// switch it to automatic), both read back on the plant.
TEST_F(ExperimentOnPlant, CtrlCMidRunSavesAMarkedRecordAndPutsThePlantBackAsItWas) {
  s.ItemIds[0] = "ns=2;s=MV";
  s.ItemIds[4] = "ns=2;s=Y1";
  s.ItemIds[10] = "ns=2;s=RA";
  s.StepDuration = "60";
  Write("'ns=2;s=RA=0' 'ns=2;s=MV=20'");
  const std::string path = (dir / "poizkus.vtx").string();
  WriteTextLines(path, SettingsLines(s));
  const char* build = std::getenv("VORTUNER_BINARY_DIR");
  const std::string out = (dir / "out.txt").string();
  // SIGINT 4 s after the start (to the command alone: a second one through its process
  // group would end it at once): connected, past the 0.5 s wait, within the first step.
  const std::string command =
      "XDG_DATA_HOME='" + (dir / "data").string() +
      "' timeout --foreground --preserve-status -s INT 4 " + (build ? build : "build") +
      std::string("/src/vortuner-cli experiment ") + path + " --now > " + out + " 2>&1";
  const int status = std::system(command.c_str());
  std::string text;
  for (const std::string& line : ReadTextLines(out)) text += line + "\n";
  ASSERT_TRUE(WIFEXITED(status)) << text;
  EXPECT_EQ(WEXITSTATUS(status), 3) << text;
  EXPECT_TRUE(Has(text, "\"mv\": 30}")) << "the step was written before the signal\n" << text;
  EXPECT_TRUE(Has(text, "{\"outcome\": \"stopped\"")) << text;
  auto store = std::make_unique<MeasurementStore>();
  TObdelava::ReadDataFile(File(".vtd"), *store, '.');
  EXPECT_TRUE(Has(store->ColumnNames[1], "ventil (prekinjeno pri ")) << store->ColumnNames[1];
  EXPECT_FALSE(fs::exists(File(".vtm")));
  EXPECT_EQ(Read("ns=2;s=MV"), 20);
  EXPECT_EQ(Read("ns=2;s=RA"), 0) << "the controller in its earlier mode, not the after-run one";
}

// The link lost mid-run and not made again within the reconnect time: the plant is given
// up, exit 1, the record saved and marked where it was lost. On a plant of the test's own:
// the session the cut leaves behind never meets another test's count of the shared one's.
TEST_F(ExperimentOnPlant, ALinkLostPastTheReconnectTimeEndsWithExit1AndAMarkedRecord) {
  const PrivateUaPeer plant;
  LatencyProxy relay(std::stoi(plant.Url().substr(plant.Url().rfind(':') + 1)));
  s.ServerName = relay.Url();
  s.ItemIds[0] = "ns=2;s=MV";
  s.ItemIds[4] = "ns=2;s=Y1";
  s.ItemIds[10] = "ns=2;s=RA";
  s.StepDuration = "5";
  ASSERT_EQ(RunCli("opc", plant.Url() + " write 'ns=2;s=RA=0' 'ns=2;s=MV=20'").ExitCode, 0);
  std::thread cut([&relay] {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    relay.Cut();
  });
  const CliRun run = Run("--reconnect-time 1");
  cut.join();
  EXPECT_EQ(run.ExitCode, 1) << run.Out << run.Err;
  EXPECT_TRUE(Has(run.Out, "\"mv\": 30}")) << run.Out;
  EXPECT_TRUE(Has(run.Out, "link lost")) << run.Out;
  auto store = std::make_unique<MeasurementStore>();
  TObdelava::ReadDataFile(File(".vtd"), *store, '.');
  EXPECT_TRUE(Has(store->ColumnNames[1], "ventil (simulacija od ")) << store->ColumnNames[1];
  EXPECT_TRUE(fs::exists(File("-opozorila.txt")));
  EXPECT_FALSE(fs::exists(File(".vtm")));
  EXPECT_TRUE(Has(run.Out, "ker je bila povezava s strežnikom izgubljena")) << run.Out;
  EXPECT_FALSE(Has(run.Out, "\"simulatedFrom\": null")) << run.Out;
}
