#include "model/LiveModel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "data/NumericHelpers.h"
#include "model/IntegratingModel.h"
#include "model/TModel.h"

namespace {

// Samples of the record kept before the step in the fitted window: enough to show the
// level, few enough that the sweep spends its time on the response.
constexpr int SamplesBeforeStep = 10;
constexpr int SamplesAfterStep = 10;

// The first sample (1-based) whose input differs from the first by more than half a percent
// of the input's range, as the level removal finds the step; 0 without one.
int StepSample(const std::vector<double>& u, int n) {
  if (n < 2) return 0;
  const auto [lo, hi] = std::minmax_element(u.begin(), u.begin() + n);
  const double h = 0.005 * (*hi - *lo);
  if (!(h > 0)) return 0;
  for (int k = 2; k <= n; ++k)
    if (std::fabs(u[static_cast<size_t>(k - 1)] - u[0]) > h) return k;
  return 0;
}

struct FitArrays {
  SampleArray Input, Output, Integrated, Measured, Response, IntegratingMeasured,
      IntegratingResponse, Lag, LagRate;
};

}  // namespace

LiveModel::LiveModel(LiveModelSettings settings) : settings_(settings) {
  record_.SampleTime = settings_.SampleTime;
  interval_ = std::max(1, settings_.MinInterval);
}

void LiveModel::AddSample(double input, double measurement) {
  if (Samples() >= MaxSamples) return;
  record_.Input.push_back(input);
  record_.Output.push_back(measurement);
  if (Samples() == 1) inputMin_ = inputMax_ = input;
  inputMin_ = std::min(inputMin_, input);
  inputMax_ = std::max(inputMax_, input);
  if (!stepSeen_ && inputMax_ > inputMin_ &&
      std::fabs(input - record_.Input.front()) > 0.005 * (inputMax_ - inputMin_)) {
    stepSeen_ = true;
    stepSample_ = Samples();
  }
}

bool LiveModel::FitDue() const {
  return stepSeen_ && Samples() - stepSample_ + 1 >= SamplesAfterStep &&
         Samples() - takenAt_ >= interval_;
}

LiveModelRecord LiveModel::TakeRecord() {
  takenAt_ = Samples();
  return record_;
}

LiveModelFit LiveModel::Fit(const LiveModelRecord& record) {
  const auto started = std::chrono::steady_clock::now();
  LiveModelFit f;
  const int total = std::min(static_cast<int>(record.Input.size()), MaxSamples);
  f.Samples = total;
  const double ts = record.SampleTime;
  f.Time = (total - 1) * ts;
  const int ks = StepSample(record.Input, total);
  if (ks == 0 || total - ks + 1 < SamplesAfterStep) return f;
  f.StepTime = (ks - 1) * ts;

  // Levels: the means before the step (the first sample alone for a step at the second).
  double su = 0, sy = 0;
  for (int k = 1; k < ks; ++k) {
    su += record.Input[static_cast<size_t>(k - 1)];
    sy += record.Output[static_cast<size_t>(k - 1)];
  }
  f.InputLevel = su / (ks - 1);
  f.OutputLevel = sy / (ks - 1);
  f.InputStep = record.Input[static_cast<size_t>(total - 1)] - f.InputLevel;

  const int start = std::max(1, ks - SamplesBeforeStep);
  const int n = total - start + 1;
  auto a = std::make_unique<FitArrays>();
  for (int i = 1; i <= n; ++i) {
    a->Input[i] = record.Input[static_cast<size_t>(start + i - 2)] - f.InputLevel;
    a->Output[i] = record.Output[static_cast<size_t>(start + i - 2)] - f.OutputLevel;
  }
  const double filterTime = 0.05 * (n - 1) * ts;
  const ModelEstimate self = TModel::IdentifyOne(
      ModelSignals{a->Input, a->Output, a->Measured, a->Response}, n, ts, filterTime);
  IntegratedInput(a->Input, n, ts, a->Integrated);
  ModelEstimate integrating = TModel::IdentifyOne(
      ModelSignals{a->Integrated, a->Output, a->IntegratingMeasured, a->IntegratingResponse}, n, ts,
      filterTime);
  bool integratingFinite = true;
  for (double v : {integrating.Gain, integrating.TimeConstant, integrating.StdDev,
                   integrating.RelativeError, integrating.GainBound, integrating.TimeBound})
    integratingFinite = integratingFinite && std::isfinite(v);
  if (!integratingFinite) {
    integrating = ModelEstimate{};
    integrating.RelativeError = 1;
  }
  const KindChoice choice = ChooseProcessKind(self.TimeConstant, self.RelativeError,
                                              integrating.RelativeError, (n - 1) * ts, '.');
  f.Kind = choice.Kind;
  f.NoResponse = choice.NoResponse;
  const bool isIntegrating = f.Kind == ProcessKind::Integrating;
  const ModelEstimate& m = isIntegrating ? integrating : self;
  const SampleArray& response = isIntegrating ? a->IntegratingResponse : a->Response;
  f.Gain = m.Gain;
  f.TimeConstant = m.TimeConstant;
  f.DeadTime = m.DeadTime;
  f.GainBound = m.GainBound;
  f.TimeBound = m.TimeBound;
  f.StdDev = m.StdDev;
  f.RelativeError = m.RelativeError;
  f.Valid = std::isfinite(f.Gain) && std::isfinite(f.TimeConstant) && std::isfinite(f.StdDev);
  f.Times.resize(static_cast<size_t>(n));
  f.Response.resize(static_cast<size_t>(n));
  // The model's response is y delayed by the hold, as the measured one: sample i of the
  // window belongs to record sample start + i - 1.
  for (int i = 1; i <= n; ++i) {
    f.Times[static_cast<size_t>(i - 1)] = (start + i - 2) * ts;
    f.Response[static_cast<size_t>(i - 1)] = f.OutputLevel + response[i];
  }
  // The lag before its dead time over the window, for the forecast: the model's response is
  // this lag's output d samples later.
  const SampleArray& lagInput = isIntegrating ? a->Integrated : a->Input;
  FirstOrderResponse(lagInput, a->Lag, a->LagRate, 1, n, f.Gain, f.TimeConstant, 0.0, 0.0, ts);
  const int d = std::min(DelaySamples(f.DeadTime, ts), n - 1);
  f.SampleTime = ts;
  f.Pending.resize(static_cast<size_t>(d + 1));
  for (int i = 0; i <= d; ++i)
    f.Pending[static_cast<size_t>(i)] = f.OutputLevel + a->Lag[n - d + i];
  f.LagEnd = a->Lag[n];
  if (isIntegrating) {
    f.LagTarget = f.Gain * a->Integrated[n];
    f.LagTargetRate = f.Gain * a->Input[n];
  } else {
    f.LagTarget = f.Gain * a->Input[n];
  }
  f.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return f;
}

double LiveModelFit::ForecastAt(double t) const {
  if (Pending.empty()) return Response.empty() ? OutputLevel : Response.back();
  const double ts = SampleTime;
  const int d = static_cast<int>(Pending.size()) - 1;
  const double tau = std::max(0.0, t - Time);
  if (tau <= d * ts) {
    // Between the pending samples: straight lines, as the charts draw them.
    if (d == 0) return Pending[0];
    const double i = tau / ts;
    const size_t k = std::min(static_cast<size_t>(i), Pending.size() - 2);
    const double w = i - static_cast<double>(k);
    return Pending[k] + w * (Pending[k + 1] - Pending[k]);
  }
  const double s = tau - d * ts;
  const double lag = TimeConstant;
  if (!(lag > 0.01 * ts)) return OutputLevel + LagTarget + LagTargetRate * s;
  // A lag following a + r*s from x0: a - r*T + r*s + (x0 - a + r*T) e^(-s/T).
  const double base = LagTarget - LagTargetRate * lag;
  return OutputLevel + base + LagTargetRate * s + (LagEnd - base) * std::exp(-s / lag);
}

std::optional<ForecastExit> FirstForecastExit(const LiveModelFit& fit, double low, double high,
                                              double from, double to) {
  if (!fit.Valid || fit.Pending.empty()) return std::nullopt;
  from = std::max(from, fit.Time);
  if (!(to >= from)) return std::nullopt;
  const auto outside = [&](double t) {
    const double y = fit.ForecastAt(t);
    return y > high || y < low;
  };
  const auto exitAt = [&](double t) { return ForecastExit{t, fit.ForecastAt(t) > high}; };
  if (outside(from)) return exitAt(from);
  // The forecast is monotone between these times: the pending samples (straight lines
  // between them), then the lag's path, which turns at most once (where its rate, r + (rate
  // at the start - r) e^(-s/T), passes zero).
  const double ts = fit.SampleTime;
  const int d = static_cast<int>(fit.Pending.size()) - 1;
  std::vector<double> knots;
  for (int i = 1; i <= d; ++i) knots.push_back(fit.Time + i * ts);
  const double lag = fit.TimeConstant;
  const double rate = fit.LagTargetRate;
  if (lag > 0.01 * ts && rate != 0) {
    const double base = fit.LagTarget - rate * lag;
    const double q = rate * lag / (fit.LagEnd - base);
    if (q > 0 && q < 1) knots.push_back(fit.Time + d * ts - lag * std::log(q));
  }
  knots.push_back(to);
  double start = from;
  for (double end : knots) {
    if (end <= start) continue;
    end = std::min(end, to);
    if (std::isinf(end)) {
      // The last piece goes on for ever: far enough out to be past the limit, if it ever is.
      double span = std::max({ts, lag, 1.0});
      while (!outside(start + span) && span < 1e12) span *= 2;
      end = start + span;
    }
    if (outside(end)) {
      double inside = start;
      for (int k = 0; k < 200 && end - inside > 1e-9 * std::max(1.0, std::fabs(end)); ++k) {
        const double mid = 0.5 * (inside + end);
        (outside(mid) ? end : inside) = mid;
      }
      return exitAt(end);
    }
    start = end;
    if (start >= to) break;
  }
  return std::nullopt;
}

bool LiveModel::ParametersStable() const {
  const int need = std::max(2, settings_.StableUpdates);
  if (static_cast<int>(history_.size()) < need) return false;
  const LiveModelFit& now = history_.back();
  // Every one of them within the latest fit's bounds of its value. The bounds come from the
  // residual alone and are narrow beside the slow drift of a fit whose record still grows, a
  // noise-free record has next to none: a percent of the value stands in for them when
  // larger, half a sample for the time constant and one sample for the dead time.
  const auto within = [&](auto value, double bound) {
    for (const LiveModelFit& h : history_)
      if (!h.Valid || h.Kind != now.Kind || std::fabs(value(h) - value(now)) > bound) return false;
    return true;
  };
  const double ts = settings_.SampleTime;
  return within([](const LiveModelFit& h) { return h.Gain; },
                std::max(now.GainBound, 0.01 * std::fabs(now.Gain))) &&
         within([](const LiveModelFit& h) { return h.TimeConstant; },
                std::max({now.TimeBound, 0.01 * now.TimeConstant, 0.5 * ts})) &&
         within([](const LiveModelFit& h) { return h.DeadTime; }, ts);
}

bool LiveModel::MeasurementInBand(const LiveModelFit& fit) const {
  const double ts = settings_.SampleTime;
  const double hold =
      settings_.HoldTime > 0 ? settings_.HoldTime : std::max(fit.TimeConstant, 10 * ts);
  const int holdSamples = static_cast<int>(std::ceil(hold / ts));
  const int last = fit.Samples;  // 1-based record sample
  const int first = last - holdSamples + 1;
  // The hold begins after the dead time has passed since the step.
  if (first < 1 || (first - 1) * ts < fit.StepTime + fit.DeadTime) return false;
  // The noise of the model is three standard deviations of its error, at least the customary
  // two percent of the response's change; as noise goes, one sample in twenty may stray
  // beyond it.
  const int allowedOutside = (last - first + 1) / 20;
  int outside = 0;
  if (fit.Kind == ProcessKind::Integrating) {
    // No final value: the measurement follows the model's ramp, and the lag has died out.
    if ((first - 1) * ts < fit.StepTime + fit.DeadTime + 4 * fit.TimeConstant) return false;
    if (static_cast<size_t>(last - first + 1) > fit.Times.size()) return false;
    const size_t offset = fit.Times.size() - static_cast<size_t>(last - first + 1);
    const double rise = std::fabs(fit.Response.back() - fit.OutputLevel);
    const double band = std::max(3 * fit.StdDev, 0.02 * rise);
    for (int k = first; k <= last; ++k) {
      const double y = record_.Output[static_cast<size_t>(k - 1)];
      if (std::fabs(y - fit.Response[offset + static_cast<size_t>(k - first)]) > band) ++outside;
    }
    return outside <= allowedOutside;
  }
  const double finalValue = fit.FinalValue();
  const double band = std::max(3 * fit.StdDev, 0.02 * std::fabs(fit.Gain * fit.InputStep));
  for (int k = first; k <= last; ++k)
    if (std::fabs(record_.Output[static_cast<size_t>(k - 1)] - finalValue) > band) ++outside;
  return outside <= allowedOutside;
}

void LiveModel::Accept(const LiveModelFit& fit) {
  if (fit.Samples < latest_.Samples) return;
  latest_ = fit;
  // The next fit after as many samples as keep its cost under the share of the period.
  const double budget = settings_.CostShare * settings_.SampleTime;
  const int byCost = budget > 0 ? static_cast<int>(std::ceil(fit.Seconds / budget)) : 1;
  interval_ = std::max({1, settings_.MinInterval, byCost});
  if (!fit.Valid) return;
  LiveModelFit summary = fit;
  summary.Times.clear();
  summary.Response.clear();
  history_.push_back(summary);
  const size_t keep = static_cast<size_t>(std::max(2, settings_.StableUpdates));
  if (history_.size() > keep) history_.erase(history_.begin());
  const bool settled = !fit.NoResponse && ParametersStable() && MeasurementInBand(fit);
  if (settled && !settled_) settledAt_ = fit.Time;
  settled_ = settled;
}

const LiveModelFit& LiveModel::Update() {
  Accept(Fit(TakeRecord()));
  return latest_;
}
