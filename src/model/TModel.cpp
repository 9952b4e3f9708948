#include "model/TModel.h"

#include <array>
#include <atomic>
#include <cmath>
#include <exception>
#include <memory>
#include <span>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "data/NumericHelpers.h"
#include "model/DelaySweep.h"
#include "model/IntegratingModel.h"

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

// An integrating process whose input was off balance before the step ramps already: the
// straight line through its output y over the stretch before U's first change (its
// middle a sample number), where it is a ramp while the process's input x holds still
// there (U itself for the inner process, Y1 for the outer); else a line of slope 0. The change of
// slope the step brought is the process's answer.
StraightLine RampBeforeStep(const SampleArray& u, const SampleArray& x, const SampleArray& y,
                            int n) {
  int step = 2;
  while (step <= n && u[static_cast<size_t>(step)] == u[1]) ++step;
  const int stretch = step - 1;
  if (step > n || stretch < 4) return {};
  const auto before = [stretch](const SampleArray& a) {
    return std::span<const double>(a).subspan(1, static_cast<size_t>(stretch));
  };
  const StraightLine input = LineThrough(before(x));
  if (std::abs(input.Slope) > 4 * input.SlopeError) return {};
  StraightLine output = LineThrough(before(y));
  // A ramp, not the noise of a filtered signal (whose scatter is no white noise, so the
  // slope's error alone would hold too little): clear of its error and rising by more
  // than five standard deviations of the noise about it over the stretch.
  const double rise = std::abs(output.Slope) * (stretch - 1);
  if (!(std::abs(output.Slope) > 4 * output.SlopeError && rise > 5 * output.Scatter) ||
      !std::isfinite(output.Slope))
    return {};
  output.Middle += 1;
  return output;
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

void TModel::Identify(MeasurementStore& store, int n, double ts, double filterTime) {
  const ModelSignals inner{store.UDeviation, store.Y1Deviation, store.InnerMeasured,
                           store.InnerModelResponse};
  const ModelSignals outer{store.Y1Deviation, store.Y2Deviation, store.OuterMeasured,
                           store.OuterModelResponse};
  // The integrating fits: the same identification on the integrated input, into arrays of
  // their own (the measured response they compute is the same as the first-order one's).
  // A ramp already under way before the step (the input off balance) is taken out of the
  // output they are fitted to, so that the slope is the change of slope per change of the
  // input; the drift warning still says it.
  struct IntegratingWork {
    SampleArray Input, Output, Measured;
    StraightLine Ramp;  // slope per sample; 0: none
    double At(int k) const { return Ramp.Mean + Ramp.Slope * (k - Ramp.Middle); }
  };
  auto innerWork = std::make_unique<IntegratingWork>();
  auto outerWork = std::make_unique<IntegratingWork>();
  IntegratedInput(store.UDeviation, n, ts, innerWork->Input);
  IntegratedInput(store.Y1Deviation, n, ts, outerWork->Input);
  innerWork->Ramp = RampBeforeStep(store.UDeviation, store.UDeviation, store.Y1Deviation, n);
  outerWork->Ramp = RampBeforeStep(store.UDeviation, store.Y1Deviation, store.Y2Deviation, n);
  for (auto [work, y] : {std::pair{innerWork.get(), &store.Y1Deviation},
                         std::pair{outerWork.get(), &store.Y2Deviation}})
    for (int k = 1; k <= n; ++k)
      work->Output[k] = (*y)[k] - (work->Ramp.Slope != 0 ? work->At(k) : 0);
  const ModelSignals innerIntegrating{innerWork->Input, innerWork->Output, innerWork->Measured,
                                      store.InnerIntegratingResponse};
  const ModelSignals outerIntegrating{outerWork->Input, outerWork->Output, outerWork->Measured,
                                      store.OuterIntegratingResponse};

  // The four identifications share only read-only inputs. Two hands take them one after the
  // other, this thread and one worker (one on a single-core machine): never more threads
  // than the cores a desktop gives, so none waits for another's time slice. The integrating
  // fits go first: their candidates stop later, and the shorter ones even out the end.
  ModelEstimate in, out, inInt, outInt;
  const std::array<std::pair<const ModelSignals*, ModelEstimate*>, 4> jobs{
      {{&innerIntegrating, &inInt}, {&outerIntegrating, &outInt}, {&inner, &in}, {&outer, &out}}};
  std::array<std::exception_ptr, 4> errors{};
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t j; (j = next.fetch_add(1)) < jobs.size();) {
      try {
        *jobs[j].second = IdentifyOne(*jobs[j].first, n, ts, filterTime);
      } catch (...) {
        errors[j] = std::current_exception();
      }
    }
  };
  std::thread worker;
  if (std::thread::hardware_concurrency() != 1) {
    try {
      worker = std::thread(work);
    } catch (const std::system_error&) {
      // no thread to be had: this thread does all four
    }
  }
  work();
  if (worker.joinable()) worker.join();
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
  for (const ModelEstimate* m : {&in, &out})
    for (double v : {m->Gain, m->TimeConstant, m->DeadTime, m->StdDev, m->RelativeError,
                     m->GainBound, m->TimeBound})
      if (!std::isfinite(v))
        throw std::runtime_error(
            "Model procesa ni končen: vsote vzorcev v oknu presegajo obseg števil (vzorci so "
            "preveliki). Model ni spremenjen.");
  // With the ramp taken out, the model's response carries it on (the process's answer to
  // the input as it was, off balance) and is judged against the record as measured.
  for (auto [work, estimate, response, measured] :
       {std::tuple{innerWork.get(), &inInt, &store.InnerIntegratingResponse, &store.InnerMeasured},
        std::tuple{outerWork.get(), &outInt, &store.OuterIntegratingResponse,
                   &store.OuterMeasured}}) {
    if (work->Ramp.Slope == 0) continue;
    // The measured response lags the output by one sample.
    for (int k = 2; k <= n; ++k) (*response)[k] += work->At(k - 1);
    const ErrorFigures figures = ErrorOf(*measured, *response, n);
    estimate->StdDev = figures.StdDev;
    estimate->RelativeError = figures.RelativeError;
  }
  // An integrating fit that is not finite explains nothing and is never chosen.
  for (ModelEstimate* m : {&inInt, &outInt})
    for (double v : {m->Gain, m->TimeConstant, m->DeadTime, m->StdDev, m->RelativeError,
                     m->GainBound, m->TimeBound})
      if (!std::isfinite(v)) {
        *m = ModelEstimate{};
        m->RelativeError = 1;
        break;
      }
  store.InnerIntegrating = IntegratingFromEstimate(inInt);
  store.OuterIntegrating = IntegratingFromEstimate(outInt);
  if (inInt.Gain == 0) store.InnerIntegratingResponse.fill(0);
  if (outInt.Gain == 0) store.OuterIntegratingResponse.fill(0);

  store.InnerGain = in.Gain;
  store.InnerTimeConstant = in.TimeConstant;
  store.InnerDeadTime = in.DeadTime;
  store.InnerStdDev = in.StdDev;
  store.InnerRelativeError = in.RelativeError;
  store.InnerGainBound = in.GainBound;
  store.InnerTimeBound = in.TimeBound;
  store.OuterGain = out.Gain;
  store.OuterTimeConstant = out.TimeConstant;
  store.OuterDeadTime = out.DeadTime;
  store.OuterStdDev = out.StdDev;
  store.OuterRelativeError = out.RelativeError;
  store.OuterGainBound = out.GainBound;
  store.OuterTimeBound = out.TimeBound;
}
