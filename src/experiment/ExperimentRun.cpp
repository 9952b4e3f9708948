#include "experiment/ExperimentRun.h"

#include <algorithm>
#include <cstdlib>

#include "data/Clock.h"
#include "data/NumericHelpers.h"

bool WaitForGoodQuality(const OpcItem* item, const Clock& clock,
                        const std::function<bool()>& keepWaiting, int timeoutMs) {
  const std::int64_t start = clock.TickCountMs();
  for (;;) {
    const bool more = keepWaiting ? keepWaiting() : true;
    const std::int64_t now = clock.TickCountMs();
    const bool good = item != nullptr && IsGoodQuality(item->Quality());
    if (good || !more || now - start >= timeoutMs) return good;
  }
}

int AnalysisWindowStart(double waitTime, double sampleTime) {
  const double samples = SafeDivide(0.9 * waitTime, sampleTime, 0.9 * waitTime);
  return std::max(2, RoundToInt(samples)) - 1;
}

ExperimentRun::ExperimentRun(MeasurementStore& store, OpcClient& opc) : store_(store), opc_(opc) {}

bool ExperimentRun::Connected() const { return opc_.IsConnected() && !MvItemUnreachable; }

void ExperimentRun::Create() {
  // The store stays empty (no samples) until an experiment begins.
  Sim.Reset();
  ExperimentTime = 0;
}

void ExperimentRun::PrepareAutomaticPhases() {
  PhaseDuration = Setup.WaitTime;
  store_.StepCounter = 0;
  store_.PhaseElapsed = 0;
}

void ExperimentRun::Begin() {
  Sim.Reset();
  ExperimentTime = 0;
  store_.SampleCount = 1;
  store_.ColumnCount = 6;
  if (!Setup.KeepInitialInput)
    MV = Setup.InitialInput;
  else if (Connected() && Setup.ItemMV)
    MV = Setup.ItemMV->Value();
  else
    MV = SimulatedProcess::RestMV;
  U = Y1 = Y2 = 0;
  endRequested_ = false;
  running_ = true;
}

void ExperimentRun::PlaceSlider(double mvMax, double mvMin, double mvStep) {
  Slider.Configure(mvMax, mvMin, mvStep);
  Slider.SetFromValue(MV);
}

ExperimentSample ExperimentRun::Tick(bool stepSequence) {
  ExperimentSample s;
  if (!running_) return s;
  if (Connected()) {
    if (!Setup.NoOpcWrite && Setup.ItemMV && MV != Setup.ItemMV->Value()) Setup.ItemMV->Write(MV);
    Y1 = Setup.ItemY1 ? Setup.ItemY1->Value() : 0;
    Y2 = Setup.ItemY2 ? Setup.ItemY2->Value() : 0;
    U = Setup.ItemU ? Setup.ItemU->Value() : 0;
  } else {
    const SimulatedSample sim = Sim.Step(MV, Setup.NoOpcWrite);
    U = sim.U;
    Y1 = sim.Y1;
    Y2 = sim.Y2;
    s.Simulated = true;
  }
  s.Time = ExperimentTime;
  s.MV = MV;
  s.U = U;
  s.Y1 = Y1;
  s.Y2 = Y2;

  const int k = store_.SampleCount;
  if (k >= 1 && k < MaxSamples) {
    store_.TimeColumn[k] = ExperimentTime;
    store_.DataColumns[1][k] = MV;
    store_.DataColumns[2][k] = MV;
    store_.DataColumns[3][k] = U;
    store_.DataColumns[4][k] = U;
    store_.DataColumns[5][k] = Y1;
    store_.DataColumns[6][k] = Y2;
  }
  ExperimentTime += Period();
  store_.SampleCount = k + 1;

  if (stepSequence) {
    store_.PhaseElapsed += Period();
    if (store_.PhaseElapsed > PhaseDuration) NextStep();
  }
  // A store that is full ends the experiment: at most MaxSamples - 1 samples.
  if (store_.SampleCount >= MaxSamples) endRequested_ = true;
  s.EndRequested = endRequested_;
  return s;
}

void ExperimentRun::NextStep() {
  PhaseDuration = Setup.StepDuration;
  store_.PhaseElapsed = 0;
  store_.StepCounter += 1;
  const int limit = Setup.NoOpcWrite       ? 1
                    : Setup.BothDirections ? 2 * Setup.NumberOfSteps
                                           : Setup.NumberOfSteps;
  if (store_.StepCounter > limit) {
    endRequested_ = true;
    return;
  }
  if (!Setup.NoOpcWrite)
    MV += store_.StepCounter <= Setup.NumberOfSteps ? Setup.StepSize : -Setup.StepSize;
}

bool ExperimentRun::Finish() {
  if (!running_) return false;
  running_ = false;
  store_.SampleTime = Setup.SamplePeriodMs / 1000.0;
  const int recorded = std::clamp(store_.SampleCount - 1, 0, MaxSamples - 1);
  store_.SampleCount = recorded;
  constexpr int MinimumSamples = 10;
  if (recorded < MinimumSamples) {
    for (int i = recorded + 1; i <= MinimumSamples; ++i) {
      store_.TimeColumn[i] = ExperimentTime;
      for (int c = 1; c <= 6; ++c) store_.DataColumns[c][i] = store_.DataColumns[c][recorded];
      ExperimentTime += Period();
    }
    store_.SampleCount = MinimumSamples;
  }
  return true;
}

namespace {

// A switch item whose row of the OPC table is empty: the plant's controller has no such
// item, so there is nothing to write.
bool Assigned(const OpcItemPtr& item) { return item && !item->ItemId().empty(); }

}  // namespace

void ExperimentRun::SwitchToManual() {
  if (Setup.NoOpcWrite) return;
  if (Setup.SingleRASwitch) {
    if (Assigned(Setup.ItemRA)) Setup.ItemRA->WriteInteger(Setup.ManualValue);
  } else if (Assigned(Setup.ItemManual)) {
    Setup.ItemManual->WriteInteger(1);
  }
}

void ExperimentRun::SwitchToAutomatic() {
  if (Setup.NoOpcWrite) return;
  if (Setup.SingleRASwitch) {
    if (Assigned(Setup.ItemRA)) Setup.ItemRA->WriteInteger(std::abs(Setup.ManualValue - 1));
  } else if (Assigned(Setup.ItemAuto)) {
    Setup.ItemAuto->WriteInteger(1);
  }
}

bool ExperimentRun::SliderMoved(int position) {
  Slider.Position = position;
  if (ExperimentTime == 0) return false;
  MV = Slider.Value();
  return true;
}

bool ExperimentRun::ValueTyped(double v) {
  MV = v;
  if (Slider.SetFromValue(MV)) return SliderMoved(Slider.Position);
  return false;
}
