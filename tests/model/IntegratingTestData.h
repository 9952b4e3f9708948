// Step-response records of an integrating process (a tank level): y' = k'*x(t - L), x the
// output of a lag T driven by U, sampled exactly for the held input; optionally noisy.
#pragma once

#include <cmath>
#include <memory>
#include <random>

#include "data/MeasurementStore.h"
#include "data/NumericHelpers.h"

namespace modeltest {

struct LevelRecord {
  int Samples = 300;
  double SampleTime = 1;
  int StepAt = 20;
  double Step = 5;      // % of U
  double Slope = 0.02;  // k', level units per second per % of U
  double Lag = 0;       // s
  int Delay = 8;        // dead time in samples
  double Noise = 0;
  unsigned Seed = 7;
};

inline std::unique_ptr<MeasurementStore> MakeLevelStore(const LevelRecord& r) {
  auto s = std::make_unique<MeasurementStore>();
  s->SampleTime = r.SampleTime;
  s->SampleCount = r.Samples;
  s->ColumnCount = 6;
  std::mt19937 rng(r.Seed);
  std::normal_distribution<double> noise(0.0, r.Noise > 0 ? r.Noise : 1.0);
  const double h = r.SampleTime;
  const double a = r.Lag > 0 ? std::exp(-h / r.Lag) : 0;
  auto u = [&](int k) { return k >= r.StepAt ? r.Step : 0.0; };
  double x = 0, y = 0;
  for (int k = 1; k <= r.Samples; ++k) {
    s->TimeColumn[k] = (k - 1) * h;
    s->DataColumns[1][k] = s->DataColumns[2][k] = u(k);
    s->DataColumns[3][k] = s->DataColumns[4][k] = u(k);
    s->DataColumns[5][k] = 40 + y + (r.Noise > 0 ? noise(rng) : 0.0);
    // Over [t_k, t_k+1) the lag sees the held input of sample k - Delay.
    const double v = k - r.Delay >= 1 ? u(k - r.Delay) : 0.0;
    y += r.Slope * (v * h - (v - x) * r.Lag * (1 - a));
    x = a * x + (1 - a) * v;
  }
  const int n = r.Samples;
  for (int c : {1, 3, 5, 6})
    FirstOrderResponse(s->DataColumns[c],
                       c == 1   ? s->MVConditioned
                       : c == 3 ? s->UConditioned
                       : c == 5 ? s->Y1Conditioned
                                : s->Y2Conditioned,
                       s->FilterRate, 1, n, 1, 0, 0, s->DataColumns[c][1], h);
  return s;
}

}  // namespace modeltest
