#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/DelaySweep.h"
#include "model/IdentifyModel.h"
#include "model/IntegratingModel.h"
#include "model/IntegratingTestData.h"
#include "model/LiveModel.h"
#include "model/ModelTestData.h"

namespace {

// The first smallest error over delays 0..n-3, as the identification picks its best.
int BestIndex(const std::vector<Candidate>& table, int n) {
  int best = 1;
  for (int i = 2; i <= n - 2; ++i)
    if (table[i].Error < table[best].Error) best = i;
  return best;
}

void ExpectSameBestAndNeighbours(const SampleArray& x, const SampleArray& y, int n, double ts,
                                 double filterTime, int hint) {
  SampleArray measured{}, rate{};
  FirstOrderResponse(y, measured, rate, 1, n, 1.0, 0.0, 0.0, 0.0, ts);
  std::vector<Candidate> full, fast;
  SweepDelays(x, y, measured, n, ts, filterTime, full);
  SweepDelaysForBest(x, y, measured, n, ts, filterTime, hint, fast);
  const int best = BestIndex(full, n);
  ASSERT_EQ(BestIndex(fast, n), best);
  EXPECT_EQ(fast[best].Error, full[best].Error);
  for (int i = std::max(best - 1, 1); i <= std::min(best + 1, n - 1); ++i) {
    EXPECT_EQ(fast[i].Fit.Gain, full[i].Fit.Gain) << i;
    EXPECT_EQ(fast[i].Fit.TimeConstant, full[i].Fit.TimeConstant) << i;
    EXPECT_EQ(fast[i].Fit.GainDeviation, full[i].Fit.GainDeviation) << i;
    EXPECT_EQ(fast[i].Fit.TimeDeviation, full[i].Fit.TimeDeviation) << i;
  }
  for (int i = 1; i <= n - 2; ++i) EXPECT_GE(full[i].Error, fast[i].Error) << i;  // lower bounds
}

struct Fed {
  double EnoughAt = -1;
  LiveModelFit AtEnough;
};

// Feeds a record sample by sample, fitting whenever a fit is due.
Fed Feed(LiveModel& live, const MeasurementStore& s, int samples) {
  Fed f;
  for (int k = 1; k <= samples; ++k) {
    live.AddSample(s.DataColumns[3][k], s.DataColumns[5][k]);
    if (!live.FitDue()) continue;
    live.Update();
    if (live.Settled() && f.EnoughAt < 0) {
      f.EnoughAt = live.SettledAt();
      f.AtEnough = live.Latest();
    }
  }
  return f;
}

}  // namespace

TEST(LiveModel, TheSweepForTheBestFindsTheBestAndItsNeighboursOfTheFullSweep) {
  modeltest::Record r;
  r.Samples = 400;
  r.StepAt = 40;
  r.Noise = 0.03;
  auto s = modeltest::MakeStore(r);
  for (SweepKernel kernel : {SweepKernel::Best, SweepKernel::Baseline}) {
    ChooseSweepKernel(kernel);
    for (int n : {3, 4, 33, 34, 65, 200, 400})
      for (int hint : {-1, 0, 5, n / 2, n + 3}) {
        SCOPED_TRACE(testing::Message() << "n " << n << " hint " << hint);
        ExpectSameBestAndNeighbours(s->UConditioned, s->Y1Conditioned, n, 1.0, 2.0, hint);
      }
  }
  ChooseSweepKernel(SweepKernel::Best);
  // A best at the window's last delays, and one at the first (both edges of the neighbours).
  SampleArray x{}, y{};
  for (int k = 1; k <= 120; ++k) {
    x[k] = k >= 2 ? 1.0 : 0.0;
    y[k] = k >= 110 ? 1.0 : 0.0;
  }
  ExpectSameBestAndNeighbours(x, y, 120, 1.0, 0.0, -1);
  ExpectSameBestAndNeighbours(x, x, 120, 1.0, 0.0, 60);
}

TEST(LiveModel, NoFitBeforeTheStepAndTheIntervalFollowsTheCost) {
  LiveModelSettings settings;
  settings.SampleTime = 0.5;
  LiveModel live(settings);
  for (int k = 0; k < 30; ++k) live.AddSample(3, 1);
  EXPECT_FALSE(live.FitDue());
  EXPECT_FALSE(LiveModel::Fit(live.TakeRecord()).Valid);
  for (int k = 0; k < 9; ++k) live.AddSample(4, 1);
  EXPECT_FALSE(live.FitDue());  // nine samples after the step
  live.AddSample(4, 1);
  EXPECT_TRUE(live.FitDue());
  LiveModelFit costly;
  costly.Samples = live.Samples();
  costly.Seconds = 0.26;  // a tenth of the period is 0.05 s: six periods' worth
  live.Accept(costly);
  EXPECT_EQ(live.Interval(), 6);
  costly.Seconds = 0.001;
  live.Accept(costly);
  EXPECT_EQ(live.Interval(), settings.MinInterval);
  LiveModelFit late;  // a fit of fewer samples than the latest is dropped
  late.Samples = 3;
  late.Seconds = 9;
  live.Accept(late);
  EXPECT_EQ(live.Latest().Samples, costly.Samples);
}

// Gain 2, time constant 20 s, dead time 6 s, noise 0.02, the step at 40 s: the response is
// within 2 % of its final value from 40 + 6 + 20 ln 50 ≈ 124 s.
TEST(LiveModel, ANoisyFirstOrderStepIsEnoughAfterItSettledAndWithinTwoTimeConstants) {
  modeltest::Record r;
  r.Samples = 400;
  r.StepAt = 41;
  r.Noise = 0.02;
  r.Seed = 11;
  auto s = modeltest::MakeStore(r);
  LiveModel live;
  const Fed fed = Feed(live, *s, r.Samples);
  const double settled = 40 + 6 + 20 * std::log(50.0);
  EXPECT_GE(fed.EnoughAt, settled);
  EXPECT_LE(fed.EnoughAt, settled + 2 * 20);
  const LiveModelFit& m = fed.AtEnough;
  EXPECT_EQ(m.Kind, ProcessKind::SelfRegulating);
  // The final model of the whole record, as "Izračun modela" identifies it: the live model
  // is within a percent or two of it when it says enough, within its bounds at the end.
  IdentifyModel(*s, 1, r.Samples);
  EXPECT_NEAR(m.Gain, s->InnerGain, 0.02 * s->InnerGain);
  EXPECT_NEAR(m.TimeConstant, s->InnerTimeConstant, 0.05 * s->InnerTimeConstant);
  EXPECT_NEAR(m.DeadTime, s->InnerDeadTime, 1.0);
  EXPECT_NEAR(m.FinalValue(), 2.0, 0.05);
  ASSERT_EQ(m.Times.size(), m.Response.size());
  EXPECT_NEAR(m.Response.back(), m.FinalValue(), 0.05);
  const LiveModelFit& end = live.Latest();
  EXPECT_EQ(end.Samples, r.Samples - r.Samples % live.Interval());
  EXPECT_NEAR(end.Gain, s->InnerGain, 3 * end.GainBound);
  EXPECT_NEAR(end.TimeConstant, s->InnerTimeConstant, 3 * end.TimeBound);
  EXPECT_TRUE(live.Settled());
}

// A tank level (slope 0.02 per s per %, lag 30 s, dead time 8 s) under noise: integrating,
// and enough once the lag has died out (2 % of it left at 8 + 30 ln 50 ≈ 125 s after the
// step) and the level has followed the ramp for a while.
TEST(LiveModel, ANoisyTankLevelIsIntegratingAndEnoughOnceItsRampIsSet) {
  modeltest::LevelRecord r;
  r.Samples = 500;
  r.StepAt = 21;
  r.Lag = 30;
  r.Noise = 0.02;
  auto s = modeltest::MakeLevelStore(r);
  LiveModel live;
  const Fed fed = Feed(live, *s, r.Samples);
  const double settled = 20 + 8 + 30 * std::log(50.0);
  EXPECT_GE(fed.EnoughAt, settled);
  EXPECT_LE(fed.EnoughAt, settled + 2 * 30);
  const LiveModelFit& m = fed.AtEnough;
  EXPECT_EQ(m.Kind, ProcessKind::Integrating);
  IdentifyModel(*s, 1, r.Samples);
  const IntegratingModel& f = s->InnerIntegrating;
  EXPECT_NEAR(m.Gain, f.Slope, 0.02 * f.Slope);
  EXPECT_NEAR(m.TimeConstant, f.Lag, 0.1 * f.Lag);
  EXPECT_NEAR(m.DeadTime, f.DeadTime, 1.0);
  const LiveModelFit& end = live.Latest();
  EXPECT_NEAR(end.Gain, f.Slope, 3 * end.GainBound);
  EXPECT_NEAR(end.TimeConstant, f.Lag, 3 * end.TimeBound);
}
