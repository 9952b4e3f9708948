#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "data/NumberFormat.h"
#include "tuning/Recomputation.h"
#include "tuning/TRegulator.h"

namespace {
std::vector<double> Work() { return std::vector<double>(SimulationCapacity, 0.0); }

MeasurementStore WorkedModel() {
  MeasurementStore s;
  s.InnerGain = 2, s.InnerTimeConstant = 20, s.InnerDeadTime = 5;
  s.OuterGain = 1.5, s.OuterTimeConstant = 40, s.OuterDeadTime = 8;
  return s;
}
}  // namespace

TEST(SimulateLoop, PControllerSeesTheOutputTwoSamplesLate) {
  // T = 0 passes the input through, L = 0: y[k] = Kp * (1 - y[k - 2]).
  std::vector<double> y = Work();
  y[3] = 99;  // cleared
  TRegulator::SimulateLoop(SimP, 9, y, 0, 0, 1, 1, 0, 1, 0, 0, 1);
  const std::vector<double> expected{0, 1, 1, 0, 0, 1, 1, 0, 0, 1};
  for (int k = 0; k < 10; ++k) EXPECT_EQ(y[k], expected[k]) << k;
}

TEST(SimulateLoop, IControllerWithLagAndDeadTime) {
  // K 2, T 10, L 2 s, h 1 s, Ki 0.05: alpha = exp(-0.1), two samples of dead time.
  std::vector<double> y = Work();
  TRegulator::SimulateLoop(SimI, 6, y, 2, 10, 2, 1, 0, 1, 0, 0.05, 0);
  const double a = std::exp(-0.1);
  EXPECT_EQ(y[0], 0);
  EXPECT_EQ(y[1], 0);
  EXPECT_EQ(y[2], 0);
  // Step 1: I = 0.05, x = 0.05 (1 - a), written at D + 1 = 3.
  const double x1 = 0.05 * (1 - a);
  EXPECT_DOUBLE_EQ(y[3], 2 * x1);
  const double x2 = 0.1 * (1 - a) + a * x1;
  EXPECT_DOUBLE_EQ(y[4], 2 * x2);
}

TEST(SimulateLoop, DisturbanceWithoutControllerGivesTheOpenLoopStep) {
  std::vector<double> y = Work();
  TRegulator::SimulateLoop(SimP, 200, y, 0, 5, 4, 1, 0.25, 0, 0, 0, 0);
  EXPECT_NEAR(y[199], 1, 1e-12);
}

TEST(SimulateLoop, WithoutDerivativeTimeTheDerivativeTermStaysZero) {
  // PID type with Kd = 0 must equal the PI type.
  std::vector<double> pid = Work(), pi = Work();
  TRegulator::SimulateLoop(SimPID, 300, pid, 5, 20, 2, 1, 0, 1, 0, 0.05, 0.9);
  TRegulator::SimulateLoop(SimPI, 300, pi, 5, 20, 2, 1, 0, 1, 0, 0.05, 0.9);
  EXPECT_EQ(pid, pi);
}

TEST(SimulateCascade, DropsWritesPastTheArraysForALongOuterDeadTime) {
  std::vector<double> y = Work(), inner = Work();
  // Outer dead time of 400 samples with the longest horizon: writes up to 5399.
  TRegulator::SimulateCascade(SimPI, 4999, y, inner, 400, 40, 1.5, 0, 20, 2, 1, 0, 1, 1, 0, 0.01,
                              0.5);
  EXPECT_EQ(y[400], 0);
  EXPECT_GT(y[402], 0);
  EXPECT_TRUE(std::isfinite(y[4999]));
  // A dead time far longer than the horizon writes nothing at all.
  std::vector<double> y2 = Work(), inner2 = Work();
  TRegulator::SimulateCascade(SimP, 10, y2, inner2, 1e6, 40, 1.5, 1e6, 20, 2, 1, 0, 1, 1, 0, 0, 1);
  for (double v : y2) ASSERT_EQ(v, 0);
}

TEST(SimulateCascade, InnerLoopFollowsTheOuterControllerOutput) {
  // Outer controller P with Kp 1, inner gain 1, all lags pass-through and no dead time.
  std::vector<double> y = Work(), inner = Work();
  TRegulator::SimulateCascade(SimP, 4, y, inner, 0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 0, 1);
  // Step 1: v = 1, ui = 1, yi[1] = 1, yim = yi[0] = 0, xo = 0, y[1] = 0.
  EXPECT_EQ(inner[1], 1);
  EXPECT_EQ(y[1], 0);
  // Step 2: yim is still yi[0] = 0, so yi[2] = 1; then yim = yi[1] = 1 and y[2] = 1.
  EXPECT_EQ(inner[2], 1);
  EXPECT_EQ(y[2], 1);
  // Step 3: ui = 1 - 1 = 0.
  EXPECT_EQ(inner[3], 0);
}

TEST(SimulationHorizon, TenDeadTimesPlusFiveTimeConstantsWithinTheArrays) {
  Horizon z = SimulationHorizon(5, 20, 1);
  EXPECT_EQ(z.DeadTimeSamples, 5);
  EXPECT_EQ(z.Samples, 151);
  z = SimulationHorizon(5, 20, 0.01);  // 15001 samples wanted
  EXPECT_EQ(z.DeadTimeSamples, 500);
  EXPECT_EQ(z.Samples, 4999 - 500);
  z = SimulationHorizon(0, 0.1, 1);  // never shorter than 10
  EXPECT_EQ(z.Samples, 10);
  z = SimulationHorizon(-50, 20000, 1);  // a negative dead time stays inside the arrays
  EXPECT_EQ(z.Samples, 4999);
}

TEST(ClosedLoopSampleTime, EmptyOrNotPositiveFallsBackToTheLastValid) {
  double last = 0;
  EXPECT_EQ(ResolveSampleTime("", ',', last), 0);
  EXPECT_EQ(ResolveSampleTime("0,5", ',', last), 0.5);
  EXPECT_EQ(last, 0.5);
  EXPECT_EQ(ResolveSampleTime("-2", ',', last), 0.5);
  EXPECT_EQ(ResolveSampleTime("0", ',', last), 0.5);
  EXPECT_EQ(ResolveSampleTime("", ',', last), 0.5);
  EXPECT_THROW(ResolveSampleTime("abc", ',', last), ConversionError);
  try {
    ResolveSampleTime("1.5", ',', last);
    FAIL();
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'1.5' is not a valid floating point value");
  }
}

TEST(SimulateResponses, SetPointAndDisturbanceOnTheWorkedModel) {
  MeasurementStore store = WorkedModel();
  ApplyTuning(store, 2, 10, false);
  SimulationOutcome o = SimulateResponses(store, 1, 0, false);
  ASSERT_TRUE(o.Curves);
  const ResponseCurves& c = *o.Curves;
  EXPECT_EQ(c.N, 151);
  EXPECT_EQ(c.Time[150], 150);
  // The open loop rises from 0 to 1 after the dead time.
  EXPECT_EQ(c.OpenLoop[5], 0);
  EXPECT_GT(c.OpenLoop[6], 0);
  EXPECT_NEAR(c.OpenLoop[150], 1, 0.001);
  // Each closed loop with integral action settles at the set-point.
  EXPECT_NEAR(c.YPI[150], 1, 0.02);
  EXPECT_NEAR(c.YPID[150], 1, 0.02);
  // The disturbance response returns to 0; the open loop is the same in both kinds.
  SimulationOutcome d = SimulateResponses(store, 1, 1, false);
  ASSERT_TRUE(d.Curves);
  EXPECT_EQ(d.Curves->OpenLoop, c.OpenLoop);
  EXPECT_GT(d.Curves->YPI[30], 0.1);
  EXPECT_NEAR(d.Curves->YPI[150], 0, 0.05);
}

TEST(SimulateResponses, AtSliderZeroThePidCurveUsesATenthOfEveryGainAsTheRowShows) {
  MeasurementStore store = WorkedModel();
  ApplyTuning(store, 2, 0, false);
  const SimulationOutcome o = SimulateResponses(store, 0.5, 0, false);
  ASSERT_TRUE(o.Curves);
  std::vector<double> y = Work();
  // Kd·f = 3 · 0.1: the derivative the PID row shows and the panel loads.
  TRegulator::SimulateLoop(SimPID, o.Curves->N, y, 5, 20, 2, 0.5, 0, 1, 0.3, 0.006, 0.12);
  for (int k = 0; k < o.Curves->N; ++k) ASSERT_NEAR(o.Curves->YPID[k], y[k], 1e-15) << k;
  TRegulator::SimulateLoop(SimI, o.Curves->N, y, 5, 20, 2, 0.5, 0, 1, 0, 0.7 / 24 * 0.1, 0);
  for (int k = 0; k < o.Curves->N; ++k) ASSERT_NEAR(o.Curves->YI[k], y[k], 1e-15) << k;
}

TEST(SimulateResponses, CascadeUsesTheOuterSetAndTheUnscaledInnerGain) {
  MeasurementStore store = WorkedModel();
  ApplyTuning(store, 2, 20, true);
  const SimulationOutcome o = SimulateResponses(store, 1, 0, true);
  ASSERT_TRUE(o.Curves);
  std::vector<double> y = Work(), inner = Work();
  const double f = store.Tuning.RobustnessFactor;
  // The inner gain 0.7 / 0.85 as the tab shows it and the load writes it.
  TRegulator::SimulateCascade(SimPI, o.Curves->N, y, inner, 8, 40, 1.5, 5, 20, 2, 1, 0, 1, 0.8235,
                              0, store.Tuning.CascKiPI * f, store.Tuning.CascKpPI * f);
  for (int k = 0; k < o.Curves->N; ++k) ASSERT_EQ(o.Curves->YPI[k], y[k]) << k;
}

TEST(SimulateResponses, NoSamplingTimeOrZeroGainSimulatesNothingAndSaysWhy) {
  MeasurementStore store = WorkedModel();
  ApplyTuning(store, 0, 10, false);
  SimulationOutcome o = SimulateResponses(store, 0, 0, false);
  EXPECT_FALSE(o.Curves);
  EXPECT_NE(o.Reason.find("čas vzorčenja"), std::string::npos);
  store.InnerGain = 0;
  o = SimulateResponses(store, 1, 0, false);
  EXPECT_FALSE(o.Curves);
  EXPECT_NE(o.Reason.find("ojačenje"), std::string::npos);
}

TEST(ResponseAxis, ClipsToMinusOneAndTwoWithATenthMargin) {
  ResponseCurves c;
  c.N = 3;
  c.YI = {0, 0.5, 1};
  c.OpenLoop = {0, 0, 0};
  c.YPI = {0, 5, -7};
  c.YPID = {0, 1, 1};
  c.YP = {0, 0, 0};
  AxisRange a = ResponseAxisRange(c);
  EXPECT_DOUBLE_EQ(a.Maximum, 2 + 0.3);
  EXPECT_DOUBLE_EQ(a.Minimum, -1 - 0.3);
  // An unstable curve that overflowed counts only up to its last finite value.
  c.YPI = {0, 1.5, NAN};
  a = ResponseAxisRange(c);
  EXPECT_DOUBLE_EQ(a.Maximum, 1.5 + 0.15);
  EXPECT_DOUBLE_EQ(a.Minimum, -0.15);
  // All curves flat at 0: range 1.
  c = ResponseCurves{};
  c.N = 2;
  c.YI = c.OpenLoop = c.YPI = c.YPID = c.YP = {0, 0};
  a = ResponseAxisRange(c);
  EXPECT_DOUBLE_EQ(a.Minimum, -0.1);
  EXPECT_DOUBLE_EQ(a.Maximum, 0.1);
}
