#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "data/NumberFormat.h"
#include "data/TObdelava.h"

namespace {

std::unique_ptr<MeasurementStore> StoreWith(int n, double ts) {
  auto s = std::make_unique<MeasurementStore>();
  s->SampleCount = n;
  s->SampleTime = ts;
  s->ColumnCount = 6;
  for (int k = 1; k <= n; ++k) s->TimeColumn[k] = (k - 1) * ts;
  return s;
}

}  // namespace

TEST(ConditionSignals, TheRateLimitTakesSixSamplesForAJumpOfSixtyUnits) {
  // Full-stroke time 10 s over 0..100 at Ts = 1 s: at most 10 units a sample.
  auto s = StoreWith(10, 1.0);
  for (int k = 1; k <= 10; ++k) s->DataColumns[3][k] = k < 3 ? 20 : 80;
  TObdelava::ConditionSignals(*s, SignalColumns{}, Conditioning{0, 100, 0, 10});
  const double expected[] = {20, 20, 30, 40, 50, 60, 70, 80, 80, 80};
  for (int k = 1; k <= 10; ++k) EXPECT_DOUBLE_EQ(s->ActuatorOut[k], expected[k - 1]) << k;
  // With Tfilt = 0 the filter only delays by one sample.
  EXPECT_DOUBLE_EQ(s->UConditioned[1], 20);
  for (int k = 2; k <= 10; ++k) EXPECT_DOUBLE_EQ(s->UConditioned[k], expected[k - 2]) << k;
}

TEST(ConditionSignals, FullStrokeTimeZeroDisablesTheRateLimitButNotTheRange) {
  auto s = StoreWith(4, 1.0);
  const double u[] = {0, 20, 150, -30, 50};
  for (int k = 1; k <= 4; ++k) s->DataColumns[3][k] = u[k];
  TObdelava::ConditionSignals(*s, SignalColumns{}, Conditioning{0, 100, 0, 0});
  EXPECT_DOUBLE_EQ(s->ActuatorOut[1], 20);
  EXPECT_DOUBLE_EQ(s->ActuatorOut[2], 100);  // 150 above the maximum
  EXPECT_DOUBLE_EQ(s->ActuatorOut[3], 0);
  EXPECT_DOUBLE_EQ(s->ActuatorOut[4], 50);
}

TEST(ConditionSignals, MeasurementsAreDelayedBySampleWithoutFilterAndLaggedWithIt) {
  auto s = StoreWith(6, 1.0);
  for (int k = 1; k <= 6; ++k) {
    s->DataColumns[1][k] = 10 * k;  // MV
    s->DataColumns[5][k] = k < 3 ? 0 : 1;  // Y1 step at sample 3
    s->DataColumns[6][k] = 2 * k;
  }
  TObdelava::ConditionSignals(*s, SignalColumns{}, Conditioning{0, 100, 0, 1});
  EXPECT_DOUBLE_EQ(s->MVConditioned[1], 10);
  EXPECT_DOUBLE_EQ(s->MVConditioned[2], 10);
  EXPECT_DOUBLE_EQ(s->MVConditioned[6], 50);
  EXPECT_DOUBLE_EQ(s->Y1Conditioned[1], s->Y1Conditioned[2]);
  EXPECT_DOUBLE_EQ(s->Y1Conditioned[4], 1);
  EXPECT_DOUBLE_EQ(s->Y2Conditioned[6], 10);

  // Tfilt = 10 s at Ts = 1 s: each sample moves by 1 - e^-0.1 of the remaining step.
  TObdelava::ConditionSignals(*s, SignalColumns{}, Conditioning{10, 100, 0, 1});
  const double a = std::exp(-0.1);
  EXPECT_NEAR(s->Y1Conditioned[4], 1 - a, 1e-12);
  EXPECT_NEAR(s->Y1Conditioned[5], 1 - a * a, 1e-12);
  // MV is never filtered.
  EXPECT_DOUBLE_EQ(s->MVConditioned[6], 50);
}

TEST(ConditionSignals, AColumnOutsideTheStoreIsRefusedAndNothingChanges) {
  auto s = StoreWith(3, 1.0);
  s->Y1Conditioned[2] = 42;
  SignalColumns c;
  c.Y2 = 41;
  EXPECT_THROW(
      {
        try {
          TObdelava::ConditionSignals(*s, c, Conditioning{});
        } catch (const std::out_of_range& e) {
          EXPECT_STREQ(e.what(), "List index out of bounds (41)");
          throw;
        }
      },
      std::out_of_range);
  EXPECT_EQ(s->Y1Conditioned[2], 42);
}

TEST(ConditionSignals, EditTextsAreReadWithTheSystemSeparator) {
  const Conditioning p = TObdelava::ParseConditioning("0,5", "100", "-2,5", "12", ',');
  EXPECT_DOUBLE_EQ(p.FilterTime, 0.5);
  EXPECT_DOUBLE_EQ(p.ActuatorMinimum, -2.5);
  EXPECT_THROW(TObdelava::ParseConditioning("0.5", "100", "0", "x", '.'), ConversionError);
}

TEST(AnalysisWindow, AfterAnExperimentTheWindowIsTheWholeRecord) {
  auto s = StoreWith(10, 0.5);  // a two-sample run padded to ten
  const AnalysisWindow w = TObdelava::ConditionAfterExperiment(*s, Conditioning{});
  EXPECT_EQ(w.Start, 1);
  EXPECT_EQ(w.End, 10);
  EXPECT_LT(w.Start, w.End);
  auto big = StoreWith(4999, 0.5);
  const AnalysisWindow b = TObdelava::ConditionAfterExperiment(*big, Conditioning{});
  EXPECT_EQ(b.Start, 1);
  EXPECT_EQ(b.End, 4999);
  EXPECT_EQ(b.StartMax, 4989);
  EXPECT_EQ(b.EndMin, 11);
  EXPECT_EQ(big->MinWindowSamples, 10);
}

TEST(AnalysisWindow, StartStaysBelowEndWhateverIsAsked) {
  for (int n : {0, 2, 3, 10, 11, 100, 5000}) {
    for (int width : {0, 1, 10, n}) {
      for (int start : {-5, 1, 2, n / 2, n - 1, n, n + 7}) {
        for (int end : {-5, 1, 2, n / 2, n, n + 7}) {
          const AnalysisWindow w = TObdelava::FitAnalysisWindow(n, width, start, end);
          SCOPED_TRACE(testing::Message() << n << " " << width << " " << start << " " << end);
          EXPECT_GE(w.Start, 1);
          EXPECT_LT(w.Start, w.End);
          EXPECT_LE(w.End, std::max(n, 2));
          EXPECT_TRUE(w.StartMin <= w.Start && w.Start <= w.StartMax);
          EXPECT_TRUE(w.EndMin <= w.End && w.End <= w.EndMax);
          // Each selector's range stops where the other one's position allows.
          EXPECT_LT(w.StartMax, w.End);
          EXPECT_GT(w.EndMin, w.Start);
        }
      }
    }
  }
  // The width applies from both sides.
  const AnalysisWindow w = TObdelava::FitAnalysisWindow(100, 10, 30, 35);
  EXPECT_EQ(w.End, 35);
  EXPECT_EQ(w.Start, 25);
  EXPECT_EQ(TObdelava::MinWindowWidth(11), 10);
  EXPECT_EQ(TObdelava::MinWindowWidth(10), 9);
  EXPECT_EQ(TObdelava::MinWindowWidth(0), 1);
}

// A record of one sample: the window is that sample (1..1), whatever is asked.
TEST(AnalysisWindow, OneSampleRecordGetsTheWindowOfThatSample) {
  for (int start : {-5, 1, 2})
    for (int end : {0, 1, 2, 9}) {
      const AnalysisWindow w = TObdelava::FitAnalysisWindow(1, 1, start, end);
      EXPECT_TRUE(w.Start == 1 && w.End == 1 && w.StartMin == 1 && w.StartMax == 1 &&
                  w.EndMin == 1 && w.EndMax == 1);
    }
}

TEST(WindowStatistics, GivesExtremesAndSampleStandardDeviation) {
  SampleArray x{};
  const double v[] = {2, 4, 4, 4, 5, 5, 7, 9};
  for (int k = 0; k < 8; ++k) x[k + 11] = v[k];
  const WindowStats s = TObdelava::WindowStatistics(x, 11, 18);
  EXPECT_EQ(s.Maximum, 9);
  EXPECT_EQ(s.Minimum, 2);
  EXPECT_NEAR(s.StdDev, std::sqrt(32.0 / 7.0), 1e-12);
}

TEST(WindowStatistics, AConstantSignalHasExactlyZeroDeviationAndOneSampleHasNoExtremes) {
  SampleArray x{};
  x.fill(0.1);
  EXPECT_EQ(TObdelava::WindowStatistics(x, 1, 5000).StdDev, 0.0);
  x.fill(1e9 + 0.3);
  EXPECT_EQ(TObdelava::WindowStatistics(x, 1, 4999).StdDev, 0.0);
  const WindowStats one = TObdelava::WindowStatistics(x, 7, 7);
  EXPECT_EQ(one.Maximum, 0);
  EXPECT_EQ(one.Minimum, 0);
  EXPECT_EQ(one.StdDev, 0);
}
