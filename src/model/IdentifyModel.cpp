#include "model/IdentifyModel.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "data/NumericHelpers.h"
#include "data/TObdelava.h"
#include "model/IntegratingModel.h"
#include "model/TModel.h"

void IdentifyModel(MeasurementStore& store, int start, int end) {
  if (start < 1 || end > MaxSamples || end - start < 1)
    throw std::invalid_argument("Okno za izračun modela (" + std::to_string(start) + ".." +
                                std::to_string(end) + ") mora ležati med 1 in " +
                                std::to_string(MaxSamples) + " in obsegati vsaj dva vzorca");
  const int n = end - start + 1;
  const double ts = store.SampleTime;
  const double filterTime = 0.05 * (store.TimeColumn[end] - store.TimeColumn[start]);
  TObdelava::RemoveInitialLevel(store, start, end);
  TModel::Identify(store, n, ts, filterTime);
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
