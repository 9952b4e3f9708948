#include "experiment/LiveStepEnd.h"

#include <cmath>
#include <limits>

#include "data/NumberFormat.h"
#include "experiment/ExperimentRun.h"

std::optional<LimitForecast> ForecastY1Limit(const LiveModelFit& fit, std::optional<double> low,
                                             std::optional<double> high, double now,
                                             double horizon) {
  if ((!low && !high) || !fit.Valid || fit.NoResponse || !(horizon >= 0)) return std::nullopt;
  constexpr double Infinity = std::numeric_limits<double>::infinity();
  const std::optional<ForecastExit> exit =
      FirstForecastExit(fit, low.value_or(-Infinity), high.value_or(Infinity), now, now + horizon);
  if (!exit) return std::nullopt;
  LimitForecast f;
  f.High = exit->High;
  f.Limit = exit->High ? *high : *low;
  f.At = exit->Time;
  f.In = std::max(0.0, exit->Time - now);
  return f;
}

namespace {

std::string Seconds(double s, char separator) {
  return FormatFixed(s, s < 10 ? 1 : 0, separator) + " s";
}

}  // namespace

std::string LimitForecastText(const LimitForecast& f, char separator) {
  return "Y1 bo po napovedi dosegel mejo " + FormatFixed(f.Limit, 1, separator) + " čez ≈ " +
         Seconds(f.In, separator);
}

std::string EarlyStepEndText(const EarlyStepEnd& e, char separator) {
  std::string text = "Stopnica " + std::to_string(e.Step) + " je končana predčasno pri " +
                     FormatFixed(e.Time, 1, separator) + " s (po " +
                     FormatFixed(e.Lasted, 1, separator) + " s od " +
                     FormatFixed(e.SetDuration, 1, separator) + " s)";
  if (!e.Forecast)
    return text + ": odziv se je umiril pri " + FormatFixed(e.SettledAt, 1, separator) + " s.";
  return text + ", ker bi Y1 po napovedi čez ≈ " + Seconds(e.Forecast->In, separator) +
         " dosegel mejo " + FormatFixed(e.Forecast->Limit, 1, separator) +
         "; zaporedje stopnic je končano, MV je vrnjen na začetno vrednost.";
}

double MinimumStepTime(double stepDuration) { return 0.25 * stepDuration; }

// The run's live model: fed and judged on every sample by Take.

void ExperimentRun::AcceptLiveFit(const LiveModelFit& fit) {
  live_.Accept(fit);
  JudgeForecast();
}

bool ExperimentRun::InStep() const {
  return stepSequence_ && !Setup.NoOpcWrite && store_.StepCounter >= 1 && !endRequested_;
}

void ExperimentRun::JudgeForecast() {
  forecast_.reset();
  const SafetyEnvelope& e = Setup.Envelope;
  if (!running_ || Findings.Trip || (!e.Y1Min && !e.Y1Max)) return;
  const LiveModelFit& fit = live_.Latest();
  const double now = std::max(0.0, ExperimentTime - Period());
  double horizon = std::numeric_limits<double>::infinity();
  if (InStep()) {
    // A fit from before the step knows nothing of it; the step's rest is what its MV holds.
    if (fit.Time < phaseStart_) return;
    horizon = std::max(0.0, PhaseDuration - store_.PhaseElapsed + Period());
  }
  if (e.MaxDuration) horizon = std::min(horizon, std::max(0.0, *e.MaxDuration - now));
  forecast_ = ForecastY1Limit(fit, e.Y1Min, e.Y1Max, now, horizon);
}

void ExperimentRun::EndStepEarly() {
  if (!Setup.EndStepWhenSettled || !InStep()) return;
  EarlyStepEnd end;
  end.Step = store_.StepCounter;
  end.Time = ExperimentTime;
  end.Lasted = ExperimentTime - phaseStart_;
  end.SetDuration = PhaseDuration;
  if (forecast_) {
    // The sequence's next steps would push on towards the limit: it ends here, and MV goes
    // back to where the run began (the sampler's next write, and through the gate once the
    // sampler has stopped).
    end.Forecast = forecast_;
    Findings.EarlyEnds.push_back(end);
    endRequested_ = true;
    MV = StartMV;
    return;
  }
  // Settled on this step's samples: a judgement that stands from before the step does not
  // count.
  if (!live_.Settled() || live_.SettledAt() < phaseStart_ ||
      store_.PhaseElapsed < MinimumStepTime(PhaseDuration))
    return;
  end.SettledAt = live_.SettledAt();
  Findings.EarlyEnds.push_back(end);
  NextStep();
}
