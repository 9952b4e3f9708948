#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

#include "FakePlant.h"
#include "data/NumberFormat.h"
#include "experiment/ExperimentRun.h"
#include "experiment/ExperimentSetupBuilder.h"

namespace {

SafetyEnvelope Limits(std::optional<double> y1Min, std::optional<double> y1Max,
                      std::optional<double> y2Min = {}, std::optional<double> y2Max = {},
                      std::optional<double> longest = {}) {
  SafetyEnvelope e;
  e.Y1Min = y1Min, e.Y1Max = y1Max, e.Y2Min = y2Min, e.Y2Max = y2Max, e.MaxDuration = longest;
  return e;
}

// A plant whose controller is in automatic (one R/A item, 0 = manual) with MV at 40;
// the run steps MV to 45 in manual.
struct EnvelopeRun : ::testing::Test {
  std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
  FakePlant plant;
  ExperimentRun run{*store, plant};

  void SetUp() override {
    plant.connected = true;
    run.Setup.ItemMV = plant.NewItem("MV");
    run.Setup.ItemU = plant.NewItem("U");
    run.Setup.ItemY1 = plant.NewItem("Y1");
    run.Setup.ItemY2 = plant.NewItem("Y2");
    run.Setup.ItemRA = plant.NewItem("RA");
    run.Setup.SingleRASwitch = true;
    run.Setup.ManualValue = 0;
    run.Setup.InitialInput = 45;
    run.Setup.Separator = ',';
    run.Setup.Envelope = Limits(10, 85);
    plant.items["MV"]->value = 40;
    plant.items["RA"]->value = 1;
    plant.items["Y1"]->value = 50;
    store->ColumnNames[1] = "ventil";
  }
  // The preparation as the window makes it: read, then switch for the run; then Begin.
  std::string Prepare() {
    const std::string why = run.ReadPlantBeforeRun();
    if (!why.empty()) return why;
    run.SwitchToManual();
    run.Begin();
    return {};
  }
};

}  // namespace

TEST(SafetyEnvelope, ALimitIsInsideAndAnyStepBeyondItTrips) {
  const SafetyEnvelope e = Limits(10, 85, {}, 70, 600);
  EXPECT_FALSE(CheckEnvelope(e, 600, 85, 70)) << "a value equal to its limit is inside";
  EXPECT_FALSE(CheckEnvelope(e, 0, 10, -1e9)) << "Y2 has no low limit";
  EXPECT_FALSE(CheckEnvelope(e, 0, std::nan(""), std::nan(""))) << "no number breaks nothing";
  EXPECT_FALSE(CheckEnvelope(SafetyEnvelope{}, 1e9, 1e9, -1e9)) << "an empty envelope";
  const auto high = CheckEnvelope(e, 312, 85.01, 0);
  ASSERT_TRUE(high);
  EXPECT_EQ(EnvelopeTripText(*high, ','), "Y1 nad 85,0 pri 312,0 s");
  EXPECT_EQ(EnvelopeTripMark(*high, ','), " (ustavljeno: Y1 nad 85,0 pri 312,0 s)");
  EXPECT_EQ(EnvelopeTripText(*CheckEnvelope(e, 4, 9.99, 0), '.'), "Y1 pod 10.0 pri 4.0 s");
  EXPECT_EQ(EnvelopeTripText(*CheckEnvelope(e, 4, 50, 70.5), ','), "Y2 nad 70,0 pri 4,0 s");
  EXPECT_EQ(EnvelopeTripText(*CheckEnvelope(e, 601, 50, 0), ','), "čas poizkusa nad 600,0 s");
  EXPECT_EQ(EnvelopeStartRefusal(e, 90, 0, ','),
            "Eksperiment se ni začel: Y1 (90,0) je že nad varnostno mejo 85,0. V obrat ni bilo "
            "nič zapisano.");
  EXPECT_EQ(EnvelopeStartRefusal(e, 50, 0, ','), "");
}

TEST(SafetyEnvelope, ReadFromTheSettingsTextsOrRefusedWithAClearMessage) {
  ExperimentSettings s;
  EXPECT_TRUE(ReadSafetyEnvelope(s, ',').Empty());
  s.Y1Min = " ";
  s.Y1Max = "85,5";
  s.MaxDuration = "600";
  const SafetyEnvelope e = ReadSafetyEnvelope(s, ',');
  EXPECT_FALSE(e.Y1Min);
  EXPECT_EQ(e.Y1Max, 85.5);
  EXPECT_EQ(e.MaxDuration, 600.0);
  s.Y2Max = "abc";
  EXPECT_THROW(ReadSafetyEnvelope(s, ','), ConversionError);
  s.Y2Max = "";
  s.Y1Min = "90";
  try {
    ReadSafetyEnvelope(s, ',');
    FAIL() << "a low limit above the high one was taken";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "Varnostne meje: spodnja meja Y1 (90) je nad zgornjo (85,5).");
  }
  s.Y1Min = "";
  s.MaxDuration = "0";
  EXPECT_THROW(ReadSafetyEnvelope(s, ','), std::invalid_argument);
}

// Y1 runs away after the step: the sample that crosses the limit ends the run, MV is
// commanded back at once, the record is kept and marked, and the end puts MV and the
// controller's mode back through the gate as the plant had them before the run.
TEST_F(EnvelopeRun, TheCrossingSampleTripsAndThePlantGoesBackToItsStateBeforeTheRun) {
  ASSERT_EQ(Prepare(), "");
  EXPECT_EQ(run.ModeBeforeRun, std::optional<bool>(true));
  EXPECT_EQ(run.StartMV, 40) << "the plant's MV before the run, not the run's first MV";
  for (double y1 : {60.0, 80.0, 85.0}) {
    plant.items["Y1"]->value = y1;
    EXPECT_FALSE(run.Tick(false).EndRequested) << y1;
  }
  plant.items["Y1"]->value = 86;
  const ExperimentSample crossing = run.Tick(false);
  EXPECT_TRUE(crossing.EndRequested);
  ASSERT_TRUE(run.Findings.Trip);
  EXPECT_EQ(run.Findings.Trip->Time, 3.0);
  EXPECT_EQ(run.MV, 40);
  run.Finish();
  EXPECT_EQ(store->ColumnNames[1], "ventil (ustavljeno: Y1 nad 85,0 pri 3,0 s)");
  EXPECT_EQ(store->DataColumns[5][4], 86) << "the crossing sample is kept in the record";

  plant.writes.clear();
  run.RestorePlantAfterRun(true);
  EXPECT_EQ(plant.writes, (std::vector<RecordedWrite>{{"MV", 40, false}, {"RA", 1, true}}));
  EXPECT_TRUE(run.Findings.TripRestored);
  EXPECT_EQ(TripNoticeText(run.Findings, ','),
            "Poizkus je ustavljen: Y1 nad 85,0 pri 3,0 s (varnostna meja). MV in način "
            "regulatorja sta vrnjena v stanje pred poizkusom.");
  EXPECT_EQ(RunFindingsLines(run.Findings, ',').front(),
            "Varnostna meja je ustavila poizkus: Y1 nad 85,0 pri 3,0 s. Zapis ni obdelan kot "
            "odziv obrata.");
}

TEST_F(EnvelopeRun, AStepSequenceStopsStepping) {
  run.Setup.WaitTime = 1.5;
  run.Setup.StepSize = 10;
  run.Setup.StepDuration = 100;
  run.PrepareAutomaticPhases();
  run.Setup.Envelope = Limits({}, {}, {}, {}, 2.5);
  ASSERT_EQ(Prepare(), "");
  std::vector<double> mv;
  for (int i = 0; i < 10 && !run.Findings.Trip; ++i) mv.push_back(run.Tick(true).MV);
  EXPECT_EQ(mv, (std::vector<double>{45, 45, 55, 55})) << "t = 3 s is past 2.5 s";
  EXPECT_EQ(run.MV, 40);
  EXPECT_EQ(run.Tick(true).MV, 40) << "the next sample, if one comes, has MV back";
}

TEST_F(EnvelopeRun, ALimitBrokenAtTheStartRefusesTheRunWithNothingWritten) {
  plant.items["Y1"]->value = 90;
  EXPECT_EQ(Prepare(),
            "Eksperiment se ni začel: Y1 (90,0) je že nad varnostno mejo 85,0. V obrat ni bilo "
            "nič zapisano.");
  EXPECT_TRUE(plant.writes.empty());
}

// A mode the plant did not tell is never assumed: MV goes back, the controller stays as
// the run had it, and the findings say so. Of two switch items, the one that is on tells.
TEST_F(EnvelopeRun, AnUnknownModeIsLeftAsTheRunHadItAndTwoItemsTellTheMode) {
  plant.items["RA"]->quality = 0;
  ASSERT_EQ(Prepare(), "");
  EXPECT_FALSE(run.ModeBeforeRun);
  plant.items["Y1"]->value = 5;
  run.Tick(false);
  run.Finish();
  plant.writes.clear();
  plant.items["RA"]->quality = OpcQualityGood;
  run.RestorePlantAfterRun(true);
  EXPECT_EQ(plant.writes, (std::vector<RecordedWrite>{{"MV", 40, false}}));
  EXPECT_EQ(run.Findings.ControllerLeft,
            "Način regulatorja pred poizkusom ni znan: regulator je ostal v ročnem načinu.");

  run.Setup.SingleRASwitch = false;
  run.Setup.ItemManual = plant.NewItem("Rocno");
  run.Setup.ItemAuto = plant.NewItem("Avto");
  plant.items["Rocno"]->value = 1;
  run.ReadPlantBeforeRun();
  EXPECT_EQ(run.ModeBeforeRun, std::optional<bool>(false));
  plant.items["Rocno"]->value = 0;
  plant.items["Avto"]->value = 1;
  run.ReadPlantBeforeRun();
  EXPECT_EQ(run.ModeBeforeRun, std::optional<bool>(true));
}

TEST_F(EnvelopeRun, ARefusedWriteBackIsNotedNotThrown) {
  ASSERT_EQ(Prepare(), "");
  plant.items["Y1"]->value = 100;
  run.Tick(false);
  run.Finish();
  plant.items["RA"]->reject = true;
  run.RestorePlantAfterRun(true);
  EXPECT_FALSE(run.Findings.TripRestored);
  EXPECT_EQ(run.Findings.ControllerLeft.rfind(
                "Po ustavitvi poizkusa obrat ni vrnjen v stanje pred poizkusom: ", 0),
            0u)
      << run.Findings.ControllerLeft;
  EXPECT_EQ(run.Findings.Errors, 1);
}
