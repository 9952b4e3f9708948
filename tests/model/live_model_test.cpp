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

namespace {

// The record's first k samples as the live model takes them (U and Y1).
LiveModelRecord FirstSamples(const MeasurementStore& s, int k) {
  LiveModelRecord r;
  r.SampleTime = s.SampleTime;
  for (int i = 1; i <= k; ++i) {
    r.Input.push_back(s.DataColumns[3][i]);
    r.Output.push_back(s.DataColumns[5][i]);
  }
  return r;
}

// The time the record's Y1 first passes `level` upwards, between its samples.
double RecordCrossing(const MeasurementStore& s, double level) {
  for (int k = 2; k <= s.SampleCount; ++k) {
    const double a = s.DataColumns[5][k - 1], b = s.DataColumns[5][k];
    if (a <= level && b > level) return s.TimeColumn[k - 1] + (level - a) / (b - a) * s.SampleTime;
  }
  return NAN;
}

}  // namespace

// Gain 2, lag 20 s, dead time 6 s, the step at 40 s, fitted 49 s after it (the response
// under way, a dead time of it still to show): the forecast of the input held is the
// fitted model's own response carried on, through the dead time and the lag, to where it
// crosses a level; with more of the record the model, and so its forecast, meets the record.
TEST(LiveModel, TheForecastOfAFirstOrderStepCarriesTheModelOnToItsCrossing) {
  modeltest::Record r;
  r.Samples = 400;
  r.StepAt = 41;
  auto s = modeltest::MakeStore(r);
  const LiveModelFit fit = LiveModel::Fit(FirstSamples(*s, 90));
  ASSERT_TRUE(fit.Valid);
  ASSERT_EQ(fit.Kind, ProcessKind::SelfRegulating);
  // The model over the whole record's input: what the forecast must continue.
  std::vector<double> u(400), path(400), rate(400);
  for (int k = 1; k <= 400; ++k) u[k - 1] = s->DataColumns[3][k] - fit.InputLevel;
  FirstOrderResponse(u, path, rate, fit.Gain, fit.TimeConstant, fit.DeadTime, 0, 1.0);
  EXPECT_NEAR(fit.Response.back(), fit.OutputLevel + path[89], 1e-9);
  for (int k : {91, 93, 96, 97, 120, 200, 400})
    EXPECT_NEAR(fit.ForecastAt(k - 1), fit.OutputLevel + path[k - 1], 1e-9) << "sample " << k;
  EXPECT_NEAR(fit.ForecastAt(1e6), fit.FinalValue(), 1e-9);

  const double level = fit.OutputLevel + path[150];  // the model reaches it at 150 s
  const auto exit = FirstForecastExit(fit, -1, level - 1e-6, fit.Time, INFINITY);
  ASSERT_TRUE(exit);
  EXPECT_TRUE(exit->High);
  EXPECT_NEAR(exit->Time, 150, 0.01);
  EXPECT_FALSE(FirstForecastExit(fit, -1, fit.FinalValue() + 0.01, fit.Time, INFINITY))
      << "beyond the final value";
  EXPECT_FALSE(FirstForecastExit(fit, -1, level, fit.Time, 140)) << "past the horizon";
  // A limit the forecast already breaks is crossed at once; a low limit below a rising
  // response never.
  EXPECT_DOUBLE_EQ(FirstForecastExit(fit, -1, 0.1, 100, 110)->Time, 100);
  EXPECT_FALSE(FirstForecastExit(fit, 0.2, 9, fit.Time, INFINITY));

  const LiveModelFit later = LiveModel::Fit(FirstSamples(*s, 120));
  EXPECT_NEAR(later.ForecastAt(399), s->DataColumns[5][400], 0.03 * 2);
}

// A tank level (slope 0.02 per s per %, lag 30 s, dead time 8 s, a step of 5 %): the
// forecast continues the ramp the lag builds up, and reaches any level above in time.
TEST(LiveModel, TheForecastOfAnIntegratingStepGoesOnUpTheRamp) {
  modeltest::LevelRecord r;
  r.Samples = 500;
  r.StepAt = 21;
  r.Lag = 30;
  auto s = modeltest::MakeLevelStore(r);
  const LiveModelFit fit = LiveModel::Fit(FirstSamples(*s, 200));
  ASSERT_TRUE(fit.Valid);
  ASSERT_EQ(fit.Kind, ProcessKind::Integrating);
  for (int k : {204, 250, 300, 500})
    EXPECT_NEAR(fit.ForecastAt(s->TimeColumn[k]), s->DataColumns[5][k], 0.02 * (k - 20) * 0.1)
        << "sample " << k;
  const double level = s->DataColumns[5][400];
  const auto exit = FirstForecastExit(fit, -INFINITY, level, fit.Time, INFINITY);
  ASSERT_TRUE(exit);
  EXPECT_NEAR(exit->Time, RecordCrossing(*s, level), 4.0);
  // Falling, a low limit below is reached the same way.
  for (int k = 1; k <= r.Samples; ++k) s->DataColumns[3][k] *= -1, s->DataColumns[5][k] *= -1;
  const LiveModelFit down = LiveModel::Fit(FirstSamples(*s, 200));
  const auto below = FirstForecastExit(down, -level, INFINITY, down.Time, INFINITY);
  ASSERT_TRUE(below);
  EXPECT_FALSE(below->High);
  EXPECT_NEAR(below->Time, exit->Time, 1e-6 * exit->Time);
}
