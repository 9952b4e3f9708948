#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "data/NumericHelpers.h"

TEST(SafeDivide, GivesTheFallbackOnlyForAZeroDenominator) {
  EXPECT_DOUBLE_EQ(SafeDivide(1, 4, 7), 0.25);
  EXPECT_DOUBLE_EQ(SafeDivide(1, 0, 7), 7);
  EXPECT_DOUBLE_EQ(SafeDivide(1, -0.0, 7), 7);
  EXPECT_DOUBLE_EQ(SafeDivide(1, 1e-300, 7), 1e300);
}

TEST(RoundToInt, RoundsTiesToEven) {
  EXPECT_EQ(RoundToInt(2.5), 2);
  EXPECT_EQ(RoundToInt(3.5), 4);
  EXPECT_EQ(RoundToInt(-2.5), -2);
  EXPECT_EQ(RoundToInt(27.0), 27);
  EXPECT_EQ(RoundToInt(1e300), std::numeric_limits<int>::max());
}

TEST(FindMinMax, FirstOccurrenceWinsAndAnEmptyRangeGivesZero) {
  std::vector<double> v{0, 3, 5, 1, 5, 1};
  MinMaxResult r = FindMinMax(v, 1, 5);
  EXPECT_EQ(r.Maximum, 5);
  EXPECT_EQ(r.MaximumIndex, 2);
  EXPECT_EQ(r.Minimum, 1);
  EXPECT_EQ(r.MinimumIndex, 3);
  r = FindMinMax(v, 4, 4);
  EXPECT_EQ(r.Maximum, 0);
  EXPECT_EQ(r.Minimum, 0);
  EXPECT_EQ(r.MaximumIndex, 4);
  EXPECT_EQ(r.MinimumIndex, 4);
  // A falling series never updates the maximum, only the minimum.
  std::vector<double> falling{0, 9, 8, 7};
  r = FindMinMax(falling, 1, 3);
  EXPECT_EQ(r.Maximum, 9);
  EXPECT_EQ(r.Minimum, 7);
  EXPECT_EQ(r.MinimumIndex, 3);
}

TEST(MinMaxOfRange, ZeroWhenTheRangeIsEmpty) {
  std::vector<double> v{4, -2, 7};
  EXPECT_EQ(MinMaxOfRange(v, 0, 2).Maximum, 7);
  EXPECT_EQ(MinMaxOfRange(v, 0, 2).Minimum, -2);
  EXPECT_EQ(MinMaxOfRange(v, 2, 2).Maximum, 0);
}

TEST(MeanSquaredError, DividesBySampleCountOrReturnsTheSum) {
  std::vector<double> a{0, 1, 2, 3}, b{0, 1, 0, 0};
  EXPECT_DOUBLE_EQ(MeanSquaredError(a, b, 3), 13.0 / 3.0);
  EXPECT_DOUBLE_EQ(MeanSquaredError(a, b, 0), 0);
}

class ActuatorModelTest : public ::testing::Test {
 protected:
  std::vector<double> in = std::vector<double>(20, 0.0), out = std::vector<double>(20, 0.0);
};

TEST_F(ActuatorModelTest, RateLimitSpreadsAJumpOverSeveralSamples) {
  // Full stroke 10 s over 0..100 at Ts 1 s: 10 units a sample.
  for (int k = 1; k <= 3; ++k) in[k] = 20;
  for (int k = 4; k <= 12; ++k) in[k] = 80;
  ActuatorModel(in, out, 12, 1.0, 10.0, 0.0, 100.0);
  const std::vector<double> expected{20, 20, 20, 30, 40, 50, 60, 70, 80, 80, 80, 80};
  for (int k = 1; k <= 12; ++k) EXPECT_DOUBLE_EQ(out[k], expected[k - 1]) << k;
}

TEST_F(ActuatorModelTest, LimitsTheRangeAndFullStrokeZeroDisablesTheRateLimit) {
  in[1] = 150;
  in[2] = -20;
  in[3] = 50;
  ActuatorModel(in, out, 3, 1.0, 0.0, 0.0, 100.0);
  EXPECT_DOUBLE_EQ(out[1], 100);
  EXPECT_DOUBLE_EQ(out[2], 0);
  EXPECT_DOUBLE_EQ(out[3], 50);
}

TEST(FirstOrderResponse, ShortTimeConstantGivesTheDelayedScaledInput) {
  auto store = std::make_unique<MeasurementStore>();
  SampleArray& in = store->DataColumns[1];
  for (int k = 1; k <= 20; ++k) in[k] = k;
  // T <= 0.01 Ts: K times the input delayed by d+1 samples, the first d+1 equal to y0.
  FirstOrderResponse(in, store->MVConditioned, store->FilterRate, 1, 20, 2.0, 0.005, 3.0, 7.0,
                     1.0);
  for (int k = 1; k <= 4; ++k) EXPECT_DOUBLE_EQ(store->MVConditioned[k], 7.0) << k;
  for (int k = 5; k <= 20; ++k) EXPECT_DOUBLE_EQ(store->MVConditioned[k], 2.0 * (k - 4)) << k;
  EXPECT_DOUBLE_EQ(store->MVConditioned[21], 0.0);  // nothing written past n
}

TEST(FirstOrderResponse, FilterTimeConstantGivesTheExpectedPole) {
  auto store = std::make_unique<MeasurementStore>();
  SampleArray& in = store->DataColumns[1];
  for (int k = 1; k <= 50; ++k) in[k] = 1.0;
  FirstOrderResponse(in, store->Y1Conditioned, store->FilterRate, 1, 50, 1.0, 10.0, 0.0, 0.0,
                     1.0);
  const double alpha = std::exp(-0.1);
  EXPECT_DOUBLE_EQ(store->Y1Conditioned[1], 0.0);
  for (int k = 2; k <= 50; ++k)
    EXPECT_NEAR(store->Y1Conditioned[k], alpha * store->Y1Conditioned[k - 1] + (1 - alpha), 1e-12);
  // The rate is the slope of the output.
  EXPECT_NEAR(store->FilterRate[1], 1 - alpha, 1e-12);
}

TEST(FirstOrderResponse, ReadsFromTheFirstIndexAndNeverWritesPastTheWindow) {
  std::vector<double> in{0, 0, 0, 5, 5, 5}, out(6, -1), rate(6, -1);
  FirstOrderResponse(std::span<const double>(in).subspan(3, 3), std::span<double>(out).subspan(1, 3),
                     std::span<double>(rate).subspan(1, 3), 1.0, 0.0, 0.0, 0.0, 1.0);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], 5);
  EXPECT_EQ(out[3], 5);
  EXPECT_EQ(out[4], -1);
  // A dead time longer than the window holds the start value everywhere.
  FirstOrderResponse(std::span<const double>(in).subspan(3, 3), std::span<double>(out).subspan(1, 3),
                     std::span<double>(rate).subspan(1, 3), 1.0, 0.0, 10.0, 2.0, 1.0);
  EXPECT_EQ(out[3], 2);
  EXPECT_EQ(out[4], -1);
}
