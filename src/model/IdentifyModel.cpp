#include "model/IdentifyModel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <exception>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "data/NumericHelpers.h"
#include "data/TObdelava.h"
#include "model/IntegratingModel.h"
#include "model/TModel.h"

namespace {

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

// Both models of both kinds from the store's UDeviation, Y1Deviation and Y2Deviation
// (samples 1..n): writes InnerMeasured, OuterMeasured, the first-order and integrating
// model responses, and the model values once all four fits are done. The fits run in
// parallel; a first-order model that is not finite throws and leaves the model values as
// they were.
void IdentifyBothKinds(MeasurementStore& store, int n, double ts, double filterTime) {
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
        *jobs[j].second = TModel::IdentifyOne(*jobs[j].first, n, ts, filterTime);
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
    const ErrorFigures figures = TModel::ErrorOf(*measured, *response, n);
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

}  // namespace

void IdentifyModel(MeasurementStore& store, int start, int end) {
  if (start < 1 || end > MaxSamples || end - start < 1)
    throw std::invalid_argument("Okno za izračun modela (" + std::to_string(start) + ".." +
                                std::to_string(end) + ") mora ležati med 1 in " +
                                std::to_string(MaxSamples) + " in obsegati vsaj dva vzorca");
  const int n = end - start + 1;
  const double ts = store.SampleTime;
  const double filterTime = 0.05 * (store.TimeColumn[end] - store.TimeColumn[start]);
  TObdelava::RemoveInitialLevel(store, start, end);
  IdentifyBothKinds(store, n, ts, filterTime);
  store.ModelWindowSamples = n;
  store.InnerDelaySamples = DelaySamples(store.InnerDeadTime, ts);
  store.OuterDelaySamples = DelaySamples(store.OuterDeadTime, ts);
  store.ModelSource = "model, identificiran iz zapisa (vzorci " + std::to_string(start) + " do " +
                      std::to_string(end) + ")";
  // The kind of each process by the stated rule; the delay counts are the dead times of the
  // models of that kind.
  for (const bool outer : {false, true})
    SetProcessKind(store, outer, ChooseProcessKind(store, outer, '.').Kind);
  store.InnerDelaySamples = DelaySamples(ShownDeadTime(store, false), ts);
  store.OuterDelaySamples = DelaySamples(ShownDeadTime(store, true), ts);
}

void ApplyModelParameters(MeasurementStore& store, bool outer, double gain, double timeConstant,
                          double deadTime) {
  const int n = std::clamp(store.ModelWindowSamples, 0, MaxSamples);
  SampleArray& response = outer ? store.OuterModelResponse : store.InnerModelResponse;
  const SampleArray& measured = outer ? store.OuterMeasured : store.InnerMeasured;
  FirstOrderResponse(outer ? store.Y1Deviation : store.UDeviation, response, store.FilterRate, 1, n,
                     gain, timeConstant, deadTime, 0.0, store.SampleTime);
  const ErrorFigures figures = TModel::ErrorOf(measured, response, n);
  if (outer) {
    store.OuterGain = gain;
    store.OuterTimeConstant = timeConstant;
    store.OuterDeadTime = deadTime;
    store.OuterStdDev = figures.StdDev;
    store.OuterRelativeError = figures.RelativeError;
  } else {
    store.InnerGain = gain;
    store.InnerTimeConstant = timeConstant;
    store.InnerDeadTime = deadTime;
    store.InnerStdDev = figures.StdDev;
    store.InnerRelativeError = figures.RelativeError;
  }
}

ModelQuality QualityOf(double r) {
  if (r < 0.01) return ModelQuality::VeryGood;
  if (r < 0.05) return ModelQuality::Good;
  if (r < 0.12) return ModelQuality::Poor;
  return ModelQuality::Bad;
}

const char* QualityText(ModelQuality quality) {
  switch (quality) {
    case ModelQuality::VeryGood: return "Zelo dobra";
    case ModelQuality::Good: return "Dobra";
    case ModelQuality::Poor: return "Slabsa";
    case ModelQuality::Bad: break;
  }
  return "Slaba";
}

bool SamplingTooSparse(const MeasurementStore& store) {
  const double limit = 3 * store.SampleTime;
  // The time constant plus dead time of the model in use: for an integrating one its lag.
  const auto span = [](ProcessKind kind, double t, double l, const IntegratingModel& m) {
    return kind == ProcessKind::Integrating ? m.Lag + m.DeadTime : t + l;
  };
  // A record without Y2 has no outer model to sample for: Y2 is Y1 itself (the column
  // selector of a record of fewer than six columns stops on Y1's), or a record of fewer
  // than six columns gave an empty outer model.
  const int n = std::clamp(store.ModelWindowSamples, 0, MaxSamples);
  const bool y2IsY1 =
      n > 0 && std::equal(store.Y1Deviation.begin() + 1, store.Y1Deviation.begin() + 1 + n,
                          store.Y2Deviation.begin() + 1);
  const bool noY2 =
      y2IsY1 || (store.ColumnCount >= 1 && store.ColumnCount < 6 && store.OuterGain == 0 &&
                 store.OuterTimeConstant == 0 && store.OuterDeadTime == 0);
  return limit >= RoundToInt(span(store.InnerKind, store.InnerTimeConstant, store.InnerDeadTime,
                                  store.InnerIntegrating)) ||
         (!noY2 && limit >= RoundToInt(span(store.OuterKind, store.OuterTimeConstant,
                                            store.OuterDeadTime, store.OuterIntegrating)));
}

int DelaySamples(double deadTime, double ts) {
  return RoundToInt(ts == 0.0 ? deadTime : deadTime / ts);
}
