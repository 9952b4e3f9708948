#include "data/NumericHelpers.h"

#include <algorithm>
#include <cmath>
#include <limits>

int RoundToInt(double x) {
  const double r = std::nearbyint(x);  // default rounding mode: ties to even
  if (!(r > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  if (!(r < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  return static_cast<int>(r);
}

MinMaxResult FindMinMax(std::span<const double> values, int first, int last) {
  MinMaxResult r;
  r.MaximumIndex = first;
  r.MinimumIndex = first;
  if (first >= last) return r;
  r.Maximum = r.Minimum = values[first];
  for (int k = first + 1; k <= last; ++k) {
    if (values[k] > r.Maximum) {
      r.Maximum = values[k];
      r.MaximumIndex = k;
    } else if (values[k] < r.Minimum) {
      r.Minimum = values[k];
      r.MinimumIndex = k;
    }
  }
  return r;
}

StraightLine LineThrough(std::span<const double> y) {
  StraightLine l;
  const std::size_t n = y.size();
  if (n == 0) return l;
  l.Middle = (static_cast<double>(n) - 1) / 2;
  for (double v : y) l.Mean += v;
  l.Mean /= static_cast<double>(n);
  if (n < 3) return l;
  double sxx = 0, sxy = 0;
  for (std::size_t k = 0; k < n; ++k) {
    sxx += (k - l.Middle) * (k - l.Middle);
    sxy += (k - l.Middle) * (y[k] - l.Mean);
  }
  l.Slope = sxy / sxx;
  double residuals = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double e = y[k] - l.Mean - l.Slope * (k - l.Middle);
    residuals += e * e;
  }
  l.Scatter = std::sqrt(residuals / static_cast<double>(n - 2));
  l.SlopeError = std::sqrt(residuals / static_cast<double>(n - 2) / sxx);
  return l;
}

Extremes MinMaxOfRange(std::span<const double> values, int first, int last) {
  if (first >= last) return {};
  Extremes e{values[first], values[first]};
  for (int k = first + 1; k <= last; ++k) {
    e.Maximum = std::max(e.Maximum, values[k]);
    e.Minimum = std::min(e.Minimum, values[k]);
  }
  return e;
}

double MeanSquaredError(std::span<const double> a, std::span<const double> b, int n) {
  double sum = 0;
  for (int i = 1; i <= n; ++i) {
    const double e = a[i] - b[i];
    sum += e * e;
  }
  return SafeDivide(sum, n, sum);
}

void ActuatorModel(std::span<const double> input, std::span<double> output, int n, double ts,
                   double fullStrokeTime, double minimum, double maximum) {
  if (n < 1) return;
  const double step = fullStrokeTime == 0.0 ? maximum - minimum
                                            : (maximum - minimum) * ts / fullStrokeTime;
  output[1] = Clamp(input[1], minimum, maximum);
  for (int k = 2; k <= n; ++k) {
    const double p = Clamp(output[k - 1], minimum, maximum);
    const double q = Clamp(input[k], minimum, maximum);
    if (p + step < q)
      output[k] = p + step;
    else if (p - step > q)
      output[k] = p - step;
    else
      output[k] = q;
  }
}

void FirstOrderResponse(std::span<const double> input, std::span<double> output,
                        std::span<double> rate, double k, double t, double deadTime, double y0,
                        double ts) {
  const int n = static_cast<int>(output.size());
  if (n < 1) return;
  const double g = ts == 0.0 ? 1.0 : 1.0 / ts;
  const int d = std::max(0, RoundToInt(ts == 0.0 ? deadTime : deadTime / ts));
  const double a = t <= 0.01 * ts ? 0.0 : std::exp(-ts / t);
  const double beta = (1.0 - a) * g;
  // Samples 1..d hold the start value (j = k - 1 below).
  const int held = std::min(d, n);
  for (int j = 0; j < held; ++j) {
    output[j] = y0;
    rate[j] = 0;
  }
  if (d >= n) return;
  output[d] = y0;
  rate[d] = beta * (k * input[0] - output[d]);
  for (int j = d + 1; j < n; ++j) {
    output[j] = output[j - 1] + ts * rate[j - 1];
    rate[j] = beta * (k * input[j - d] - output[j]);
  }
}

void FirstOrderResponse(const SampleArray& input, SampleArray& output, SampleArray& rate,
                        int first, int last, double k, double t, double deadTime, double y0,
                        double ts) {
  const int n = std::min(last - first + 1, MaxSamples);
  if (n < 1 || first < 1 || first + n - 1 > MaxSamples) return;
  FirstOrderResponse(std::span<const double>(input).subspan(first, n),
                     std::span<double>(output).subspan(1, n), std::span<double>(rate).subspan(1, n),
                     k, t, deadTime, y0, ts);
}
