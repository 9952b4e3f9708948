// The histogram of one signal over the analysis window: 20 classes of equal width
// between the window's minimum and maximum.
#pragma once

#include "data/MeasurementStore.h"

inline constexpr int HistogramClasses = 20;

struct HistogramRange {
  double Maximum = 0;
  double Minimum = 0;
};

// Fills store.HistogramLowerEdges and store.HistogramCounts (classes 1..20) from
// signal[start..end] and returns the extremes (0 and 0 when start >= end). Class i
// holds the samples with (i-1)/20 < (x - minimum)/range <= i/20, the minimum in class 1.
// A window without spread (a constant signal) has every sample in class 1; no sample
// is ever counted outside classes 1..20.
HistogramRange ComputeHistogram(MeasurementStore& store, const SampleArray& signal, int start,
                                int end);
