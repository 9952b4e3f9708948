// Signal conditioning, the analysis window's rules and its statistics.
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "data/NumberFormat.h"
#include "data/NumericHelpers.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"

namespace {

const SampleArray& Column(const MeasurementStore& store, int column) {
  if (column < 1 || column > MaxColumns)
    throw ListIndexError(column);
  return store.DataColumns[static_cast<size_t>(column)];
}

// Samples to condition: the store's count, within the arrays.
int ConditionedCount(const MeasurementStore& store) {
  return std::clamp<int>(store.SampleCount, 0, MaxSamples);
}

// A first-order filter with unit gain and no dead time, starting at the input's first
// sample; the rate goes to the shared scratch array.
void Filter(MeasurementStore& store, const SampleArray& input, SampleArray& output,
            double timeConstant, double startValue) {
  const int n = ConditionedCount(store);
  if (n < 1) return;
  FirstOrderResponse(input, output, store.FilterRate, 1, n, 1.0, timeConstant, 0.0, startValue,
                     store.SampleTime);
}

}  // namespace

void TObdelava::ConditionMV(MeasurementStore& store, int column) {
  const SampleArray& mv = Column(store, column);
  Filter(store, mv, store.MVConditioned, 0.0, mv[1]);
}

void TObdelava::ConditionU(MeasurementStore& store, int column, const Conditioning& p) {
  const SampleArray& u = Column(store, column);
  const int n = ConditionedCount(store);
  if (n < 1) return;
  ActuatorModel(u, store.ActuatorOut, n, store.SampleTime, p.FullStrokeTime, p.ActuatorMinimum,
                p.ActuatorMaximum);
  Filter(store, store.ActuatorOut, store.UConditioned, p.FilterTime, store.ActuatorOut[1]);
}

void TObdelava::ConditionY1(MeasurementStore& store, int column, double filterTime) {
  const SampleArray& y = Column(store, column);
  Filter(store, y, store.Y1Conditioned, filterTime, y[1]);
}

void TObdelava::ConditionY2(MeasurementStore& store, int column, double filterTime) {
  const SampleArray& y = Column(store, column);
  Filter(store, y, store.Y2Conditioned, filterTime, y[1]);
}

void TObdelava::ConditionSignals(MeasurementStore& store, const SignalColumns& columns,
                                 const Conditioning& parameters) {
  // Check every column first, so that a bad one leaves all four signals as they were.
  for (int c : {columns.MV, columns.U, columns.Y1, columns.Y2}) Column(store, c);
  ConditionU(store, columns.U, parameters);
  ConditionY1(store, columns.Y1, parameters.FilterTime);
  ConditionY2(store, columns.Y2, parameters.FilterTime);
  ConditionMV(store, columns.MV);
}

Conditioning TObdelava::ParseConditioning(std::string_view filterTime, std::string_view maximum,
                                          std::string_view minimum,
                                          std::string_view fullStrokeTime, char separator) {
  Conditioning p;
  p.FilterTime = ParseFloat(filterTime, separator);
  p.ActuatorMaximum = ParseFloat(maximum, separator);
  p.ActuatorMinimum = ParseFloat(minimum, separator);
  p.FullStrokeTime = ParseFloat(fullStrokeTime, separator);
  return p;
}

AnalysisWindow TObdelava::ConditionAfterExperiment(MeasurementStore& store,
                                                   const Conditioning& parameters) {
  ConditionSignals(store, SignalColumns{}, parameters);
  const int n = store.SampleCount;
  store.MinWindowSamples = MinWindowWidth(n);
  return FitAnalysisWindow(n, store.MinWindowSamples, 1, n);
}

int TObdelava::MinWindowWidth(int n) { return n > 10 ? 10 : std::max(1, n - 1); }

AnalysisWindow TObdelava::FitAnalysisWindow(int n, int minWidth, int start, int end) {
  if (n == 1) {
    // A record of one sample: the window is that sample, never one beyond the record.
    AnalysisWindow w;
    w.End = w.EndMin = w.EndMax = 1;
    return w;
  }
  n = std::clamp(n, 2, MaxSamples);
  const int width = std::clamp(minWidth, 1, n - 1);
  AnalysisWindow w;
  w.End = std::clamp(end, 1 + width, n);
  w.Start = std::clamp(start, 1, w.End - width);
  w.StartMin = 1;
  w.StartMax = w.End - width;
  w.EndMin = w.Start + width;
  w.EndMax = n;
  return w;
}

WindowStats TObdelava::WindowStatistics(const SampleArray& signal, int from, int to) {
  WindowStats r;
  from = std::max(from, 1);
  to = std::min(to, MaxSamples);
  if (from >= to) return r;
  const Extremes e = MinMaxOfRange(signal, from, to);
  r.Maximum = e.Maximum;
  r.Minimum = e.Minimum;
  // The sums are taken about the window's first sample: the same variance, but a
  // constant signal gives exactly 0 and large offsets lose no digits.
  const double m = to - from + 1;
  const double origin = signal[static_cast<size_t>(from)];
  double sum = 0, sumSquares = 0;
  for (int k = from; k <= to; ++k) {
    const double d = signal[static_cast<size_t>(k)] - origin;
    sum += d;
    sumSquares += d * d;
  }
  const double variance = SafeDivide(m * sumSquares - sum * sum, m * (m - 1), 0.0);
  r.StdDev = std::sqrt(std::max(variance, 0.0));
  return r;
}
