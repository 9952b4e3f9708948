#include "model/TModel.h"

#include <array>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "data/NumericHelpers.h"
#include "model/DelaySweep.h"

namespace {

// The scratch of one model's identification, so that both models can run at once.
struct WorkArrays {
  SampleArray filteredInput, filteredOutput, filteredOutputRate, instrument, instrumentRate,
      rate;
};

void ClipTimeConstant(FitResult& fit) {
  if (fit.TimeConstant < 0) fit.TimeConstant = 0;
}

// Error of the candidate (K, T, delay d): F(x; K, T, d*ts, 0) into response, against measured.
double Score(const SampleArray& x, const SampleArray& measured, SampleArray& response,
             SampleArray& rate, int n, double ts, const FitResult& fit, int d) {
  FirstOrderResponse(x, response, rate, 1, n, fit.Gain, fit.TimeConstant, d * ts, 0.0, ts);
  return MeanSquaredError(measured, response, n);
}

// The best of a sweep's table over delays 0..n-3 (indices 1..n-2) and the triple of
// neighbours around it; the first of equal errors wins.
struct SweepOutcome {
  Candidate Best;
  std::array<Candidate, 3> Triple;
};
SweepOutcome BestOfSweep(const std::vector<Candidate>& table, int n) {
  std::vector<double> errors(table.size() + 1, 0.0);
  for (size_t i = 1; i < table.size(); ++i) errors[i] = table[i].Error;
  const MinMaxResult mm = FindMinMax(errors, 1, n - 2);
  const int index = mm.MinimumIndex;
  SweepOutcome o;
  o.Best = table[static_cast<size_t>(index)];
  o.Best.Error = mm.Minimum;
  o.Best.Delay = index - 1;
  for (int i = 0; i < 3; ++i) {
    const int c = std::max(index - 1 + i, 1);
    o.Triple[i] = static_cast<size_t>(c) < table.size() ? table[static_cast<size_t>(c)]
                                                        : Candidate{};
    o.Triple[i].Delay = c - 1;
  }
  return o;
}

int FirstSmallest(const std::array<Candidate, 3>& c) {
  int best = 0;
  for (int i = 1; i < 3; ++i)
    if (c[i].Error < c[best].Error) best = i;
  return best;
}

}  // namespace

FitResult TModel::SolveFit(double suu, double sud, double suz, double sdz, double b1, double b2) {
  const double d = suu * sdz - sud * suz;
  const double g = d == 0.0 ? 1e15 : 1.0 / d;
  const double p11 = sdz * g, p12 = sud * g, p21 = suz * g, p22 = suu * g;
  FitResult r;
  r.Gain = p11 * b1 + p12 * b2;
  r.TimeConstant = p21 * b1 + p22 * b2;
  r.GainDeviation = std::sqrt(std::fabs(p11));
  r.TimeDeviation = std::sqrt(std::fabs(p22));
  return r;
}

FitResult TModel::FitLeastSquares(const SampleArray& uf, const SampleArray& ydot,
                                  const SampleArray& yf, int n) {
  double suu = 0, sud = 0, sdd = 0, b1 = 0, sdy = 0;
  for (int i = 1; i <= n; ++i) {
    suu += uf[i] * uf[i];
    sud += uf[i] * ydot[i];
    sdd += ydot[i] * ydot[i];
    b1 += uf[i] * yf[i];
    sdy += ydot[i] * yf[i];
  }
  return SolveFit(suu, sud, sud, sdd, b1, -sdy);
}

FitResult TModel::FitInstrumentalVariable(const SampleArray& uf, const SampleArray& ydot,
                                          const SampleArray& yf, const SampleArray& zdot, int n) {
  double suu = 0, sud = 0, suz = 0, sdz = 0, b1 = 0, szy = 0;
  for (int i = 1; i <= n; ++i) {
    suu += uf[i] * uf[i];
    sud += uf[i] * ydot[i];
    suz += uf[i] * zdot[i];
    sdz += ydot[i] * zdot[i];
    b1 += uf[i] * yf[i];
    szy += zdot[i] * yf[i];
  }
  return SolveFit(suu, sud, suz, sdz, b1, -szy);
}

ErrorFigures TModel::ErrorOf(const SampleArray& m, const SampleArray& yhat, int n) {
  double se = 0, se2 = 0, sm = 0, sm2 = 0;
  for (int i = 1; i <= n; ++i) {
    const double e = yhat[i] - m[i];
    se += e;
    se2 += e * e;
    sm += m[i];
    sm2 += m[i] * m[i];
  }
  const double nn = n;
  const double nn1 = nn * (nn - 1);
  // Rounding can leave a tiny negative variance where the true one is 0.
  const double errorVariance = nn1 == 0 ? 0.0 : std::max(0.0, (nn * se2 - se * se) / nn1);
  const double measuredVariance = (nn * sm2 - sm * sm) / (nn * nn);
  const double quotient =
      measuredVariance > 0 ? MeanSquaredError(m, yhat, n) / measuredVariance : 1.0;
  return ErrorFigures{std::sqrt(errorVariance), std::sqrt(quotient)};
}

ModelEstimate TModel::IdentifyOne(const ModelSignals& s, int n, double ts, double filterTime) {
  auto w = std::make_unique<WorkArrays>();
  const SampleArray& x = s.Input;
  const SampleArray& y = s.Output;
  SampleArray& m = s.Measured;
  SampleArray& yhat = s.ModelResponse;

  // The measured response: y delayed by one sample, as the model's hold delays u.
  FirstOrderResponse(y, m, w->rate, 1, n, 1.0, 0.0, 0.0, 0.0, ts);

  // Sweep with the fixed filter, then with the filter matched to its best time constant.
  std::vector<Candidate> table;
  SweepDelaysForBest(x, y, m, n, ts, filterTime, -1, table);
  SweepOutcome sweep = BestOfSweep(table, n);
  Candidate best = sweep.Best;
  std::array<Candidate, 3> triple = sweep.Triple;
  SweepDelaysForBest(x, y, m, n, ts, best.Fit.TimeConstant, best.Delay, table);
  sweep = BestOfSweep(table, n);
  if (sweep.Best.Error < best.Error) {
    best = sweep.Best;
    triple = sweep.Triple;
  }

  // The three neighbours, each with the filter matched to its own time constant.
  std::array<Candidate, 3> refit;
  for (int i = 0; i < 3; ++i) {
    const double tm = triple[i].Fit.TimeConstant;
    const int dm = triple[i].Delay;
    FirstOrderResponse(x, w->filteredInput, w->rate, 1, n, 1.0, tm, dm * ts, 0.0, ts);
    FirstOrderResponse(y, w->filteredOutput, w->filteredOutputRate, 1, n, 1.0, tm, 0.0, 0.0, ts);
    refit[i].Fit = FitLeastSquares(w->filteredInput, w->filteredOutputRate, w->filteredOutput, n);
    ClipTimeConstant(refit[i].Fit);
    refit[i].Delay = dm;
    refit[i].Error = Score(x, m, yhat, w->rate, n, ts, refit[i].Fit, dm);
  }
  if (const int i = FirstSmallest(refit); refit[i].Error < best.Error) {
    best = refit[i];
    // The neighbours go on with their refitted gains and time constants at their own
    // delays.
    triple = refit;
  }

  // Two passes of instrumental variables from each neighbour; the instrument is the
  // filtered response of the model itself, free of the measurement's noise.
  std::array<Candidate, 3> iv;
  for (int i = 0; i < 3; ++i) {
    FitResult fit = triple[i].Fit;
    const int dm = triple[i].Delay;
    for (int pass = 0; pass < 2; ++pass) {
      const double t = fit.TimeConstant;
      FirstOrderResponse(x, yhat, w->rate, 1, n, fit.Gain, t, dm * ts, 0.0, ts);
      FirstOrderResponse(yhat, w->instrument, w->instrumentRate, 1, n, 1.0, t, 0.0, 0.0, ts);
      FirstOrderResponse(x, w->filteredInput, w->rate, 1, n, 1.0, t, dm * ts, 0.0, ts);
      FirstOrderResponse(y, w->filteredOutput, w->filteredOutputRate, 1, n, 1.0, t, 0.0, 0.0, ts);
      fit = FitInstrumentalVariable(w->filteredInput, w->filteredOutputRate, w->filteredOutput,
                                    w->instrumentRate, n);
      ClipTimeConstant(fit);
    }
    iv[i].Fit = fit;
    iv[i].Delay = dm;
    iv[i].Error = Score(x, m, yhat, w->rate, n, ts, fit, dm);
  }
  if (const int i = FirstSmallest(iv); iv[i].Error < best.Error) best = iv[i];

  // Results of the best candidate; its response stays in the model array.
  FirstOrderResponse(x, yhat, w->rate, 1, n, best.Fit.Gain, best.Fit.TimeConstant,
                     best.Delay * ts, 0.0, ts);
  const ErrorFigures figures = ErrorOf(m, yhat, n);
  ModelEstimate r;
  r.StdDev = figures.StdDev;
  r.RelativeError = figures.RelativeError;
  r.Gain = best.Fit.Gain;
  r.TimeConstant = best.Fit.TimeConstant;
  r.DeadTime = best.Delay * ts;
  r.GainBound = best.Fit.GainDeviation * r.StdDev;
  r.TimeBound = best.Fit.TimeDeviation * r.StdDev;
  return r;
}

