#include "data/Histogram.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>

namespace {
int TotalCount(const MeasurementStore& s) {
  return std::accumulate(s.HistogramCounts.begin() + 1, s.HistogramCounts.end(), 0);
}
}  // namespace

TEST(ComputeHistogram, ARampPutsFiveSamplesIntoEachClass) {
  auto s = std::make_unique<MeasurementStore>();
  SampleArray ramp{};
  for (int k = 1; k <= 100; ++k) ramp[k] = k - 1;
  const HistogramRange r = ComputeHistogram(*s, ramp, 1, 100);
  EXPECT_EQ(r.Maximum, 99);
  EXPECT_EQ(r.Minimum, 0);
  for (int i = 1; i <= 20; ++i) {
    EXPECT_DOUBLE_EQ(s->HistogramLowerEdges[i], (i - 1) * 4.95) << i;
    EXPECT_EQ(s->HistogramCounts[i], 5) << i;
  }
}

TEST(ComputeHistogram, EdgesBelongToTheLowerClassAndTheCountsAddUp) {
  auto s = std::make_unique<MeasurementStore>();
  SampleArray x{};
  // Range 0..20: 1 lies exactly on the edge between classes 1 and 2.
  const double v[] = {0, 1, 1.5, 20, 19.999, 10};
  for (int k = 0; k < 6; ++k) x[k + 3] = v[k];
  ComputeHistogram(*s, x, 3, 8);
  EXPECT_EQ(s->HistogramCounts[1], 2);  // the minimum and the edge value
  EXPECT_EQ(s->HistogramCounts[2], 1);
  EXPECT_EQ(s->HistogramCounts[10], 1);
  EXPECT_EQ(s->HistogramCounts[20], 2);
  EXPECT_EQ(TotalCount(*s), 6);
}

TEST(ComputeHistogram, AConstantSignalCountsEverySampleInClassOne) {
  auto s = std::make_unique<MeasurementStore>();
  SampleArray x{};
  x.fill(5);
  const HistogramRange r = ComputeHistogram(*s, x, 10, 59);
  EXPECT_EQ(r.Maximum, 5);
  EXPECT_EQ(r.Minimum, 5);
  EXPECT_EQ(s->HistogramCounts[1], 50);
  EXPECT_EQ(TotalCount(*s), 50);
  EXPECT_EQ(s->HistogramCounts[0], 0);  // never outside classes 1..20
  EXPECT_EQ(s->HistogramLowerEdges[20], 5);
}

TEST(ComputeHistogram, AnEmptyWindowHasNoExtremes) {
  auto s = std::make_unique<MeasurementStore>();
  SampleArray x{};
  x.fill(7);
  const HistogramRange r = ComputeHistogram(*s, x, 30, 30);
  EXPECT_EQ(r.Maximum, 0);
  EXPECT_EQ(r.Minimum, 0);
  EXPECT_EQ(TotalCount(*s), 1);
  ComputeHistogram(*s, x, 30, 20);
  EXPECT_EQ(TotalCount(*s), 0);
}
