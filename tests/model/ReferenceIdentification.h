// The identification written the straightforward way, rule by rule: every candidate delay
// is filtered, fitted and simulated on its own with the store's work arrays. O(n^2) and
// slow; the fast identification of the program is checked against it (and timed against
// it by vortuner_bench).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "data/MeasurementStore.h"
#include "data/NumericHelpers.h"
#include "data/TObdelava.h"

namespace reference {

struct Fit {
  double K = 0, T = 0, SK = 0, ST = 0;
};
struct Entry {
  double E = 0;
  Fit F;
  int D = 0;
};
struct Model {
  double Gain = 0, TimeConstant = 0, DeadTime = 0, StdDev = 0, RelativeError = 0,
         GainBound = 0, TimeBound = 0;
};

inline Fit Solve(double suu, double sud, double suz, double sdz, double b1, double b2) {
  const double d = suu * sdz - sud * suz;
  const double g = d == 0 ? 1e15 : 1 / d;
  const double p11 = sdz * g, p12 = sud * g, p21 = suz * g, p22 = suu * g;
  Fit f{p11 * b1 + p12 * b2, p21 * b1 + p22 * b2, std::sqrt(std::fabs(p11)),
        std::sqrt(std::fabs(p22))};
  if (f.T < 0) f.T = 0;
  return f;
}

inline Fit LeastSquares(const SampleArray& u, const SampleArray& d, const SampleArray& y, int n) {
  double suu = 0, sud = 0, sdd = 0, b1 = 0, b2 = 0;
  for (int i = 1; i <= n; ++i) {
    suu += u[i] * u[i];
    sud += u[i] * d[i];
    sdd += d[i] * d[i];
    b1 += u[i] * y[i];
    b2 += d[i] * y[i];
  }
  return Solve(suu, sud, sud, sdd, b1, -b2);
}

inline Fit InstrumentalVariable(const SampleArray& u, const SampleArray& d, const SampleArray& y,
                                const SampleArray& z, int n) {
  double suu = 0, sud = 0, suz = 0, sdz = 0, b1 = 0, b2 = 0;
  for (int i = 1; i <= n; ++i) {
    suu += u[i] * u[i];
    sud += u[i] * d[i];
    suz += u[i] * z[i];
    sdz += d[i] * z[i];
    b1 += u[i] * y[i];
    b2 += z[i] * y[i];
  }
  return Solve(suu, sud, suz, sdz, b1, -b2);
}

// One pass of instrumental variables from the model f at delay d samples: the instrument is
// the filtered response of the model itself. Uses the work arrays of s and Yh as scratch.
inline Fit InstrumentalVariablePass(MeasurementStore& s, const SampleArray& x,
                                    const SampleArray& y, SampleArray& Yh, const Fit& f, int d,
                                    int n, double ts) {
  FirstOrderResponse(x, Yh, s.FilterRate, 1, n, f.K, f.T, d * ts, 0, ts);
  FirstOrderResponse(Yh, s.FilterRate, s.InstrumentRate, 1, n, 1, f.T, 0, 0, ts);
  FirstOrderResponse(x, s.FilteredInput, s.FilterRate, 1, n, 1, f.T, d * ts, 0, ts);
  FirstOrderResponse(y, s.FilteredOutput, s.FilteredOutputRate, 1, n, 1, f.T, 0, 0, ts);
  return InstrumentalVariable(s.FilteredInput, s.FilteredOutputRate, s.FilteredOutput,
                              s.InstrumentRate, n);
}

// What the stages of one identification decided, for tests that must know which one won.
struct Stages {
  bool MatchedTripleWon = false;  // the triple refitted with matched filters beat the sweeps
  std::array<int, 3> InstrumentDelays{};  // the delays the instrumental variables ran at
};

// One model from input x and output y into measured M and model response Yh.
inline Model IdentifyOne(MeasurementStore& s, const SampleArray& x, const SampleArray& y,
                         SampleArray& M, SampleArray& Yh, int n, double ts, double tf,
                         Stages* stages = nullptr) {
  auto F = [&](const SampleArray& in, SampleArray& out, SampleArray& rate, double k, double t,
               double l) { FirstOrderResponse(in, out, rate, 1, n, k, t, l, 0, ts); };
  auto score = [&](const Fit& f, int d) {
    F(x, Yh, s.FilterRate, f.K, f.T, d * ts);
    return MeanSquaredError(M, Yh, n);
  };
  F(y, M, s.FilterRate, 1, 0, 0);

  std::vector<Entry> table(MaxSamples + 1);
  std::vector<double> errors(MaxSamples + 1);
  Entry best;
  std::array<Entry, 3> triple;
  auto sweep = [&](double tfilt) {
    F(y, s.FilteredOutput, s.FilteredOutputRate, 1, tfilt, 0);
    for (int d = 0; d <= n - 2; ++d) {
      F(x, s.FilteredInput, s.FilterRate, 1, tfilt, d * ts);
      const Fit f = LeastSquares(s.FilteredInput, s.FilteredOutputRate, s.FilteredOutput, n);
      table[d + 1] = Entry{score(f, d), f, d};
      errors[d + 1] = table[d + 1].E;
    }
    const MinMaxResult mm = FindMinMax(errors, 1, n - 2);
    const int index = mm.MinimumIndex;
    Entry b = table[index];
    b.E = mm.Minimum;
    b.D = index - 1;
    std::array<Entry, 3> t;
    for (int i = 0; i < 3; ++i) {
      const int c = std::max(index - 1 + i, 1);
      t[i] = table[c];
      t[i].D = c - 1;
    }
    return std::make_pair(b, t);
  };
  auto smallest = [](const std::array<Entry, 3>& c) {
    int b = 0;
    for (int i = 1; i < 3; ++i)
      if (c[i].E < c[b].E) b = i;
    return b;
  };

  std::tie(best, triple) = sweep(tf);
  if (auto [b, t] = sweep(best.F.T); b.E < best.E) {
    best = b;
    triple = t;
  }

  std::array<Entry, 3> r;
  for (int i = 0; i < 3; ++i) {
    F(x, s.FilteredInput, s.FilterRate, 1, triple[i].F.T, triple[i].D * ts);
    F(y, s.FilteredOutput, s.FilteredOutputRate, 1, triple[i].F.T, 0);
    const Fit f = LeastSquares(s.FilteredInput, s.FilteredOutputRate, s.FilteredOutput, n);
    r[i] = Entry{score(f, triple[i].D), f, triple[i].D};
  }
  if (const int i = smallest(r); r[i].E < best.E) {
    best = r[i];
    triple = r;
    if (stages) stages->MatchedTripleWon = true;
  }

  for (int i = 0; i < 3; ++i) {
    Fit f = triple[i].F;
    const int dm = triple[i].D;
    if (stages) stages->InstrumentDelays[i] = dm;
    for (int pass = 0; pass < 2; ++pass) f = InstrumentalVariablePass(s, x, y, Yh, f, dm, n, ts);
    r[i] = Entry{score(f, dm), f, dm};
  }
  if (const int i = smallest(r); r[i].E < best.E) best = r[i];

  F(x, Yh, s.FilterRate, best.F.K, best.F.T, best.D * ts);
  double se = 0, se2 = 0, sm = 0, sm2 = 0;
  for (int i = 1; i <= n; ++i) {
    const double e = Yh[i] - M[i];
    se += e;
    se2 += e * e;
    sm += M[i];
    sm2 += M[i] * M[i];
  }
  const double nn1 = double(n) * (n - 1);
  const double std2 = nn1 == 0 ? 0 : std::max(0.0, (n * se2 - se * se) / nn1);
  const double v = (n * sm2 - sm * sm) / (double(n) * n);
  Model m;
  m.StdDev = std::sqrt(std2);
  m.RelativeError = std::sqrt(v > 0 ? MeanSquaredError(M, Yh, n) / v : 1.0);
  m.Gain = best.F.K;
  m.TimeConstant = best.F.T;
  m.DeadTime = best.D * ts;
  m.GainBound = best.F.SK * m.StdDev;
  m.TimeBound = best.F.ST * m.StdDev;
  return m;
}

struct Result {
  Model Inner, Outer;
};

// Level removal and both models over start..end, as the program's IdentifyModel does;
// innerStages, when given, receives the decisions of the inner model's stages.
inline Result IdentifyModel(MeasurementStore& s, int start, int end,
                            Stages* innerStages = nullptr) {
  const int n = end - start + 1;
  const double tf = 0.05 * (s.TimeColumn[end] - s.TimeColumn[start]);
  TObdelava::RemoveInitialLevel(s, start, end);
  Result r;
  r.Inner = IdentifyOne(s, s.UDeviation, s.Y1Deviation, s.InnerMeasured, s.InnerModelResponse, n,
                        s.SampleTime, tf, innerStages);
  r.Outer = IdentifyOne(s, s.Y1Deviation, s.Y2Deviation, s.OuterMeasured, s.OuterModelResponse,
                        n, s.SampleTime, tf);
  return r;
}

}  // namespace reference
