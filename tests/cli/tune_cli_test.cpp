// Runs the built vortuner-cli; VORTUNER_BINARY_DIR names the build folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "cli/CliRunner.h"
#include "data/TextFile.h"
#include "model/TModel.h"

namespace {
CliRun Tune(const std::string& arguments) { return RunCli("tune", arguments); }

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
}  // namespace

TEST(TuneCommand, PrintsTheRecordTheSummaryTextsAndThePanel) {
  const CliRun r = Tune("--inner 2,20,5 --method 5 --type 3 --form 3 --slider 0");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Has(r.Out, "\"KpP\": 2,"));
  EXPECT_TRUE(Has(r.Out, "\"KiPI\": 0.12000000000000001,"));  // 17 significant digits
  EXPECT_TRUE(Has(r.Out, "\"KdPID\": 6,"));
  EXPECT_TRUE(Has(r.Out, "\"RobustnessFactor\": 0.10000000000000001"));
  EXPECT_TRUE(Has(r.Out, "\"Label_PID_Kp\": \"0.2400\""));
  EXPECT_TRUE(Has(r.Out, "\"Label_Kp_Cascade\": \"0\""));
  // Series form: Ti = 10, Td = 2.5, w = 0.
  EXPECT_TRUE(Has(r.Out, "\"Label_Reg_Name_Ki\": \"Ti:\""));
  EXPECT_TRUE(Has(r.Out, "\"Edit_Reg_Kp\": \"0.1200\""));
  EXPECT_TRUE(Has(r.Out, "\"Edit_Reg_Kd\": \"5.000\""));
  EXPECT_TRUE(Has(r.Out, "\"Label_Priporocljiv\""));
}

// The labels' numbers as plain numbers per controller, and the panel's as numbers.
TEST(TuneCommand, PlainNumbersPerControllerAndForThePanel) {
  const CliRun r = Tune("--inner 2,20,5 --method 5 --type 3 --form 3 --slider 0");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Has(r.Out, "\"P\": {\n      \"Kp\": 0.20000000000000001\n    },")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"PID\": {\n      \"Kp\": 0.23999999999999999,\n      \"Ki\": 0.024,"));
  EXPECT_TRUE(Has(r.Out, "\"scaled\": {\n    \"Kp\": 0.12,\n    \"Ki\": 5,\n    \"Kd\": 5\n  },"));
  const CliRun pi = Tune("--inner 2,20,5 --type 2");  // a PI has no third term
  EXPECT_TRUE(Has(pi.Out, "\"scaled\": {\n    \"Kp\": ")) << pi.Out;
  EXPECT_FALSE(Has(pi.Out.substr(pi.Out.find("\"scaled\"")), "\"Kd\""));
  // The help names the methods and the range the error gives.
  const CliRun help = Tune("--help");
  EXPECT_TRUE(Has(help.Out, "5 Ziegler-Nichols - motnja"));
  EXPECT_TRUE(Has(help.Out, "tuning method 0..8"));
  EXPECT_TRUE(Has(Tune("--inner 2,20,5 --method 9").Err, "--method must be 0..8"));
}

TEST(TuneCommand, CascadeShowsTheInnerLoopGainAndTheSequencerCaption) {
  const CliRun r = Tune("--inner 2,20,5 --outer 1.5,40,8 --cascade --method 5");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  // 2 / 0.85 as the tab shows it: the one inner gain loaded and simulated.
  EXPECT_TRUE(Has(r.Out, "\"InnerLoopGain\": 2.3529,"));
  EXPECT_TRUE(Has(r.Out, "\"KpP\": 2.3529,"));
  EXPECT_TRUE(Has(r.Out, "\"Label_Kp_Cascade\": \"2.3529\""));
  EXPECT_TRUE(Has(r.Out, "\"Label_OjacSekv\": \"1.0000\""));
}

TEST(TuneCommand, WritesTheCurvesAsCsv) {
  const std::string csv =
      (std::filesystem::temp_directory_path() / ("tune_" + std::to_string(::getpid()) + ".csv"))
          .string();
  const CliRun r = Tune("--inner 2,20,5 --ts 0.5 --curves " + csv);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const std::vector<std::string> lines = ReadTextLines(csv);
  std::filesystem::remove(csv);
  ASSERT_EQ(lines.size(), 302u);  // header and n = (50 + 100) / 0.5 + 1 samples
  EXPECT_EQ(lines[0], "t,OL,YI,YP,YPI,YPID");
  EXPECT_EQ(lines[1], "0,0,0,0,0,0");
  EXPECT_EQ(lines[301].substr(0, 4), "150,");
}

TEST(TuneCommand, ErrorsGoToStandardErrorWithANonZeroExitCode) {
  CliRun r = Tune("--method 2");
  EXPECT_NE(r.ExitCode, 0);
  EXPECT_TRUE(Has(r.Err, "the model is missing"));
  EXPECT_TRUE(r.Out.empty());
  r = Tune("--inner 2,20,5 --ts abc");
  EXPECT_NE(r.ExitCode, 0);
  EXPECT_TRUE(Has(r.Err, "'abc' is not a valid floating point value"));
  r = Tune("--inner 2,20");
  EXPECT_NE(r.ExitCode, 0);
}

// Values no tuning can use are refused before anything runs, with the usage.
TEST(TuneCommand, ASamplingTimeOrModelNoTuningCanUseIsAWrongCommandLine) {
  for (const char* arguments :
       {"--inner 2,20,5 --ts 0", "--inner 2,20,5 --ts -1", "--inner 2,20,5 --ts abc",
        "--inner 0,20,5", "--inner 2,-1,5", "--inner 2,20,-1", "--inner 2,20,5 --outer 0,40,8",
        "--vtm ''", "--inner 2,20,5 --curves ''"}) {
    const CliRun r = Tune(arguments);
    EXPECT_EQ(r.ExitCode, 2) << arguments;
    EXPECT_TRUE(Has(r.Err, "Usage: vortuner-cli tune")) << arguments << r.Err;
    EXPECT_TRUE(r.Out.empty());
  }
}

TEST(TuneCommand, AFileThatIsNotAModelFileIsNamedWithTheLine) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("tune_" + std::to_string(::getpid()) + ".vtd"))
          .string();
  WriteTextLines(path, {"VORTuner Mesurements", "V1.0", "7.12.2026", "20:00:00", "1"});
  const CliRun r = Tune("--vtm " + path);
  std::filesystem::remove(path);
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Has(r.Err, "Napaka v vrstici 4 datoteke '" + path +
                             "': '20:00:00' is not a valid floating point value"))
      << r.Err;
  EXPECT_EQ(Tune("--vtm /dev/zero").ExitCode, 1);  // refused, not read for ever
}

// An option's value that is not a number is a wrong command line like any other: exit
// code 2 and the usage, as the identify command answers it.
TEST(TuneCommand, AnOptionThatIsNotANumberIsAWrongCommandLine) {
  for (const char* arguments : {"--inner 2,x,5", "--inner 2,20,5 --method abc",
                                "--inner 2,20,5 --scale 1,1,1e"}) {
    const CliRun r = Tune(arguments);
    EXPECT_EQ(r.ExitCode, 2) << arguments;
    EXPECT_TRUE(Has(r.Err, "is not a valid")) << r.Err;
    EXPECT_TRUE(Has(r.Err, "Usage: vortuner-cli tune")) << r.Err;
    EXPECT_TRUE(r.Out.empty());
  }
}

TEST(TuneCommand, ReadsBothModelsAndTheSampleTimeFromAModelFile) {
  const std::string vtm =
      (std::filesystem::temp_directory_path() / ("tune_" + std::to_string(::getpid()) + ".vtm"))
          .string();
  auto store = std::make_unique<MeasurementStore>();
  store->InnerGain = 2, store->InnerTimeConstant = 20, store->InnerDeadTime = 5;
  store->OuterGain = 1.5, store->OuterTimeConstant = 40, store->OuterDeadTime = 8;
  store->SampleTime = 0.5;
  store->ModelWindowSamples = 3;
  TModel::SaveModelFile(vtm, *store, '.');
  CliRun r = Tune("--vtm " + vtm + " --cascade --method 5");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Has(r.Out, "\"InnerLoopGain\": 2.3529,"));
  EXPECT_TRUE(Has(r.Out, "\"SampleTime\": 0.5"));
  r = Tune("--vtm " + vtm + " --inner 1,2,3");
  EXPECT_NE(r.ExitCode, 0);
  std::filesystem::remove(vtm);
  r = Tune("--vtm " + vtm);
  EXPECT_NE(r.ExitCode, 0);
  EXPECT_TRUE(Has(r.Err, vtm));
}

TEST(TuneCommand, RobustnessOfEveryProposalWithNullWhereAFigureDoesNotExist) {
  CliRun r = Tune("--inner 2,20,5 --ts 0.5 --method 1");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  // The panel shows the PI proposal, so "scaled" repeats the PI's figures.
  // Within "robustness": "controllers" and "scaled" above it hold the parameters.
  const size_t robustness = r.Out.find("\"robustness\": {");
  ASSERT_NE(robustness, std::string::npos);
  const size_t pi = r.Out.find("\"PI\": {", robustness),
               scaled = r.Out.find("\"scaled\": {", robustness);
  ASSERT_NE(pi, std::string::npos);
  ASSERT_NE(scaled, std::string::npos);
  const std::string figures = r.Out.substr(pi + 7, r.Out.find('}', pi) - pi - 7);
  EXPECT_EQ(r.Out.substr(scaled + 11, figures.size()), figures);
  EXPECT_TRUE(Has(figures, "\"GainMarginDb\": "));
  EXPECT_TRUE(Has(figures, "\"Stable\": true"));

  // No controller (method " "): no crossover, so no gain or phase margin.
  r = Tune("--inner 2,20,5 --ts 0.5 --method 6");
  EXPECT_TRUE(Has(r.Out, "\"Ms\": 1,\n      \"GainMargin\": null,\n      \"GainMarginDb\": null,\n"
                         "      \"PhaseMargin\": null,\n      \"Stable\": true"));
  // Without dead time the fast end of the slider makes the loops unstable.
  r = Tune("--inner 2,20,0 --ts 0.5 --method 5 --slider 20");
  EXPECT_TRUE(Has(r.Out, "\"Ms\": null,\n      \"GainMargin\": null,\n      \"GainMarginDb\": null,\n"
                         "      \"PhaseMargin\": null,\n      \"Stable\": false"));
}

// An integrating level k' = 0.02, L = 8 s: SIMC by default, Kc = 1/(k'(tauC + L)) with
// tauC = L, the robustness of the proposals, and the kind in the JSON.
TEST(TuneCommand, IntegratingModelTunedBySimcByDefault) {
  const CliRun r = Tune("--inner-integrating 0.02,8 --ts 0.8");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(Has(r.Out, "\"KpPI\": 3.125,")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"KiPI\": 0.048828125,")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"RobustnessFactor\": 1,")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"InnerKind\": \"integrating\"")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"ClosedLoopTimeConstant\": 8")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "\"Stable\": true")) << r.Out;
  // A first-order rule on it gives zeros; a bad model is a wrong command line.
  const CliRun area = Tune("--inner-integrating 0.02,8,3 --method 0");
  EXPECT_TRUE(Has(area.Out, "\"KpPI\": 0,")) << area.Out;
  EXPECT_EQ(Tune("--inner-integrating 0,8").ExitCode, 2);
  EXPECT_EQ(Tune("--inner 1,2,3 --inner-integrating 0.02,8").ExitCode, 2);
  const CliRun cascade = Tune("--inner 1,5,1 --outer-integrating 0.05,4 --cascade --ts 0.4");
  ASSERT_EQ(cascade.ExitCode, 0) << cascade.Err;
  EXPECT_TRUE(Has(cascade.Out, "\"OuterKind\": \"integrating\"")) << cascade.Out;
  EXPECT_FALSE(Has(cascade.Out, "\"CascKpPI\": 0,")) << cascade.Out;
}

TEST(TuneCommand, MaxMsFindsTheSliderOfEachTypeOrSaysWhyNot) {
  // The quick start's inner model at 1 s: the PI moves below the default position; a
  // limit outside 1.2..2.0 is a wrong command line.
  const CliRun r = Tune("--inner 0.99906166705302,8.992484177077,1 --ts 1 --max-ms 1.6");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const std::string proposal = r.Out.substr(r.Out.find("\"robustProposal\""));
  EXPECT_TRUE(Has(proposal, "\"MaxMs\": 1.6000000000000001,")) << proposal;
  const std::string pi = proposal.substr(proposal.find("\"PI\""));
  EXPECT_TRUE(Has(pi, "\"Slider\": ")) << pi;
  EXPECT_FALSE(Has(pi.substr(0, pi.find('}')), "null")) << pi;
  EXPECT_TRUE(Has(pi, "\"Stable\": true"));
  EXPECT_TRUE(Has(pi, "\"Text\": \"Robustni predlog: regulator PI na položaju drsnika "));
  EXPECT_EQ(Tune("--inner 1,2,0.2 --max-ms 2.5").ExitCode, 2);
}
