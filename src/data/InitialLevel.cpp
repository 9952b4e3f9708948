#include <cmath>

#include "data/NumericHelpers.h"
#include "data/TObdelava.h"

void TObdelava::RemoveInitialLevel(MeasurementStore& store, int start, int end) {
  const int s = start, e = end;
  const SampleArray& mv = store.MVConditioned;
  // A move of the manipulated signal above half a percent of its range is the step.
  const MinMaxResult range = FindMinMax(mv, s, e);
  const double h = 0.005 * (range.Maximum - range.Minimum);
  double uLevel = 0, y1Level = 0, y2Level = 0;
  if (std::fabs(mv[s] - mv[s + 1]) > h) {
    // The step comes at once: the levels are those of the first sample.
    uLevel = store.UConditioned[s];
    y1Level = store.Y1Conditioned[s];
    y2Level = store.Y2Conditioned[s];
  } else {
    // The means over the samples before the step.
    int m = 0;
    do {
      uLevel += store.UConditioned[s + m];
      y1Level += store.Y1Conditioned[s + m];
      y2Level += store.Y2Conditioned[s + m];
      ++m;
    } while (!(m >= e - s - 2 || std::fabs(mv[s] - mv[s + m + 1]) > h));
    uLevel /= m;
    y1Level /= m;
    y2Level /= m;
  }
  for (int i = 1; i <= e - s + 1; ++i) {
    store.UDeviation[i] = store.UConditioned[s + i - 1] - uLevel;
    store.Y1Deviation[i] = store.Y1Conditioned[s + i - 1] - y1Level;
    store.Y2Deviation[i] = store.Y2Conditioned[s + i - 1] - y2Level;
    store.WindowTime[i] = store.TimeColumn[s + i - 1] - store.TimeColumn[s];
  }
}
