#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "data/StepTest.h"

namespace {

// A first-order process (gain per direction, time constant tau samples) answering MV
// steps at the given samples, with white noise of standard deviation sigma.
struct Record {
  std::vector<double> MV, Y;
};
Record StepRecord(const std::vector<std::pair<int, double>>& steps, int n, double tau, double sigma,
                  double gainUp = 1, double gainDown = 1) {
  Record r;
  std::mt19937 random(42);
  std::normal_distribution<double> noise(0, sigma);
  double mv = 40, state = 50, target = 50;
  std::size_t next = 0;
  for (int k = 0; k < n; ++k) {
    if (next < steps.size() && steps[next].first == k) {
      const double change = steps[next++].second;
      target += change * (change > 0 ? gainUp : gainDown);
      mv += change;
    }
    state += (target - state) / tau;
    r.MV.push_back(mv);
    r.Y.push_back(state + noise(random));
  }
  return r;
}

}  // namespace

TEST(StepTest, ACleanRecordSaysNothing) {
  const Record r = StepRecord({{50, 10}, {150, -10}}, 250, 10, 0.05);
  const StepTestFindings f = JudgeStepTest(r.MV, r.Y, false);
  EXPECT_EQ(f.Steps, 2);
  EXPECT_NEAR(f.Noise, 0.05, 0.015);
  EXPECT_NEAR(f.FirstResponse, 10, 0.2);
  EXPECT_FALSE(f.TooSmall);
  EXPECT_TRUE(f.Unsettled.empty());
  EXPECT_NEAR(f.GainUp, 1, 0.02);
  EXPECT_NEAR(f.GainDown, 1, 0.02);
  EXPECT_FALSE(f.GainsDiffer);
}

TEST(StepTest, AStepUnderFiveTimesTheNoiseIsTooSmall) {
  const Record small = StepRecord({{50, 2}}, 150, 5, 0.5);
  EXPECT_TRUE(JudgeStepTest(small.MV, small.Y, false).TooSmall);
  const Record clear = StepRecord({{50, 4}}, 150, 5, 0.5);
  EXPECT_FALSE(JudgeStepTest(clear.MV, clear.Y, false).TooSmall);
}

// A phase of one time constant ends far from the new level; five are settled. A level's
// ramp never settles and is not judged.
TEST(StepTest, AStepEndedBeforeItsResponseSettledIsNamed) {
  const Record r = StepRecord({{50, 10}, {60, 10}, {260, -20}}, 280, 10, 0.05);
  EXPECT_EQ(JudgeStepTest(r.MV, r.Y, false).Unsettled, (std::vector<int>{1, 3}));
  EXPECT_TRUE(JudgeStepTest(r.MV, r.Y, true).Unsettled.empty());
}

TEST(StepTest, UpAndDownGainsOf1And1Point6DifferByMoreThanAThird) {
  const Record r = StepRecord({{50, 10}, {200, -10}}, 350, 10, 0.05, 1.0, 1.6);
  const StepTestFindings f = JudgeStepTest(r.MV, r.Y, false);
  EXPECT_NEAR(f.GainUp, 1.0, 0.02);
  EXPECT_NEAR(f.GainDown, 1.6, 0.02);
  EXPECT_TRUE(f.GainsDiffer);
  const Record near = StepRecord({{50, 10}, {200, -10}}, 350, 10, 0.05, 1.0, 1.3);
  EXPECT_FALSE(JudgeStepTest(near.MV, near.Y, false).GainsDiffer) << "0.3 is under a third";
}
