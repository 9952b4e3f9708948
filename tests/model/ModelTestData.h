// Step-response records for the identification tests: a first-order process with dead time
// driven by a step of U and MV, optionally noisy, with an outer process behind it.
#pragma once

#include <cmath>
#include <memory>
#include <random>

#include "data/MeasurementStore.h"
#include "data/NumericHelpers.h"

namespace modeltest {

struct Process {
  double Gain = 2;
  double Alpha = std::exp(-1.0 / 20);  // y[k] = a*y[k-1] + (1-a)*K*u[k-delay]
  int Delay = 6;
};

struct Record {
  int Samples = 200;
  double SampleTime = 1;
  int StepAt = 20;       // first sample of the new level
  double Before = 0, After = 1;
  Process Inner;
  bool HasOuter = false;
  Process Outer{1.5, std::exp(-1.0 / 40), 10};
  double Noise = 0;  // standard deviation of white noise on Y1 and Y2
  unsigned Seed = 1;
  double FilterTime = 0;
};

// Raw columns 1, 3, 5, 6 as an experiment records them, and the conditioned signals as the
// processing page computes them with the given filter time (no actuator limits reached).
inline std::unique_ptr<MeasurementStore> MakeStore(const Record& r) {
  auto s = std::make_unique<MeasurementStore>();
  s->SampleTime = r.SampleTime;
  s->SampleCount = r.Samples;
  s->ColumnCount = 6;
  std::mt19937 rng(r.Seed);
  std::normal_distribution<double> noise(0.0, r.Noise > 0 ? r.Noise : 1.0);
  double y1 = 0, y2 = 0;
  SampleArray y1Clean{};
  auto u = [&](int k) { return k >= r.StepAt ? r.After : r.Before; };
  for (int k = 1; k <= r.Samples; ++k) {
    const double uk = k - r.Inner.Delay >= 1 ? u(k - r.Inner.Delay) : r.Before;
    y1 = r.Inner.Alpha * y1 + (1 - r.Inner.Alpha) * r.Inner.Gain * uk;
    if (k == 1) y1 = r.Inner.Gain * r.Before;
    y1Clean[k] = y1;
    const double y1k = k - r.Outer.Delay >= 1 ? y1Clean[k - r.Outer.Delay] : y1Clean[1];
    y2 = k == 1 ? r.Outer.Gain * y1k : r.Outer.Alpha * y2 + (1 - r.Outer.Alpha) * r.Outer.Gain * y1k;
    s->TimeColumn[k] = (k - 1) * r.SampleTime;
    s->DataColumns[1][k] = s->DataColumns[2][k] = u(k);
    s->DataColumns[3][k] = s->DataColumns[4][k] = u(k);
    s->DataColumns[5][k] = y1 + (r.Noise > 0 ? noise(rng) : 0.0);
    s->DataColumns[6][k] = r.HasOuter ? y2 + (r.Noise > 0 ? noise(rng) : 0.0) : 0.0;
  }
  const int n = r.Samples;
  FirstOrderResponse(s->DataColumns[1], s->MVConditioned, s->FilterRate, 1, n, 1, 0, 0,
                     s->DataColumns[1][1], r.SampleTime);
  FirstOrderResponse(s->DataColumns[3], s->UConditioned, s->FilterRate, 1, n, 1, r.FilterTime, 0,
                     s->DataColumns[3][1], r.SampleTime);
  FirstOrderResponse(s->DataColumns[5], s->Y1Conditioned, s->FilterRate, 1, n, 1, r.FilterTime,
                     0, s->DataColumns[5][1], r.SampleTime);
  FirstOrderResponse(s->DataColumns[6], s->Y2Conditioned, s->FilterRate, 1, n, 1, r.FilterTime,
                     0, s->DataColumns[6][1], r.SampleTime);
  return s;
}

// A long noisy step with an outer process at 0.1 s sampling (inner T 30 s, L 4 s; outer
// T 60 s, L 10 s): the identification's largest windows, in the golden test and the
// benchmark.
inline std::unique_ptr<MeasurementStore> LongNoisyStep(int samples) {
  Record r;
  r.Samples = samples;
  r.SampleTime = 0.1;
  r.StepAt = 200;
  r.Inner.Alpha = std::exp(-0.1 / 30);
  r.Inner.Delay = 40;
  r.HasOuter = true;
  r.Outer.Alpha = std::exp(-0.1 / 60);
  r.Outer.Delay = 100;
  r.Noise = 0.01;
  r.FilterTime = 0.5;
  return MakeStore(r);
}

}  // namespace modeltest
