// The model of a step response while the step is still running: fed sample by sample,
// fitted again every few samples, and the judgement that the record already holds enough
// ("Odziv se je umiril — podatkov je dovolj").
#pragma once

#include <optional>
#include <vector>

#include "data/MeasurementStore.h"
#include "model/IdentifyModel.h"

inline constexpr const char* LiveModelSettledText = "Odziv se je umiril — podatkov je dovolj";

struct LiveModelSettings {
  double SampleTime = 1;  // s
  int MinInterval = 5;    // samples between two fits at the least
  // Share of the sampling period one fit may cost on one core: the interval between fits
  // grows when a fit takes longer.
  double CostShare = 0.1;
  // The last updates over which K (or the slope), T and L must stay within their bounds.
  int StableUpdates = 3;
  // How long the measurement must stay within the noise of the model's final value (of the
  // model's ramp for an integrating process); 0: one time constant (lag) of the model, at
  // least ten samples.
  double HoldTime = 0;
};

// One fit of the record so far. Times are seconds from the record's first sample.
struct LiveModelFit {
  bool Valid = false;  // a step and at least ten samples after it
  int Samples = 0;     // record samples the fit saw
  double Time = 0;     // of its last sample
  double StepTime = 0;
  ProcessKind Kind = ProcessKind::SelfRegulating;
  bool NoResponse = false;  // neither kind describes the measurement
  // Gain (slope per second for an integrating process), time constant (lag), dead time.
  double Gain = 0, TimeConstant = 0, DeadTime = 0;
  double GainBound = 0, TimeBound = 0, StdDev = 0, RelativeError = 1;
  double InputLevel = 0, OutputLevel = 0, InputStep = 0;  // levels before the step, step size
  // The model's response in the measurement's units over the fitted window.
  std::vector<double> Times, Response;
  double Seconds = 0;  // what the fit cost on its thread
  // The final value a first-order response settles to.
  double FinalValue() const { return OutputLevel + Gain * InputStep; }

  // The forecast beyond the last sample, the input held at its last value. The model is a
  // lag (the time constant) before a dead time: what the lag did over the last dead time
  // still has to show in the measurement, and the lag's path after that follows its input
  // from where it stands. Pending: the model's measurement at Time + i*SampleTime for
  // i = 0..d (d the dead time in samples); LagEnd: the lag's output (from OutputLevel) at
  // the last sample, shown at Time + d*SampleTime; LagTarget + LagTargetRate*s: what the
  // lag follows s seconds on (the gain times the held input, or times its integral for an
  // integrating process).
  double SampleTime = 0;
  std::vector<double> Pending;
  double LagEnd = 0, LagTarget = 0, LagTargetRate = 0;
  // The model's measurement at time t (s, t >= Time; at Time for an earlier t).
  double ForecastAt(double t) const;
};

// Where a forecast leaves a band [low, high] (either may be +-infinity): the first time it
// passes high (High) or low, a value equal to a limit is inside.
struct ForecastExit {
  double Time = 0;
  bool High = true;
};
// The first exit of the fit's forecast from the band within [from, to] (s; to may be
// infinite); none when the forecast stays inside, or the fit is not valid. A forecast
// already outside at `from` exits at `from`.
std::optional<ForecastExit> FirstForecastExit(const LiveModelFit& fit, double low, double high,
                                              double from, double to);

// What one fit needs, copied so that the fit may run on another thread.
struct LiveModelRecord {
  double SampleTime = 1;
  std::vector<double> Input, Output;
};

class LiveModel {
 public:
  explicit LiveModel(LiveModelSettings settings = {});

  // Appends one sample of the input (U) and the measurement; samples past MaxSamples are
  // not kept.
  void AddSample(double input, double measurement);
  int Samples() const { return static_cast<int>(record_.Input.size()); }

  // True when a fit is worth starting: the input has stepped, ten samples have followed, and
  // the interval since the last record taken has passed.
  bool FitDue() const;
  // The record so far, for a fit; counts as taken for FitDue.
  LiveModelRecord TakeRecord();
  // Any thread: the first-order and the integrating identification of the record's step
  // response, the kind chosen as the identification chooses it.
  static LiveModelFit Fit(const LiveModelRecord& record);
  // On the owner's thread: the fit becomes the latest and the settled state is judged anew.
  // A fit of fewer samples than the latest (one that came back late) is dropped.
  void Accept(const LiveModelFit& fit);
  // TakeRecord, Fit and Accept on this thread.
  const LiveModelFit& Update();

  const LiveModelFit& Latest() const { return latest_; }
  bool Settled() const { return settled_; }
  double SettledAt() const { return settledAt_; }  // s, the update that first judged it
  int Interval() const { return interval_; }       // samples between fits now

 private:
  bool ParametersStable() const;
  bool MeasurementInBand(const LiveModelFit& fit) const;

  LiveModelSettings settings_;
  LiveModelRecord record_;
  std::vector<LiveModelFit> history_;  // the last StableUpdates fits, without curves
  LiveModelFit latest_;
  int takenAt_ = 0;
  int interval_ = 5;
  bool stepSeen_ = false;
  int stepSample_ = 0;  // 1-based
  double inputMin_ = 0, inputMax_ = 0;
  bool settled_ = false;
  double settledAt_ = 0;
};
