#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <utility>

#include "model/IdentifyModel.h"
#include "model/IntegratingModel.h"
#include "model/IntegratingTestData.h"
#include "model/ModelTestData.h"
#include "model/ModelWarnings.h"
#include "model/TModel.h"

using modeltest::LevelRecord;
using modeltest::MakeLevelStore;

namespace {
std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
}  // namespace

TEST(IntegratingIdentification, NoiseFreeLevelGivesSlopeAndDeadTimeBackAndChoosesIntegrating) {
  LevelRecord record;  // y' = 0.02 * u(t - 8 s), a step of 5 % at sample 20
  auto store = MakeLevelStore(record);
  IdentifyModel(*store, 1, record.Samples);
  const IntegratingModel& m = store->InnerIntegrating;
  EXPECT_NEAR(m.Slope, 0.02, 1e-6 * 0.02);
  EXPECT_NEAR(m.DeadTime, 8.0, 1e-6);
  EXPECT_NEAR(m.Lag, 0.0, 1e-6);
  EXPECT_LT(m.RelativeError, 1e-6);
  EXPECT_EQ(store->InnerKind, ProcessKind::Integrating);
  // The first-order fit is still made and kept: a ramp taken for a settling curve.
  EXPECT_GT(store->InnerTimeConstant, 5 * 299.0);
  const KindChoice c = ChooseProcessKind(*store, false, ',');
  EXPECT_EQ(c.Kind, ProcessKind::Integrating);
  EXPECT_NE(c.Reason.find("pet dolžin okna"), std::string::npos) << c.Reason;
  // The chart's response is the integrating model's, which meets the measurement.
  const SampleArray& shown = ShownModelResponse(*store, false);
  for (int k = 1; k <= record.Samples; ++k)
    ASSERT_NEAR(shown[k], store->InnerMeasured[k], 1e-9) << k;
  EXPECT_EQ(QualityText(QualityOf(m.RelativeError)), std::string("Zelo dobra"));
}

TEST(IntegratingIdentification, LagAndNoiseStayWithinTolerances) {
  // Tolerances: slope within 2 %, lag within 3 s of 15 s, dead time within two samples,
  // on noise of 0.05 level units (the level rises by 27 over the window).
  LevelRecord record;
  record.Lag = 15;
  record.Delay = 5;
  record.Noise = 0.05;
  auto store = MakeLevelStore(record);
  IdentifyModel(*store, 1, record.Samples);
  const IntegratingModel& m = store->InnerIntegrating;
  EXPECT_NEAR(m.Slope, 0.02, 0.02 * 0.02);
  EXPECT_NEAR(m.Lag, 15, 3);
  EXPECT_NEAR(m.DeadTime, 5, 2);
  EXPECT_EQ(store->InnerKind, ProcessKind::Integrating);
  EXPECT_GT(m.SlopeBound, 0);
}

TEST(IntegratingIdentification, SettlingProcessStaysSelfRegulatingAndOverrideSwitchesTheChart) {
  modeltest::Record record;  // gain 2, time constant 20 s: settles well inside 200 s
  auto store = modeltest::MakeStore(record);
  IdentifyModel(*store, 1, record.Samples);
  EXPECT_EQ(store->InnerKind, ProcessKind::SelfRegulating);
  EXPECT_GT(store->InnerIntegrating.RelativeError, store->InnerRelativeError);
  EXPECT_EQ(&ShownModelResponse(*store, false), &store->InnerModelResponse);
  SetProcessKind(*store, false, ProcessKind::Integrating);
  EXPECT_EQ(&ShownModelResponse(*store, false), &store->InnerIntegratingResponse);
  EXPECT_NE(store->InnerIntegratingResponse[150], store->InnerModelResponse[150]);
}

TEST(IntegratingIdentification, ChoiceRuleBoundaries) {
  // Beyond five windows: integrating whatever the errors.
  EXPECT_EQ(ChooseProcessKind(5001, 0.001, 0.5, 1000, '.').Kind, ProcessKind::Integrating);
  EXPECT_EQ(ChooseProcessKind(5000, 0.001, 0.5, 1000, '.').Kind, ProcessKind::SelfRegulating);
  // As good: integrating; worse: self-regulating, with the figures in the reason.
  EXPECT_EQ(ChooseProcessKind(100, 0.02, 0.02, 1000, '.').Kind, ProcessKind::Integrating);
  const KindChoice worse = ChooseProcessKind(100, 0.02, 0.03, 1000, ',');
  EXPECT_EQ(worse.Kind, ProcessKind::SelfRegulating);
  EXPECT_EQ(worse.Reason,
            "Samoizravnalni model se z meritvijo ujema bolje (relativni pogrešek 0,0200 proti "
            "0,0300).");
  // An integrating fit that explains nothing is never chosen.
  EXPECT_EQ(ChooseProcessKind(1e9, 1, 1, 1000, '.').Kind, ProcessKind::SelfRegulating);
  EXPECT_EQ(ChooseProcessKind(1e9, 1, std::nan(""), 1000, '.').Kind, ProcessKind::SelfRegulating);
  // Neither fit explains half the variance: no response, so no integrating kind.
  const KindChoice none = ChooseProcessKind(1e9, 0.7, 0.69 + 0.01, 1000, ',');
  EXPECT_TRUE(none.NoResponse);
  EXPECT_EQ(none.Kind, ProcessKind::SelfRegulating);
  EXPECT_EQ(none.Reason,
            "Meritev se na skok ne odzove (relativni pogrešek obeh modelov 0,70 in 0,70): vrste "
            "procesa ni mogoče določiti.");
  EXPECT_FALSE(ChooseProcessKind(100, 0.69, 0.9, 1000, '.').NoResponse);
  EXPECT_THROW(ParseProcessKind("tank"), std::invalid_argument);
  EXPECT_EQ(ParseProcessKind("integrating"), ProcessKind::Integrating);
}

// A model file of an integrating level reads back the kinds and the integrating models
// exactly; the same file saved with both kinds self-regulating is the first-order file
// byte for byte, with no trace of the integrating fits.
TEST(IntegratingIdentification, ModelFileKeepsKindAndIntegratingModelAndFirstOrderFileIsUnchanged) {
  LevelRecord record;
  record.Lag = 6;
  record.Noise = 0.02;
  auto store = MakeLevelStore(record);
  IdentifyModel(*store, 1, record.Samples);
  ASSERT_EQ(store->InnerKind, ProcessKind::Integrating);
  const auto dir =
      std::filesystem::temp_directory_path() / ("vtm_int_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "level.vtm").string();
  TModel::SaveModelFile(path, *store, ',');
  auto loaded = std::make_unique<MeasurementStore>();
  TModel::LoadModelFile(path, *loaded, '.');
  EXPECT_EQ(loaded->InnerKind, ProcessKind::Integrating);
  EXPECT_EQ(loaded->OuterKind, store->OuterKind);
  const IntegratingModel& a = store->InnerIntegrating;
  const IntegratingModel& b = loaded->InnerIntegrating;
  for (auto [x, y] : {std::pair{a.Slope, b.Slope},
                      {a.Lag, b.Lag},
                      {a.DeadTime, b.DeadTime},
                      {a.StdDev, b.StdDev},
                      {a.RelativeError, b.RelativeError},
                      {a.SlopeBound, b.SlopeBound},
                      {a.LagBound, b.LagBound}})
    EXPECT_NEAR(y, x, 1e-13 * std::fabs(x));
  EXPECT_NEAR(loaded->InnerIntegratingResponse[250], store->InnerIntegratingResponse[250],
              1e-9 * std::fabs(store->InnerIntegratingResponse[250]));

  // Both self-regulating: the file is what it was before integrating models existed.
  store->InnerKind = store->OuterKind = ProcessKind::SelfRegulating;
  TModel::SaveModelFile(path, *store, ',');
  const std::string firstOrder = ReadFile(path);
  store->InnerIntegrating = store->OuterIntegrating = IntegratingModel{};
  TModel::SaveModelFile(path, *store, ',');
  EXPECT_EQ(ReadFile(path), firstOrder);
  EXPECT_EQ(firstOrder.find("integrirn"), std::string::npos);
  TModel::LoadModelFile(path, *loaded, '.');
  EXPECT_EQ(loaded->InnerKind, ProcessKind::SelfRegulating);
  EXPECT_EQ(loaded->InnerIntegrating.Slope, 0);
  std::filesystem::remove_all(dir);
}

TEST(IntegratingIdentification, AnOuterMeasurementOfNoiseOnlyIsNoIntegratingProcess) {
  modeltest::Record record;  // the inner step response; Y2 is noise with no response
  auto store = modeltest::MakeStore(record);
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 0.05);
  for (int k = 1; k <= record.Samples; ++k) store->Y2Conditioned[k] = 30 + noise(rng);
  IdentifyModel(*store, 1, record.Samples);
  EXPECT_EQ(store->InnerKind, ProcessKind::SelfRegulating);
  EXPECT_EQ(store->OuterKind, ProcessKind::SelfRegulating);
  EXPECT_TRUE(ChooseProcessKind(*store, true, '.').NoResponse);
  EXPECT_FALSE(ChooseProcessKind(*store, false, '.').NoResponse);
}

TEST(IntegratingIdentification, ALevelRampingBeforeTheStepGivesTheChangeOfSlopeAndTheDriftIsSaid) {
  // The valve off balance: the level climbs 0.04 per sample from the record's first sample
  // and goes on doing so; the step of 5 % adds k' * 5 = 0.1 per second.
  LevelRecord record;
  record.StepAt = 60;
  record.Lag = 10;
  record.Noise = 0.02;
  auto ramped = [&](double ramp) {
    auto s = MakeLevelStore(record);
    for (int k = 1; k <= record.Samples; ++k) s->Y1Conditioned[k] += ramp * (k - 1);
    IdentifyModel(*s, 1, record.Samples);
    return s;
  };
  const auto level = ramped(0.04);
  EXPECT_EQ(level->InnerKind, ProcessKind::Integrating);
  EXPECT_NEAR(level->InnerIntegrating.Slope, 0.02, 0.02 * 0.03);
  EXPECT_NEAR(level->InnerIntegrating.Lag, 10, 1.5);
  EXPECT_NEAR(level->InnerIntegrating.DeadTime, 8, 1.01);
  // The chart's curve carries the ramp on: it meets the record as measured.
  EXPECT_LT(level->InnerIntegrating.RelativeError, 0.01);
  EXPECT_NEAR(level->InnerIntegratingResponse[250], level->InnerMeasured[250], 0.1);
  const std::vector<Warning> said =
      CollectWarnings(*level, ModelWarningScope(*level, 1, record.Samples, false, false, '.'));
  EXPECT_TRUE(std::any_of(said.begin(), said.end(),
                          [](const Warning& w) { return w.Kind == WarningKind::Drift; }));
  // Without the ramp nothing is taken out and the same model comes back.
  const auto still = ramped(0);
  EXPECT_NEAR(still->InnerIntegrating.Slope, level->InnerIntegrating.Slope, 0.02 * 0.03);
}

TEST(IntegratingIdentification,
     ASelfRegulatingRecordDriftingFromItsFirstSampleStaysSelfRegulating) {
  // A first-order response (gain 2, 1 % step) over a baseline that moves 0.01 per sample
  // from the first sample on, a tenth of a response per ten samples: the ramp taken out of
  // the integrating fit does not make the record integrating; the drift is said.
  modeltest::Record record;
  record.StepAt = 50;
  record.Noise = 0.005;
  auto s = modeltest::MakeStore(record);
  for (int k = 1; k <= record.Samples; ++k) s->Y1Conditioned[k] += 0.01 * (k - 1);
  IdentifyModel(*s, 1, record.Samples);
  EXPECT_EQ(s->InnerKind, ProcessKind::SelfRegulating);
  const std::vector<Warning> said =
      CollectWarnings(*s, ModelWarningScope(*s, 1, record.Samples, false, false, '.'));
  EXPECT_TRUE(std::any_of(said.begin(), said.end(),
                          [](const Warning& w) { return w.Kind == WarningKind::Drift; }));
}
