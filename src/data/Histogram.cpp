#include "data/Histogram.h"

#include <algorithm>
#include <cmath>

#include "data/NumericHelpers.h"

HistogramRange ComputeHistogram(MeasurementStore& store, const SampleArray& signal, int start,
                                int end) {
  start = std::max(start, 1);
  end = std::min(end, MaxSamples);
  const MinMaxResult extremes = FindMinMax(signal, start, end);
  const double maximum = extremes.Maximum, minimum = extremes.Minimum;
  const double range = maximum - minimum;
  for (int i = 1; i <= HistogramClasses; ++i) {
    store.HistogramLowerEdges[static_cast<size_t>(i)] = minimum + (i - 1) * 0.05 * range;
    store.HistogramCounts[static_cast<size_t>(i)] = 0;
  }
  for (int k = start; k <= end; ++k) {
    const double v =
        SafeDivide(signal[static_cast<size_t>(k)] - minimum + 1e-30, range, 0.0) * HistogramClasses;
    if (std::isnan(v)) continue;
    // The integer part, plus one for a positive fraction.
    double j = std::trunc(v);
    if (v - j > 0) j += 1;
    // Range 0 gives class 0; rounding at the top could give 21: both stay in the classes.
    const int cls = static_cast<int>(std::clamp(j, 1.0, double(HistogramClasses)));
    ++store.HistogramCounts[static_cast<size_t>(cls)];
  }
  return {maximum, minimum};
}
