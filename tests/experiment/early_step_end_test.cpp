// The automatic run's steps ended by the live model: once the response has settled, and
// before the model's forecast of Y1 crosses a limit of the safety envelope; what the record
// says of them. Settling on the built-in simulated process (gain 1, a lag of about 9.5
// samples, a sample of dead time, noise 0.2; Y1 20 at MV 10), the forecast on a plant whose
// process runs away.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "FakePlant.h"
#include "experiment/ExperimentRun.h"

namespace {

struct EarlyEnd : ::testing::Test {
  std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
  FakePlant plant;  // not connected: the run simulates
  ExperimentRun run{*store, plant};

  // Waits 10 s at MV 10, then steps to 20 and back to 10, each step set to 120 s.
  void SetUp() override {
    ExperimentSetup& s = run.Setup;
    s.SamplePeriodMs = 1000;
    s.InitialInput = 10;
    s.WaitTime = 10;
    s.StepSize = 10;
    s.StepDuration = 120;
    s.NumberOfSteps = 1;
    s.BothDirections = true;
    s.Separator = ',';
    run.FitLiveModelHere = true;
  }
  // Runs to the end; the first forecast told and its sample's time.
  struct Ran {
    std::string FirstForecast;
    double ForecastTime = -1;
    void Note(const ExperimentRun& run, const ExperimentSample& s) {
      if (run.Forecast() && ForecastTime < 0) {
        ForecastTime = s.Time;
        FirstForecast = LimitForecastText(*run.Forecast(), ',');
      }
    }
  };
  Ran RunToEnd() {
    Ran ran;
    run.Create();
    run.PrepareAutomaticPhases();
    run.Begin();
    for (int i = 0; i < 10000; ++i) {
      const ExperimentSample s = run.Tick(true);
      ran.Note(run, s);
      if (s.EndRequested) break;
    }
    run.Finish();
    return ran;
  }
  double MaxY1() const {
    double y = -1e9;
    for (int k = 1; k <= store->SampleCount; ++k) y = std::max(y, store->DataColumns[5][k]);
    return y;
  }
  std::string Lines() const {
    std::string text;
    for (const std::string& line : RunFindingsLines(run.Findings, ',')) text += line + "\n";
    return text;
  }
};

// A process that runs away as the test plant's does: in manual, Y1 climbs at 0.1 per s for
// each % of MV above 40 (and falls below it). The controller is in automatic before the run
// (one R/A item, 0 = manual); the run waits 10 s, then steps MV from 40 to 50 for 120 s.
struct Runaway : ::testing::Test {
  std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
  FakePlant plant;
  ExperimentRun run{*store, plant};

  void SetUp() override {
    plant.connected = true;
    ExperimentSetup& s = run.Setup;
    s.ItemMV = plant.NewItem("MV");
    s.ItemY1 = plant.NewItem("Y1");
    s.ItemRA = plant.NewItem("RA");
    s.SingleRASwitch = true;
    s.ManualValue = 0;
    s.InitialInput = 40;
    s.WaitTime = 10;
    s.StepSize = 10;
    s.StepDuration = 120;
    s.Separator = ',';
    s.Envelope.Y1Max = 85;
    plant.items["MV"]->value = 40;
    plant.items["RA"]->value = 1;
    plant.items["Y1"]->value = 50;
    run.FitLiveModelHere = true;
  }
  // Prepares as the window does and runs to the end; the first forecast and its time.
  EarlyEnd::Ran RunToEnd() {
    EarlyEnd::Ran ran;
    run.PrepareAutomaticPhases();
    EXPECT_EQ(run.ReadPlantBeforeRun(), "");
    run.SwitchToManual();
    run.Begin();
    for (int i = 0; i < 1000; ++i) {
      double& y1 = plant.items["Y1"]->value;
      y1 += 0.1 * (plant.items["MV"]->value - 40);
      const ExperimentSample s = run.Tick(true);
      ran.Note(run, s);
      if (s.EndRequested) break;
    }
    run.Finish();
    return ran;
  }
};

}  // namespace

TEST(LimitForecastTexts, SayTheLimitAndTheTimeWithTheProgramsNumbers) {
  LimitForecast f;
  f.Limit = 85;
  f.In = 40.3;
  EXPECT_EQ(LimitForecastText(f, ','), "Y1 bo po napovedi dosegel mejo 85,0 čez ≈ 40 s");
  f.Limit = -2.25;
  f.In = 4.26;
  EXPECT_EQ(LimitForecastText(f, '.'), "Y1 bo po napovedi dosegel mejo -2.3 čez ≈ 4.3 s");
  EarlyStepEnd e;
  e.Step = 2;
  e.Time = 95;
  e.Lasted = 45;
  e.SetDuration = 120;
  e.SettledAt = 93;
  EXPECT_EQ(EarlyStepEndText(e, ','),
            "Stopnica 2 je končana predčasno pri 95,0 s (po 45,0 s od 120,0 s): odziv se je "
            "umiril pri 93,0 s.");
  f.Limit = 85;
  f.In = 12.4;
  e.Forecast = f;
  EXPECT_EQ(EarlyStepEndText(e, ','),
            "Stopnica 2 je končana predčasno pri 95,0 s (po 45,0 s od 120,0 s), ker bi Y1 po "
            "napovedi čez ≈ 12 s dosegel mejo 85,0; zaporedje stopnic je končano, MV je vrnjen "
            "na začetno vrednost.");
  EXPECT_EQ(MinimumStepTime(120), 30);
}

// Settling to 2 % of the step takes 1 + 9.5 ln 50 ≈ 38 s: each step ends once the model
// says so, after its quarter (30 s) and well before its 120 s; the next phase follows at once.
TEST_F(EarlyEnd, TheOptionEndsEachSettledStepAndTheRecordSaysWhichAndWhen) {
  run.Setup.EndStepWhenSettled = true;
  RunToEnd();
  const std::vector<EarlyStepEnd>& ends = run.Findings.EarlyEnds;
  ASSERT_EQ(ends.size(), 2u) << Lines();
  double stepStart = 11;  // the wait lasts 11 samples
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ends[i].Step, i + 1);
    EXPECT_FALSE(ends[i].Forecast);
    EXPECT_DOUBLE_EQ(ends[i].Time - ends[i].Lasted, stepStart);
    EXPECT_GE(ends[i].Lasted, MinimumStepTime(120));
    EXPECT_LE(ends[i].Lasted, 38 + 2 * 9.5);
    EXPECT_GE(ends[i].SettledAt, stepStart + 20) << "settled on this step's response";
    EXPECT_LE(ends[i].SettledAt, ends[i].Time);
    stepStart = ends[i].Time;
  }
  // The down step began with the sample after the up step's end; the run ended with it.
  const int downFrom = static_cast<int>(ends[0].Time) + 1;
  EXPECT_EQ(store->DataColumns[1][downFrom - 1], 20);
  EXPECT_EQ(store->DataColumns[1][downFrom], 10);
  EXPECT_EQ(store->SampleCount, static_cast<int>(ends[1].Time));
  EXPECT_EQ(store->StepCounter, 3);
  const std::string lines = Lines();
  EXPECT_NE(lines.find("Stopnica 1 je končana predčasno pri "), std::string::npos) << lines;
  EXPECT_NE(lines.find("Stopnica 2 je končana predčasno pri "), std::string::npos) << lines;
  EXPECT_FALSE(run.Findings.Trip);
}

TEST_F(EarlyEnd, WithoutTheOptionEveryStepLastsItsTimeAndTheRecordIsAsBefore) {
  RunToEnd();
  EXPECT_TRUE(run.Findings.EarlyEnds.empty());
  EXPECT_EQ(store->SampleCount, 11 + 2 * 121);
  EXPECT_EQ(Lines().find("Stopnica"), std::string::npos) << Lines();
  // The same seed without the live model: the same record, sample for sample.
  auto before = std::make_unique<MeasurementStore>();
  ExperimentRun plain{*before, plant};
  plain.Setup = run.Setup;
  plain.Create();
  plain.PrepareAutomaticPhases();
  plain.Begin();
  while (!plain.Tick(true).EndRequested) {
  }
  plain.Finish();
  ASSERT_EQ(before->SampleCount, store->SampleCount);
  for (int k = 1; k <= store->SampleCount; ++k)
    for (int c : {1, 3, 5, 6}) ASSERT_EQ(before->DataColumns[c][k], store->DataColumns[c][k]);
}

// Y1 would pass 85 some 35 s into the step: the first fits forecast it, and the sequence
// ends there, long before the crossing; MV goes back to 40 through the gate before the
// controller returns to automatic, and the record says why.
TEST_F(Runaway, AForecastCrossingEndsTheSequenceBeforeTheCrossing) {
  run.Setup.EndStepWhenSettled = true;
  const EarlyEnd::Ran ran = RunToEnd();
  ASSERT_EQ(run.Findings.EarlyEnds.size(), 1u);
  const EarlyStepEnd& end = run.Findings.EarlyEnds[0];
  ASSERT_TRUE(end.Forecast);
  EXPECT_TRUE(end.Forecast->High);
  EXPECT_EQ(end.Forecast->Limit, 85);
  EXPECT_NEAR(end.Forecast->At, 11 + 35, 2) << "the forecast's crossing";
  EXPECT_LT(end.Lasted, 35 - 10);
  EXPECT_DOUBLE_EQ(ran.ForecastTime + 1, end.Time) << "ended on the forecast's sample";
  EXPECT_FALSE(run.Findings.Trip);
  EXPECT_EQ(run.MV, 40) << "MV commanded back where the run began";
  EXPECT_LT(plant.items["Y1"]->value, 85 - 10);

  plant.writes.clear();
  run.RestorePlantAfterRun(true);
  EXPECT_EQ(plant.writes, (std::vector<RecordedWrite>{{"MV", 40, false}, {"RA", 1, true}}));
  const std::string lines = RunFindingsText(run.Findings, ',');
  EXPECT_NE(lines.find("Stopnica 1 je končana predčasno pri "), std::string::npos) << lines;
  EXPECT_NE(lines.find(", ker bi Y1 po napovedi čez ≈ "), std::string::npos) << lines;
  EXPECT_NE(lines.find(" dosegel mejo 85,0; zaporedje stopnic je končano, MV je vrnjen na "
                       "začetno vrednost."),
            std::string::npos)
      << lines;
}

// Without the option the forecast is told ahead of time, and the envelope trips later, on
// the crossing sample; a fall towards a low limit is forecast the same way.
TEST_F(Runaway, WithoutTheOptionTheForecastIsToldAheadOfTheTrip) {
  const EarlyEnd::Ran ran = RunToEnd();
  EXPECT_TRUE(run.Findings.EarlyEnds.empty());
  ASSERT_TRUE(run.Findings.Trip);
  EXPECT_TRUE(std::regex_match(ran.FirstForecast,
                               std::regex("Y1 bo po napovedi dosegel mejo 85,0 čez ≈ [0-9]+ s")))
      << ran.FirstForecast;
  EXPECT_GE(run.Findings.Trip->Time - ran.ForecastTime, 20) << "told ahead of time";

  run.Setup.StepSize = -10;
  run.Setup.Envelope.Y1Max.reset();
  run.Setup.Envelope.Y1Min = 20;
  plant.items["MV"]->value = 40;
  plant.items["Y1"]->value = 50;
  const EarlyEnd::Ran down = RunToEnd();
  ASSERT_TRUE(run.Findings.Trip);
  EXPECT_EQ(down.FirstForecast.rfind("Y1 bo po napovedi dosegel mejo 20,0 čez ≈ ", 0), 0u)
      << down.FirstForecast;
  EXPECT_LT(down.ForecastTime + 10, run.Findings.Trip->Time);
}
