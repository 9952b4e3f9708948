#include "data/StepTest.h"

#include <algorithm>
#include <cmath>

#include "data/NumericHelpers.h"

namespace {

double Mean(std::span<const double> y) {
  double sum = 0;
  for (double v : y) sum += v;
  return y.empty() ? 0 : sum / static_cast<double>(y.size());
}

// The level at a phase's end: the mean of its last quarter (at least one sample).
double EndLevel(std::span<const double> phase) {
  const std::size_t quarter = std::max<std::size_t>(1, phase.size() / 4);
  return Mean(phase.last(quarter));
}

}  // namespace

StepTestFindings JudgeStepTest(std::span<const double> mv, std::span<const double> y,
                               bool integrating) {
  StepTestFindings f;
  const std::size_t n = std::min(mv.size(), y.size());
  std::vector<std::size_t> steps;  // the first sample of each phase after a change of MV
  for (std::size_t k = 1; k < n; ++k)
    if (mv[k] != mv[k - 1]) steps.push_back(k);
  f.Steps = static_cast<int>(steps.size());
  if (steps.empty()) return f;

  const std::span<const double> before = y.first(steps[0]);
  if (before.size() >= 4) f.Noise = LineThrough(before).Scatter;
  double upGains = 0, downGains = 0;
  int ups = 0, downs = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const std::size_t first = steps[i], last = i + 1 < steps.size() ? steps[i + 1] : n;
    const std::size_t previous = i == 0 ? 0 : steps[i - 1];
    const std::span<const double> phase = y.subspan(first, last - first);
    const double response = EndLevel(phase) - EndLevel(y.subspan(previous, first - previous));
    if (i == 0) {
      f.FirstResponse = response;
      f.TooSmall = f.Noise > 0 && std::abs(response) < 5 * f.Noise;
    }
    if (!integrating && phase.size() >= 8) {
      const std::span<const double> tail = phase.last(std::max<std::size_t>(3, phase.size() / 4));
      const double moved = std::abs(LineThrough(tail).Slope) * static_cast<double>(tail.size());
      if (moved > 0.05 * std::abs(response) && moved > 3 * f.Noise)
        f.Unsettled.push_back(static_cast<int>(i) + 1);
    }
    const double change = mv[first] - mv[first - 1];
    if (change > 0) upGains += response / change, ++ups;
    if (change < 0) downGains += response / change, ++downs;
  }
  if (ups > 0 && downs > 0) {
    f.GainUp = upGains / ups;
    f.GainDown = downGains / downs;
    f.GainsDiffer =
        std::abs(f.GainUp - f.GainDown) > std::min(std::abs(f.GainUp), std::abs(f.GainDown)) / 3;
  }
  return f;
}
