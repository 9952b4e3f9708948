#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "FakePlant.h"
#include "data/Clock.h"
#include "experiment/ExperimentRun.h"

namespace {

struct Run : ::testing::Test {
  std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
  FakePlant plant;
  ExperimentRun run{*store, plant};

  void Start(double initialInput, int periodMs = 1000) {
    run.Setup.SamplePeriodMs = periodMs;
    run.Setup.InitialInput = initialInput;
    run.Create();
    run.Begin();
    run.PlaceSlider(100, 0, 1);
  }
  void StartAutomatic(double initialInput, double wait, double stepDuration, int periodMs = 1000) {
    run.Setup.WaitTime = wait;
    run.Setup.StepDuration = stepDuration;
    run.PrepareAutomaticPhases();
    Start(initialInput, periodMs);
  }
  // Ticks until the run asks to end; returns the MV of every recorded sample.
  std::vector<double> RunToEnd(bool stepSequence = true, int limit = 100000) {
    std::vector<double> mv;
    for (int i = 0; i < limit; ++i) {
      const ExperimentSample s = run.Tick(stepSequence);
      mv.push_back(s.MV);
      if (s.EndRequested) break;
    }
    run.Finish();
    return mv;
  }
};

double Mean(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  return sum / static_cast<double>(v.size());
}
double StdDev(const std::vector<double>& v) {
  const double m = Mean(v);
  double sum = 0;
  for (double x : v) sum += (x - m) * (x - m);
  return std::sqrt(sum / static_cast<double>(v.size() - 1));
}

}  // namespace

TEST(SimulatedProcess, NoiseHasTheStatedMeanAndStandardDeviation) {
  SimulatedProcess sim(12345);
  std::vector<double> y1, y2;
  for (int i = 0; i < 200000; ++i) {
    const SimulatedSample s = sim.Step(10, false);
    EXPECT_EQ(s.U, 0.0);
    y1.push_back(s.Y1);
    y2.push_back(s.Y2);
  }
  EXPECT_NEAR(Mean(y1), 20.0, 0.003);
  EXPECT_NEAR(Mean(y2), 30.0, 0.0015);
  EXPECT_NEAR(StdDev(y1), 0.2, 0.002);
  EXPECT_NEAR(StdDev(y2), 0.1, 0.001);
}

TEST(SimulatedProcess, IsReproducibleForOneSeedAndDiffersForAnother) {
  SimulatedProcess a(7), b(7), c(8);
  for (int i = 0; i < 10; ++i) {
    const double ya = a.Step(20, false).Y1;
    EXPECT_EQ(ya, b.Step(20, false).Y1);
    EXPECT_NE(ya, c.Step(20, false).Y1);
  }
}

TEST(SimulatedProcess, OutputsLagOneTickBehindTheirStages) {
  SimulatedProcess sim;
  SimulatedSample s = sim.Step(20, false);  // U = 10, stages were at rest
  EXPECT_EQ(s.U, 10.0);
  EXPECT_NEAR(s.Y1, 20.0, 1.5);  // stage 1 before the update: 0
  EXPECT_EQ(sim.SimStage1, 1.0);
  EXPECT_EQ(sim.SimStage2, 0.0);  // fed by stage 1 as it was before this tick
  s = sim.Step(20, false);
  EXPECT_EQ(sim.SimStage1Prev, 1.0);
  EXPECT_DOUBLE_EQ(sim.SimStage2, 0.05);
}

TEST_F(Run, WithMV20After10Y1SettlesNear30AndY2Near40) {
  Start(10);
  std::vector<double> y1, y2;
  for (int i = 0; i < 50; ++i) run.Tick(false);
  EXPECT_EQ(run.U, 0.0);
  run.ValueTyped(20);
  for (int i = 0; i < 400; ++i) {
    const ExperimentSample s = run.Tick(false);
    EXPECT_TRUE(s.Simulated);
    EXPECT_EQ(s.U, 10.0);
    if (i >= 300) y1.push_back(s.Y1), y2.push_back(s.Y2);
  }
  EXPECT_NEAR(Mean(y1), 30.0, 0.1);
  EXPECT_NEAR(Mean(y2), 40.0, 0.1);
}

TEST_F(Run, EachSampleGoesToTheStoreWithCopiesOfMVAndU) {
  Start(25, 500);
  run.Tick(false);
  const ExperimentSample s = run.Tick(false);
  EXPECT_EQ(store->SampleCount, 3);
  EXPECT_EQ(store->ColumnCount, 6);
  EXPECT_EQ(s.Time, 0.5);
  EXPECT_EQ(store->TimeColumn[2], 0.5);
  EXPECT_EQ(store->DataColumns[1][2], 25.0);
  EXPECT_EQ(store->DataColumns[2][2], 25.0);
  EXPECT_EQ(store->DataColumns[3][2], 15.0);
  EXPECT_EQ(store->DataColumns[4][2], 15.0);
  EXPECT_EQ(store->DataColumns[5][2], s.Y1);
  EXPECT_EQ(store->DataColumns[6][2], s.Y2);
  EXPECT_EQ(run.ExperimentTime, 1.0);
}

TEST_F(Run, TwoStepsBothDirectionsGo40_45_50_45_40AndEndAtTheFifthPhaseEnd) {
  run.Setup.NumberOfSteps = 2;
  run.Setup.BothDirections = true;
  run.Setup.StepSize = 5;
  StartAutomatic(40, 2, 3);
  const std::vector<double> mv = RunToEnd();
  // Waiting 2 s lasts 3 ticks, each 3 s step 4 ticks; the fifth phase end is the 19th tick.
  const std::vector<double> expected{40, 40, 40, 45, 45, 45, 45, 50, 50, 50,
                                     50, 45, 45, 45, 45, 40, 40, 40, 40};
  EXPECT_EQ(mv, expected);
  EXPECT_EQ(store->StepCounter, 5);
  EXPECT_EQ(store->SampleCount, 19);
}

TEST_F(Run, StepsInOneDirectionOnlyGoUp) {
  run.Setup.NumberOfSteps = 3;
  run.Setup.StepSize = -2;
  StartAutomatic(10, 1, 1);
  const std::vector<double> mv = RunToEnd();
  EXPECT_EQ(mv, (std::vector<double>{10, 10, 8, 8, 6, 6, 4, 4}));
  EXPECT_EQ(store->StepCounter, 4);
}

TEST_F(Run, APhaseOfLengthPLastsFloorPOverTsPlusOneTicks) {
  struct Case { double p; int periodMs; };
  for (const Case c : {Case{2.6, 1000}, Case{2.6, 250}, Case{3.0, 500}, Case{0, 1000}, Case{0.1, 125}}) {
    run.Setup.NumberOfSteps = 1;
    run.Setup.StepSize = 1;
    run.Setup.StepDuration = 100;
    run.Setup.WaitTime = c.p;
    run.PrepareAutomaticPhases();
    Start(0, c.periodMs);
    int ticks = 0;
    while (store->StepCounter == 0) run.Tick(true), ++ticks;
    const double ts = c.periodMs / 1000.0;
    EXPECT_EQ(ticks, static_cast<int>(std::floor(c.p / ts)) + 1) << c.p << " " << ts;
    run.Finish();
  }
}

TEST_F(Run, RecordOnlyLastsTheWaitingTimePlusOneStepNeverMovesMVAndSimulatesU0) {
  run.Setup.NoOpcWrite = true;
  run.Setup.NumberOfSteps = 3;
  run.Setup.BothDirections = true;
  run.Setup.StepSize = 5;
  StartAutomatic(50, 20, 10);
  std::vector<double> u;
  for (;;) {
    const ExperimentSample s = run.Tick(true);
    EXPECT_EQ(s.MV, 50.0);
    u.push_back(s.U);
    if (s.EndRequested) break;
  }
  run.Finish();
  EXPECT_EQ(u.size(), 21u + 11u);
  for (double x : u) EXPECT_EQ(x, 0.0);
  EXPECT_EQ(run.MV, 50.0);
}

TEST_F(Run, AnExperimentEndedAfterThreeSamplesHoldsTenRepeatingTheThird) {
  Start(30, 200);
  for (int i = 0; i < 3; ++i) run.Tick(false);
  ASSERT_TRUE(run.Finish());
  EXPECT_EQ(store->SampleCount, 10);
  EXPECT_EQ(store->SampleTime, 0.2);
  for (int i = 4; i <= 10; ++i) {
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(store->DataColumns[c][i], store->DataColumns[c][3]);
    EXPECT_NEAR(store->TimeColumn[i], 0.2 * (i - 1), 1e-12);
    EXPECT_GT(store->TimeColumn[i], store->TimeColumn[i - 1]);
  }
  EXPECT_FALSE(run.Finish()) << "a second end must not shorten the record again";
  EXPECT_EQ(store->SampleCount, 10);
}

TEST_F(Run, TheStoreNeverHoldsMoreThan4999Samples) {
  Start(10, 50);
  int ticks = 0;
  for (;;) {
    ++ticks;
    if (run.Tick(false).EndRequested) break;
  }
  EXPECT_EQ(ticks, MaxSamples - 1);
  // Ticks that still arrive before the window has ended it record nothing further.
  run.Tick(false);
  run.Finish();
  EXPECT_EQ(store->SampleCount, MaxSamples - 1);
  EXPECT_EQ(store->TimeColumn[MaxSamples], 0.0);
  run.Tick(false);
  EXPECT_EQ(store->SampleCount, MaxSamples - 1);
}

TEST_F(Run, AnalysisWindowStartsAt26ForWaitingTime30AtOneSecond) {
  EXPECT_EQ(AnalysisWindowStart(30, 1), 26);
  EXPECT_EQ(AnalysisWindowStart(0, 1), 1);
  EXPECT_EQ(AnalysisWindowStart(2, 1), 1);
  EXPECT_EQ(AnalysisWindowStart(10, 0), 8);  // guarded: 9 - 1
}

TEST_F(Run, KeepInitialInputStartsFromThePlantsMVOrTenWithoutAServer) {
  run.Setup.KeepInitialInput = true;
  run.Setup.ItemMV = plant.NewItem("MV");
  plant.items["MV"]->value = 33;
  Start(70);
  EXPECT_EQ(run.MV, 10.0);
  plant.connected = true;
  Start(70);
  EXPECT_EQ(run.MV, 33.0);
}

// --- The MV slider -------------------------------------------------------------------

TEST(MvSliderArithmetic, TopIsTheLargestValue) {
  MvSlider s;
  s.Configure(100, 0, 1);
  EXPECT_EQ(s.Maximum, 100);
  s.Position = 0;
  EXPECT_EQ(s.Value(), 100.0);
  s.Position = 100;
  EXPECT_EQ(s.Value(), 0.0);
  s.Configure(50, 10, 0.5);
  EXPECT_EQ(s.Maximum, 80);
  s.Position = 20;
  EXPECT_EQ(s.Value(), 40.0);
}

TEST(MvSliderArithmetic, ZeroStepOrEmptyRangeNeverDividesByZero) {
  MvSlider s;
  s.Configure(100, 0, 0);  // step 0: the range itself
  EXPECT_EQ(s.Maximum, 100);
  EXPECT_EQ(s.Scale, 1.0);
  s.Configure(5, 5, 1);  // empty range
  EXPECT_EQ(s.Maximum, 0);
  EXPECT_EQ(s.Scale, 0.0);
  s.SetFromValue(7);
  EXPECT_TRUE(std::isfinite(s.Value()));
}

TEST_F(Run, ATypedMVAboveTheMaximumWidensTheRangeAndPutsTheSliderAtTheTop) {
  Start(10);
  run.Tick(false);
  run.ValueTyped(150);
  EXPECT_EQ(run.Slider.Maximum, 150);
  EXPECT_EQ(run.Slider.Position, 0);
  EXPECT_EQ(run.MV, 150.0);
  run.ValueTyped(42);
  EXPECT_EQ(run.Slider.Position, 108);
  EXPECT_EQ(run.MV, 42.0);
}

// More positions than a slider holds: the typed value is written as typed, not the
// value of the slider's end (2147483647 for 1e12 on a slider of step 1).
TEST_F(Run, ATypedMVFarBeyondTheSlidersPositionsIsKeptAsTyped) {
  Start(10);
  run.Tick(false);
  EXPECT_FALSE(run.ValueTyped(1e12));
  EXPECT_EQ(run.MV, 1e12);
  EXPECT_EQ(run.Slider.Position, 0);
  EXPECT_EQ(run.Tick(false).MV, 1e12);
  run.ValueTyped(-1e12);
  EXPECT_EQ(run.MV, -1e12);
  EXPECT_EQ(run.Slider.Position, run.Slider.Maximum);
}

TEST_F(Run, ATypedMVBelowTheMinimumWidensTheRangeDownwardsAndKeepsTheValue) {
  Start(10);
  run.Tick(false);
  run.ValueTyped(-20);
  EXPECT_EQ(run.MV, -20.0);
  EXPECT_EQ(run.Slider.Position, run.Slider.Maximum);
  EXPECT_EQ(run.Slider.Value(), -20.0);
  EXPECT_EQ(run.Slider.Maximum, 120);
  run.SliderMoved(0);  // the top still stands for the old maximum
  EXPECT_EQ(run.MV, 100.0);
}

TEST_F(Run, TheStartMVIsKeptExactlyEvenOffTheSliderGrid) {
  Start(12.345);
  EXPECT_EQ(run.MV, 12.345);
  EXPECT_EQ(run.Slider.Position, 88);
  run.Tick(false);
  EXPECT_EQ(store->DataColumns[1][1], 12.345);
  // Once running, a slider move sets MV to the grid.
  EXPECT_TRUE(run.SliderMoved(80));
  EXPECT_EQ(run.MV, 20.0);
}

TEST_F(Run, ATypedValueOnTheSlidersPresentPositionStaysAsTyped) {
  Start(20);
  run.Tick(false);
  EXPECT_FALSE(run.ValueTyped(20.3));  // rounds to the same position: MV not snapped
  EXPECT_EQ(run.MV, 20.3);
  EXPECT_TRUE(run.ValueTyped(25.4));  // a new position: MV snaps to the grid
  EXPECT_EQ(run.MV, 25.0);
}

// --- The plant through OPC ------------------------------------------------------------

struct PlantRun : Run {
  void SetUp() override {
    plant.connected = true;
    run.Setup.ItemMV = plant.NewItem("MV");
    run.Setup.ItemU = plant.NewItem("U");
    run.Setup.ItemY1 = plant.NewItem("Y1");
    run.Setup.ItemY2 = plant.NewItem("Y2");
    run.Setup.ItemRA = plant.NewItem("RA");
    run.Setup.ItemManual = plant.NewItem("Rocno");
    run.Setup.ItemAuto = plant.NewItem("Avto");
  }
};

TEST_F(PlantRun, ATickWritesAChangedMVAndReadsUY1Y2FromTheirItems) {
  plant.items["U"]->value = 1.5;
  plant.items["Y1"]->value = 2.5;
  plant.items["Y2"]->value = 3.5;
  Start(12);
  ExperimentSample s = run.Tick(false);
  EXPECT_FALSE(s.Simulated);
  EXPECT_EQ(plant.writes, (std::vector<RecordedWrite>{{"MV", 12, false}}));
  EXPECT_EQ(s.U, 1.5);
  EXPECT_EQ(s.Y1, 2.5);
  EXPECT_EQ(s.Y2, 3.5);
  run.Tick(false);
  EXPECT_EQ(plant.writes.size(), 1u) << "an unchanged MV is not written again";
}

TEST_F(PlantRun, ARejectedMVWriteIsReportedAndTheSampleKeepsThePlantsMV) {
  plant.items["MV"]->value = 7;
  plant.items["MV"]->reject = true;
  Start(12);
  EXPECT_EQ(run.Tick(false).Error, "Cannot write Items: MV");
  EXPECT_EQ(store->SampleCount, 2);
  EXPECT_EQ(store->DataColumns[1][1], 7);
  plant.items["MV"]->reject = false;
  EXPECT_EQ(run.Tick(false).Error, "");
  EXPECT_EQ(store->DataColumns[1][2], 12);
  EXPECT_EQ(run.Findings.Errors, 1);
}

TEST_F(PlantRun, RecordOnlyWritesNoMV) {
  run.Setup.NoOpcWrite = true;
  Start(12);
  run.Tick(false);
  EXPECT_TRUE(plant.writes.empty());
}

TEST_F(PlantRun, ALostConnectionSwitchesToTheSimulationWhoseStatesCarryOn) {
  Start(20);
  run.Tick(false);
  plant.connected = false;
  run.Tick(false);
  run.Tick(false);
  EXPECT_TRUE(run.Tick(false).Simulated);
  EXPECT_NEAR(run.Sim.SimStage1, 10 * (1 - std::pow(0.9, 3)), 1e-12);
}

TEST_F(PlantRun, RASwitchingWritesOneItemOrTwoItemsAndNothingWhenRecordingOnly) {
  run.Setup.SingleRASwitch = true;
  run.Setup.ManualValue = 1;
  run.SwitchToManual();
  run.SwitchToAutomatic();
  run.Setup.ManualValue = 0;
  run.SwitchToManual();
  run.SwitchToAutomatic();
  EXPECT_EQ(plant.writes, (std::vector<RecordedWrite>{
                              {"RA", 1, true}, {"RA", 0, true}, {"RA", 0, true}, {"RA", 1, true}}));
  plant.writes.clear();
  run.Setup.SingleRASwitch = false;
  run.SwitchToManual();
  run.SwitchToAutomatic();
  EXPECT_EQ(plant.writes, (std::vector<RecordedWrite>{{"Rocno", 1, true}, {"Avto", 1, true}}));
  plant.writes.clear();
  run.Setup.NoOpcWrite = true;
  run.SwitchToManual();
  run.SwitchToAutomatic();
  run.Setup.SingleRASwitch = true;
  run.SwitchToManual();
  run.SwitchToAutomatic();
  // A run that simulates because the MV item was not reached switches nothing either.
  run.Setup.NoOpcWrite = false;
  run.MvItemUnreachable = true;
  run.SwitchToManual();
  run.SwitchToAutomatic();
  EXPECT_TRUE(plant.writes.empty());
}

// The switch after the run never throws (the window closes, the record stays): a switch
// the server refuses or a link lost before it leaves the state the controller kept in
// the findings, for the window's box, the status bar and the report.
TEST_F(PlantRun, TheSwitchAfterTheRunNotesTheStateKeptWhenItDoesNotReachThePlant) {
  Start(12);  // manual during the run, automatic after (the defaults)
  run.SwitchAfterRun();
  EXPECT_EQ(plant.writes.back(), (RecordedWrite{"Avto", 1, true}));
  EXPECT_EQ(run.Findings.ControllerLeft, "");
  plant.items["Avto"]->reject = true;
  run.SwitchAfterRun();
  EXPECT_EQ(run.Findings.ControllerLeft,
            "Preklop regulatorja po eksperimentu ni uspel: Točke Avto ni bilo mogoče zapisati. "
            "Regulator je ostal v ročnem načinu.");
  EXPECT_EQ(run.Findings.Errors, 1);
  run.Findings = {};
  plant.connected = false;
  run.SwitchAfterRun();
  EXPECT_EQ(run.Findings.ControllerLeft, "Regulator je ostal v ročnem načinu.");
  EXPECT_EQ(LinkLostAtEndText(run.Findings.ControllerLeft),
            "Povezava s strežnikom je bila izgubljena ob koncu eksperimenta: v obrat se nič več "
            "ne piše. Regulator je ostal v ročnem načinu.");
  // The link lost while the switch was on its way: it may have arrived or not.
  run.Findings = {};
  plant.connected = true;
  plant.items["Avto"]->reject = false;
  plant.items["Avto"]->losesLink = true;
  run.SwitchAfterRun();
  EXPECT_EQ(run.Findings.ControllerLeft,
            "Ni znano, ali je preklop regulatorja prišel v obrat. Regulator je morda ostal v "
            "ročnem načinu.");
  // Recording only, nothing was switched for the run: nothing to note.
  run.Findings = {};
  run.Setup.NoOpcWrite = true;
  run.SwitchAfterRun();
  EXPECT_EQ(run.Findings.ControllerLeft, "");
}

TEST(QualityWait, GivesUpAfter3000msOnTheClockAndStopsAsSoonAsTheQualityIsGood) {
  FakePlant plant;
  plant.connected = true;
  auto item = plant.NewItem("MV");
  item->quality = OpcQualityBad;
  ManualClock clock;
  int pumps = 0;
  EXPECT_FALSE(WaitForGoodQuality(item.get(), clock, [&] {
    ++pumps;
    clock.AdvanceMs(10);
    return true;
  }, QualityWaitMs));
  EXPECT_EQ(pumps, 300);
  pumps = 0;
  EXPECT_TRUE(WaitForGoodQuality(item.get(), clock, [&] {
    if (++pumps == 5) item->quality = 0xC0 | 0x18;  // Good with a sub-status
    return true;
  }, QualityWaitMs));
  EXPECT_EQ(pumps, 5);
  EXPECT_FALSE(WaitForGoodQuality(nullptr, clock, [] { return false; }, QualityWaitMs));
}
