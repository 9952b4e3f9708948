#include "model/IntegratingModel.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

#include "data/NumberFormat.h"
#include "data/NumericHelpers.h"

void IntegratedInput(const SampleArray& x, int n, double ts, SampleArray& out) {
  if (n < 1) return;
  out[1] = 0;
  for (int k = 2; k <= n; ++k) out[k] = out[k - 1] + ts * x[k - 1];
}

KindChoice ChooseProcessKind(double t, double rSelf, double rInt, double window, char sep) {
  KindChoice c;
  const auto num = [sep](double v, int d) { return FormatFixed(v, d, sep); };
  if (!(std::isfinite(rInt) && rInt < 1)) {
    c.Reason = "Integrirni model se ne ujema z meritvijo.";
    return c;
  }
  // Neither model explains half the measurement's variance: what is measured is no
  // response to the step (noise, another cause), and no kind follows from it.
  if (rSelf >= NoResponseError && rInt >= NoResponseError) {
    c.NoResponse = true;
    c.Reason = "Meritev se na skok ne odzove (relativni pogrešek obeh modelov " + num(rSelf, 2) +
               " in " + num(rInt, 2) + "): vrste procesa ni mogoče določiti.";
    return c;
  }
  if (window > 0 && t > 5 * window) {
    c.Kind = ProcessKind::Integrating;
    c.Reason = "Časovna konstanta samoizravnalnega modela (" + num(t, 0) +
               " s) presega pet dolžin okna (" + num(window, 0) + " s): odziv se v oknu ne umiri.";
    return c;
  }
  if (rInt <= rSelf) {
    c.Kind = ProcessKind::Integrating;
    c.Reason = "Integrirni model se z meritvijo ujema enako dobro ali bolje (relativni pogrešek " +
               num(rInt, 4) + " proti " + num(rSelf, 4) + ").";
    return c;
  }
  c.Reason = "Samoizravnalni model se z meritvijo ujema bolje (relativni pogrešek " +
             num(rSelf, 4) + " proti " + num(rInt, 4) + ").";
  return c;
}

KindChoice ChooseProcessKind(const MeasurementStore& s, bool outer, char separator) {
  const int n = std::clamp(s.ModelWindowSamples, 0, MaxSamples);
  const double window = n > 0 ? s.WindowTime[n] - s.WindowTime[1] : 0;
  return outer ? ChooseProcessKind(s.OuterTimeConstant, s.OuterRelativeError,
                                   s.OuterIntegrating.RelativeError, window, separator)
               : ChooseProcessKind(s.InnerTimeConstant, s.InnerRelativeError,
                                   s.InnerIntegrating.RelativeError, window, separator);
}

const char* ProcessKindKey(ProcessKind kind) {
  return kind == ProcessKind::Integrating ? "integrating" : "self-regulating";
}

const char* ProcessKindText(ProcessKind kind) {
  return kind == ProcessKind::Integrating ? "integrirni" : "samoizravnalni";
}

ProcessKind ParseProcessKind(const std::string& text) {
  if (text == "integrating" || text == "integrirni") return ProcessKind::Integrating;
  if (text == "self-regulating" || text == "samoizravnalni") return ProcessKind::SelfRegulating;
  throw std::invalid_argument("'" + text + "' ni vrsta procesa (self-regulating ali integrating)");
}

void IntegratingResponse(const SampleArray& x, int n, double ts, const IntegratingModel& m,
                         SampleArray& response, SampleArray& rate) {
  auto integral = std::make_unique<SampleArray>();
  IntegratedInput(x, n, ts, *integral);
  FirstOrderResponse(*integral, response, rate, 1, n, m.Slope, m.Lag, m.DeadTime, 0.0, ts);
}

ProcessKind KindOf(const MeasurementStore& s, bool outer) {
  return outer ? s.OuterKind : s.InnerKind;
}

double ShownDeadTime(const MeasurementStore& s, bool outer) {
  if (KindOf(s, outer) == ProcessKind::Integrating)
    return (outer ? s.OuterIntegrating : s.InnerIntegrating).DeadTime;
  return outer ? s.OuterDeadTime : s.InnerDeadTime;
}

double ShownRelativeError(const MeasurementStore& s, bool outer) {
  if (KindOf(s, outer) == ProcessKind::Integrating)
    return (outer ? s.OuterIntegrating : s.InnerIntegrating).RelativeError;
  return outer ? s.OuterRelativeError : s.InnerRelativeError;
}

void SetProcessKind(MeasurementStore& s, bool outer, ProcessKind kind) {
  (outer ? s.OuterKind : s.InnerKind) = kind;
}

const SampleArray& ShownModelResponse(const MeasurementStore& s, bool outer) {
  if (KindOf(s, outer) == ProcessKind::Integrating)
    return outer ? s.OuterIntegratingResponse : s.InnerIntegratingResponse;
  return outer ? s.OuterModelResponse : s.InnerModelResponse;
}

void ComputeIntegratingResponses(MeasurementStore& s) {
  const int n = std::clamp(s.ModelWindowSamples, 0, MaxSamples);
  IntegratingResponse(s.UDeviation, n, s.SampleTime, s.InnerIntegrating, s.InnerIntegratingResponse,
                      s.FilterRate);
  IntegratingResponse(s.Y1Deviation, n, s.SampleTime, s.OuterIntegrating,
                      s.OuterIntegratingResponse, s.FilterRate);
}

void ApplyIntegratingParameters(MeasurementStore& s, bool outer, double slope, double lag,
                                double deadTime) {
  IntegratingModel& m = outer ? s.OuterIntegrating : s.InnerIntegrating;
  m.Slope = slope;
  m.Lag = lag;
  m.DeadTime = deadTime;
  SetProcessKind(s, outer, ProcessKind::Integrating);
  const int n = std::clamp(s.ModelWindowSamples, 0, MaxSamples);
  SampleArray& response = outer ? s.OuterIntegratingResponse : s.InnerIntegratingResponse;
  IntegratingResponse(outer ? s.Y1Deviation : s.UDeviation, n, s.SampleTime, m, response,
                      s.FilterRate);
  const ErrorFigures f = TModel::ErrorOf(outer ? s.OuterMeasured : s.InnerMeasured, response, n);
  m.StdDev = f.StdDev;
  m.RelativeError = f.RelativeError;
}

IntegratingModel IntegratingFromEstimate(const ModelEstimate& e) {
  return {e.Gain, e.TimeConstant, e.DeadTime, e.StdDev, e.RelativeError, e.GainBound, e.TimeBound};
}
