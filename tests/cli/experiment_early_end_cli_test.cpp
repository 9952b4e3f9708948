// vortuner-cli experiment with "Končaj stopnico, ko se odziv umiri": the run fits the live
// model between samples and ends a settled step as the window's run does; the events and
// the warnings file say which step ended and when.
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

std::string LastLine(const std::string& out) {
  const std::size_t end = out.find_last_not_of('\n');
  return out.substr(out.rfind('\n', end) + 1, end - out.rfind('\n', end));
}

}  // namespace

// The simulated process (a lag of about 9.5 samples, 0.475 s at 0.05 s) stepped from rest
// for a set 8 s: settled within about 2 s, the step ends after its quarter, 2 s, long before 8.
TEST(ExperimentCommandEarlyEnd, ASettledStepEndsEarlyAndTheFilesSaySo) {
  const fs::path dir = fs::temp_directory_path() / ("experiment_early_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  ExperimentSettings s;
  s.SampleTime = "0.05";
  s.WaitTime = "0.5";
  s.StepSize = "10";
  s.StepDuration = "8";
  s.InitialInput = "10";
  s.Descriptions[0] = "ventil";
  s.Descriptions[4] = "nivo";
  s.EndStepWhenSettled = true;
  const std::string path = (dir / "poizkus.vtx").string();
  WriteTextLines(path, SettingsLines(s));

  const CliRun run = RunCli("experiment", path + " --now --simulate");
  ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      run.Out, m,
      std::regex(R"(\{"event": "early end", "step": 1, "time": ([0-9.]+), "lasted": ([0-9.]+), )"
                 R"("text": "Stopnica 1 je končana predčasno pri [0-9]+\.[0-9] s \(po [0-9.]+ s )"
                 R"(od 8\.0 s\): odziv se je umiril pri [0-9.]+ s\."\}\n)")))
      << run.Out;
  const double lasted = std::stod(m[2]);
  EXPECT_GE(lasted, 2.0);
  EXPECT_LT(lasted, 6.0);
  EXPECT_EQ(LastLine(run.Out).rfind("{\"outcome\": \"processed\"", 0), 0u) << run.Out;

  auto store = std::make_unique<MeasurementStore>();
  TObdelava::ReadDataFile((dir / "poizkus.vtd").string(), *store, '.');
  EXPECT_NEAR(store->SampleCount, 11 + lasted / 0.05, 1.5) << "the record ends with the step";
  std::string warnings;
  for (const std::string& line : ReadTextLines((dir / "poizkus-opozorila.txt").string()))
    warnings += line + "\n";
  EXPECT_NE(warnings.find("Stopnica 1 je končana predčasno pri "), std::string::npos) << warnings;
  fs::remove_all(dir);
}
