// Shared numeric procedures: guarded division, limits, extremes, error measures,
// the actuator model and the first-order lag that every simulation builds on.
#pragma once

#include <span>

#include "data/MeasurementStore.h"

// numerator / denominator, or fallback when the denominator is exactly 0.
inline double SafeDivide(double numerator, double denominator, double fallback) {
  return denominator == 0.0 ? fallback : numerator / denominator;
}

// hi if x > hi, else lo if x < lo, else x.
inline double Clamp(double x, double lo, double hi) {
  if (x > hi) return hi;
  if (x < lo) return lo;
  return x;
}

// Round to the nearest integer, ties to even (as every rule of the program rounds).
int RoundToInt(double x);

struct MinMaxResult {
  double Maximum = 0;
  double Minimum = 0;
  int MaximumIndex = 0;
  int MinimumIndex = 0;
};

// Extremes of values[first..last]. Scanning from first+1, a value above the
// maximum updates it, otherwise a value below the minimum updates it, so the first
// occurrence wins ties. When first >= last both results are 0 and both indices first.
MinMaxResult FindMinMax(std::span<const double> values, int first, int last);

// Largest and smallest of values[first..last], or 0 and 0 when first >= last.
struct Extremes {
  double Maximum = 0;
  double Minimum = 0;
};
Extremes MinMaxOfRange(std::span<const double> values, int first, int last);

// Sum over i = 1..n of (a[i] - b[i])^2, divided by n (the sum itself when n = 0).
double MeanSquaredError(std::span<const double> a, std::span<const double> b, int n);

// The least-squares straight line through y[0..n-1] (the sample index as abscissa): its
// slope per sample, the mean and the middle index it passes through, the scatter of the
// samples about it and the slope's standard error. Fewer than three samples, or no
// spread of the index, give a slope of 0 and no scatter.
struct StraightLine {
  double Slope = 0, Mean = 0, Middle = 0, Scatter = 0, SlopeError = 0;
};
StraightLine LineThrough(std::span<const double> y);

// Actuator with range limits and a rate limit: fills output[1..n] from input[1..n].
// fullStrokeTime is the time to travel from minimum to maximum; 0 disables the rate limit.
void ActuatorModel(std::span<const double> input, std::span<double> output, int n, double ts,
                   double fullStrokeTime, double minimum, double maximum);

// Discrete first-order lag with gain k, time constant t, dead time deadTime and start
// value y0, sampled every ts seconds. input[j], output[j], rate[j] for j = 0..n-1 are
// samples 1..n, n = output.size(); rate receives the slope of the output.
// output[k] = a*output[k-1] + (1-a)*k*input[k-d-1] with d = round(deadTime/ts): an input
// sample shows in the output d+1 samples later; the first d+1 outputs equal y0.
void FirstOrderResponse(std::span<const double> input, std::span<double> output,
                        std::span<double> rate, double k, double t, double deadTime, double y0,
                        double ts);

// The same on 1-based sample arrays: reads input[first..last], writes output[1..n] and
// rate[1..n], n = last - first + 1.
void FirstOrderResponse(const SampleArray& input, SampleArray& output, SampleArray& rate,
                        int first, int last, double k, double t, double deadTime, double y0,
                        double ts);
