#include "experiment/ExperimentRun.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "data/Clock.h"
#include "data/NumberFormat.h"
#include "data/NumericHelpers.h"
#include "experiment/ExperimentWriteCheck.h"
#include "opc/OpcMessages.h"

int AnalysisWindowStart(double waitTime, double sampleTime) {
  const double samples = SafeDivide(0.9 * waitTime, sampleTime, 0.9 * waitTime);
  return std::max(2, RoundToInt(samples)) - 1;
}

std::string SimulatedFromText(const RunFindings& f, char separator) {
  if (!f.LinkLost()) return {};
  return "od " + FormatFixed(f.FirstSimulatedTime, 1, separator) + " s (vzorec " +
         std::to_string(f.FirstSimulatedSample) + ")";
}

std::optional<double> SimulationTakeOverTime(const RunFindings& f, bool plantConfigured) {
  if (f.FirstSimulatedSample < 1) return std::nullopt;
  // A link lost or an MV never reached speaks of a plant whatever the settings say.
  if (!plantConfigured && !f.LinkLost() && f.FallBackSamples == 0) return std::nullopt;
  return f.FirstSimulatedTime;
}

std::string LinkLostText(const RunFindings& f, const std::string& controllerLeft, char separator) {
  std::string text =
      "Povezava s strežnikom je bila izgubljena " + SimulatedFromText(f, separator) +
      ": zapis se od tam nadaljuje s simulacijo procesa, v obrat se nič več ne piše.";
  if (!controllerLeft.empty()) text += " " + controllerLeft;
  return text;
}

std::string LinkLostAtEndText(const std::string& controllerLeft) {
  std::string text =
      "Povezava s strežnikom je bila izgubljena ob koncu eksperimenta: v obrat se nič več ne "
      "piše.";
  if (!controllerLeft.empty()) text += " " + controllerLeft;
  return text;
}

std::optional<EnvelopeTrip> CheckEnvelope(const SafetyEnvelope& e, double time, double y1,
                                          double y2) {
  using Cause = EnvelopeTrip::Cause;
  const auto trip = [time](Cause what, double limit, double value) {
    return EnvelopeTrip{what, limit, value, time};
  };
  // A value that is not a number breaks no limit (the run holds the last valid one).
  if (e.Y1Max && y1 > *e.Y1Max) return trip(Cause::Y1High, *e.Y1Max, y1);
  if (e.Y1Min && y1 < *e.Y1Min) return trip(Cause::Y1Low, *e.Y1Min, y1);
  if (e.Y2Max && y2 > *e.Y2Max) return trip(Cause::Y2High, *e.Y2Max, y2);
  if (e.Y2Min && y2 < *e.Y2Min) return trip(Cause::Y2Low, *e.Y2Min, y2);
  // The record's time is a sum of periods: a microsecond of rounding is no overrun.
  if (e.MaxDuration && time > *e.MaxDuration + 1e-6)
    return trip(Cause::Duration, *e.MaxDuration, time);
  return std::nullopt;
}

namespace {

const char* SignalOf(EnvelopeTrip::Cause c) {
  using Cause = EnvelopeTrip::Cause;
  return c == Cause::Y1High || c == Cause::Y1Low ? "Y1" : "Y2";
}

bool High(EnvelopeTrip::Cause c) {
  return c == EnvelopeTrip::Cause::Y1High || c == EnvelopeTrip::Cause::Y2High;
}

}  // namespace

std::string EnvelopeTripText(const EnvelopeTrip& t, char separator) {
  if (t.What == EnvelopeTrip::Cause::Duration)
    return "čas poizkusa nad " + FormatFixed(t.Limit, 1, separator) + " s";
  return std::string(SignalOf(t.What)) + (High(t.What) ? " nad " : " pod ") +
         FormatFixed(t.Limit, 1, separator) + " pri " + FormatFixed(t.Time, 1, separator) + " s";
}

std::string EnvelopeTripMark(const EnvelopeTrip& t, char separator) {
  return " (ustavljeno: " + EnvelopeTripText(t, separator) + ")";
}

std::string EnvelopeStartRefusal(const SafetyEnvelope& e, double y1, double y2, char separator) {
  // Only the measurement's limits: the run time has not begun.
  SafetyEnvelope limits = e;
  limits.MaxDuration.reset();
  const std::optional<EnvelopeTrip> t = CheckEnvelope(limits, 0, y1, y2);
  if (!t) return {};
  return std::string("Eksperiment se ni začel: ") + SignalOf(t->What) + " (" +
         FormatFixed(t->Value, 1, separator) + ") je že " + (High(t->What) ? "nad" : "pod") +
         " varnostno mejo " + FormatFixed(t->Limit, 1, separator) +
         ". V obrat ni bilo nič zapisano.";
}

std::string TripNoticeText(const RunFindings& f, char separator) {
  if (!f.Trip) return {};
  std::string text =
      "Poizkus je ustavljen: " + EnvelopeTripText(*f.Trip, separator) + " (varnostna meja).";
  if (f.TripRestored) text += " MV in način regulatorja sta vrnjena v stanje pred poizkusom.";
  if (!f.ControllerLeft.empty()) text += " " + f.ControllerLeft;
  return text;
}

std::string PeriodTooShortText(double sampleTime, double roundTripMs, double grantedMs,
                               char separator) {
  const double periodMs = sampleTime * 1000;
  if (!(periodMs > 0)) return {};
  const std::string period = "Čas vzorčenja " + FormatShortest(sampleTime, separator) + " s";
  if (grantedMs > periodMs * 1.001)
    return period + " je krajši od intervala, v katerem vzorči strežnik (" +
           FormatShortest(std::round(grantedMs), separator) +
           " ms); del vzorcev bo zadržanih (ponovljenih).";
  // A subscription carries any round trip: the server samples on its own clock.
  if (grantedMs > 0 || !(roundTripMs > periodMs)) return {};
  return period + " je krajši od časa do strežnika (≈ " +
         FormatShortest(std::round(roundTripMs), separator) +
         " ms); del vzorcev bo zadržanih (ponovljenih).";
}

std::string ReconnectingStatusText(int secondsLeft) {
  return "Povezava je prekinjena, ponovno povezovanje (" +
         std::to_string(std::max(secondsLeft, 0)) + " s) …";
}

std::vector<std::string> RunFindingsLines(const RunFindings& f, char separator) {
  std::vector<std::string> lines;
  if (f.Trip)
    lines.push_back("Varnostna meja je ustavila poizkus: " + EnvelopeTripText(*f.Trip, separator) +
                    ". Zapis ni obdelan kot odziv obrata.");
  if (f.Interrupted)
    lines.push_back("Poizkus je prekinjen pri " + FormatFixed(*f.Interrupted, 1, separator) +
                    " s, preden se je zaporedje stopnic končalo. Zapis ni obdelan.");
  for (const EarlyStepEnd& end : f.EarlyEnds) lines.push_back(EarlyStepEndText(end, separator));
  const std::string tooShort =
      PeriodTooShortText(f.SampleTime, f.RoundTripMs, f.GrantedMs, separator);
  if (!tooShort.empty()) lines.push_back(tooShort);
  if (f.Reconnects > 0)
    lines.push_back(
        "Povezava s strežnikom je bila med eksperimentom prekinjena in spet "
        "vzpostavljena (" +
        std::to_string(f.Reconnects) + "-krat); vzorci vmes so zadržani.");
  if (f.FallBackSamples > 0)
    lines.push_back(
        "Opozorilo: zapis je simuliran, ker točka MV ni dosegla dobre kakovosti; v obrat ni bilo "
        "nič zapisano.");
  else if (f.LinkLost())
    lines.push_back("Opozorilo: zapis je simuliran " + SimulatedFromText(f, separator) +
                    " naprej (povezava s strežnikom je bila izgubljena; v obrat ni bilo nič več "
                    "zapisano).");
  else if (f.SimulatedSamples > 0)
    lines.push_back("Opozorilo: zapis je simuliran (povezava s strežnikom ni vzpostavljena).");
  if (!f.ControllerLeft.empty()) lines.push_back(f.ControllerLeft);
  if (f.HeldSamples > 0)
    lines.push_back("Zadržanih vzorcev: " + std::to_string(f.HeldSamples) +
                    " (obrat ni odgovoril do konca periode; zapisane so prejšnje vrednosti).");
  if (f.LateSamples > 0)
    lines.push_back("Poznih odgovorov obrata: " + std::to_string(f.LateSamples) + ".");
  if (f.Errors > 0) lines.push_back("Napak med eksperimentom: " + std::to_string(f.Errors) + ".");
  if (f.InvalidValues > 0)
    lines.push_back("Neveljavnih vrednosti iz OPC: " + std::to_string(f.InvalidValues) +
                    " (nadomeščene s prejšnjim vzorcem).");
  return lines;
}

std::string RunFindingsText(const RunFindings& f, char separator) {
  std::string text;
  for (const std::string& line : RunFindingsLines(f, separator))
    text += (text.empty() ? "" : "  ") + line;
  return text;
}

namespace {

// A signal's item whose row of the OPC table is empty: the plant has no such signal, so
// there is nothing to write or read.
bool Assigned(const OpcItemPtr& item) { return item && !item->ItemId().empty(); }

bool Valid(double value, int quality) { return IsGoodQuality(quality) && std::isfinite(value); }

const SystemClock TheSystemClock;

}  // namespace

// The experiment's items as the sampler's plant. Every MV the run writes passes WriteMV.
class ExperimentRun::Link final : public PlantLink {
 public:
  explicit Link(ExperimentRun& run) : run_(run) {}
  bool Live() override { return run_.opc_.IsConnected() && !run_.MvItemUnreachable; }
  double PlantMV() override {
    const OpcItemPtr& item = run_.Setup.ItemMV;
    lastReadMV_ = item ? item->Value() : std::nan("");  // a run's first, before any read
    return lastReadMV_;
  }
  void WriteMV(double mv) override {
    // Through the gate: checked, logged; a value that is not finite is never written.
    if (!std::isfinite(mv)) throw OpcError("MV is not a finite number");
    // The MV the last read showed stands for the one before the write in the log: asking
    // the plant again would hold the step back by a round trip.
    if (run_.Setup.ItemMV)
      WritePlantValue({run_.Setup.ItemMV, mv, "MV", false, lastReadMV_}, run_.Writes);
  }
  double Subscribe(std::int32_t periodMs) override {
    OpcGroup* group = run_.readGroup_;
    if (!group) return 0;
    // Enough samples kept at the server for a stall of a few seconds between deliveries.
    const int queue = std::clamp(5000 / std::max(periodMs, 1), 2, 200);
    return group->Subscribe(periodMs, queue);
  }
  std::vector<::PlantValue> Sampled(int waitMs) override {
    std::vector<::PlantValue> values;
    OpcGroup* group = run_.readGroup_;
    if (!group) return values;
    const std::vector<OpcSampledValue> sampled = group->TakeSampled(waitMs);
    const OpcItemPtr* items[4] = {&run_.Setup.ItemU, &run_.Setup.ItemY1, &run_.Setup.ItemY2,
                                  &run_.Setup.ItemMV};
    for (const OpcSampledValue& v : sampled)
      for (int i = 0; i < 4; ++i)
        if (Assigned(*items[i]) && (*items[i])->ItemId() == v.ItemId) {
          values.push_back({i, v.Value, v.Quality, v.SourceTimeUs});
          if (i == 3) lastReadMV_ = IsGoodQuality(v.Quality) ? v.Value : std::nan("");
        }
    return values;
  }
  void Unsubscribe() override {
    if (run_.readGroup_) run_.readGroup_->Unsubscribe();
  }
  // The link made again; the controller's mode of the run is written again through the
  // gate, so that a controller that a restart left in another mode is where the run needs it.
  bool Reconnect() override {
    // Ended by the engineer ("Prekini"), not lost: nothing to make again.
    if (!run_.opc_.IsConnected() && !run_.opc_.Lost()) throw OpcError("The link was ended");
    if (!run_.opc_.Reconnect()) return false;
    try {
      if (!run_.Setup.NoOpcWrite && !run_.MvItemUnreachable)
        run_.Setup.ClosedLoopDuring ? run_.SwitchToAutomatic() : run_.SwitchToManual();
    } catch (const std::exception&) {
      // The MV write that follows finds out whether the plant takes writes.
    }
    return true;
  }
  PlantReading Read() override {
    if (run_.readGroup_) run_.readGroup_->ReadNow();
    PlantReading r;
    const OpcItemPtr* items[4] = {&run_.Setup.ItemU, &run_.Setup.ItemY1, &run_.Setup.ItemY2,
                                  &run_.Setup.ItemMV};
    for (int i = 0; i < 4; ++i) {
      const OpcItemPtr& item = *items[i];
      if (!Assigned(item)) continue;
      r.Values[i] = item->Value();
      r.Qualities[i] = item->Quality();
    }
    if (Assigned(run_.Setup.ItemY1)) r.SourceTimeMs = run_.Setup.ItemY1->SourceTimeMs();
    lastReadMV_ = Assigned(run_.Setup.ItemMV) && IsGoodQuality(r.Qualities[3])
                      ? r.Values[3]
                      : std::numeric_limits<double>::quiet_NaN();
    return r;
  }

 private:
  ExperimentRun& run_;
  // The MV item's value as the last read showed it (NaN before one, or when not Good).
  double lastReadMV_ = std::numeric_limits<double>::quiet_NaN();
};

ExperimentRun::ExperimentRun(MeasurementStore& store, OpcClient& opc)
    : store_(store),
      opc_(opc),
      link_(std::make_unique<Link>(*this)),
      sampler_(std::make_unique<PlantSampler>(*link_, TheSystemClock)) {
  clock_ = &TheSystemClock;
}

ExperimentRun::~ExperimentRun() { sampler_->Stop(); }

void ExperimentRun::UseClock(const Clock& clock) {
  sampler_->Stop();
  sampler_ = std::make_unique<PlantSampler>(*link_, clock);
  clock_ = &clock;
}

bool ExperimentRun::Connected() const {
  return opc_.IsConnected() && !MvItemUnreachable && !sampler_->LinkLost();
}

std::optional<int> ExperimentRun::ReconnectSecondsLeft() const {
  const std::optional<std::int64_t> since = sampler_->ReconnectingSinceUs();
  if (!since) return std::nullopt;
  const std::int64_t leftUs =
      std::int64_t{Setup.ReconnectMs} * 1000 - (sampler_->ElapsedUs() - *since);
  return static_cast<int>(std::max<std::int64_t>(0, (leftUs + 999'999) / 1'000'000));
}

void ExperimentRun::CommandMV() {
  if (!ending_) sampler_->CommandMV(MV);
}

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
  const double plantMV = !Setup.KeepInitialInput || !Connected() || !Setup.ItemMV ? 0
                         : PlantMvAtPreparation ? *PlantMvAtPreparation
                                                : Setup.ItemMV->Value();
  PlantMvAtPreparation.reset();
  if (!Setup.KeepInitialInput)
    MV = Setup.InitialInput;
  else if (Connected() && Setup.ItemMV && std::isfinite(plantMV))
    MV = plantMV;
  else if (Connected() && Setup.ItemMV)  // the plant's MV is no number: never written back
    MV = Setup.InitialInput;
  else
    MV = SimulatedProcess::RestMV;
  U = Y1 = Y2 = 0;
  lastMV_ = MV;
  StartMV = plantMvBeforeRun_ && std::isfinite(*plantMvBeforeRun_) ? *plantMvBeforeRun_ : MV;
  plantMvBeforeRun_.reset();
  Findings = {};
  std::fill(std::begin(validSeen_), std::end(validSeen_), false);
  endRequested_ = false;
  LiveModelSettings live;
  live.SampleTime = Period();
  live_ = LiveModel(live);
  forecast_.reset();
  phaseStart_ = 0;
  stepSequence_ = false;
  ending_ = false;
  lastIndex_ = -1;
  running_ = true;
  sampler_->Begin(Setup.SamplePeriodMs, !Setup.NoOpcWrite && Setup.ItemMV != nullptr);
  CommandMV();
}

double ExperimentRun::PlantValue(int signal, const PlantReading& reading, double previous, int k) {
  const OpcItemPtr* items[4] = {&Setup.ItemU, &Setup.ItemY1, &Setup.ItemY2, &Setup.ItemMV};
  if (!Assigned(*items[signal])) return 0;
  const double value = reading.Values[signal];
  if (!Valid(value, reading.Qualities[signal])) {
    ++Findings.InvalidValues;
    return previous;
  }
  if (!validSeen_[signal]) {
    validSeen_[signal] = true;
    // The samples before had no valid value to keep: this first one stands for them.
    const int columns[4][2] = {{3, 4}, {5, 5}, {6, 6}, {1, 2}};
    for (int i = 1; i < k && i < MaxSamples; ++i)
      for (int c : columns[signal])
        store_.DataColumns[static_cast<size_t>(c)][static_cast<size_t>(i)] = value;
  }
  return value;
}

void ExperimentRun::PlaceSlider(double mvMax, double mvMin, double mvStep) {
  Slider.Configure(mvMax, mvMin, mvStep);
  Slider.SetFromValue(MV);
}

ExperimentSample ExperimentRun::Tick(bool stepSequence) {
  if (!running_) return {};
  CommandMV();
  sampler_->SampleNow();
  ExperimentSample last;
  for (const PlantSample& p : sampler_->TakeSamples()) last = Take(p, stepSequence);
  return last;
}

void ExperimentRun::StartSampling() {
  CommandMV();
  sampler_->SetReconnectMs(Setup.ReconnectMs);
  sampler_->Start();
}

bool ExperimentRun::Sampling() const { return sampler_->Started(); }

std::vector<ExperimentSample> ExperimentRun::TakeArrived(bool stepSequence) {
  std::vector<ExperimentSample> taken;
  if (!running_) return taken;
  for (const PlantSample& p : sampler_->TakeSamples()) {
    if (endRequested_) break;  // the run has ended on an earlier sample
    taken.push_back(Take(p, stepSequence));
  }
  return taken;
}

void ExperimentRun::EndSampling() {
  if (!running_ || !Sampling()) return;
  // A sample that ended the run is its last; else the periods up to now.
  sampler_->EndAfter(endRequested_ ? std::optional<int>(lastIndex_) : std::nullopt);
  ending_ = true;
}

bool ExperimentRun::LastPeriodsIn() const { return !Sampling() || sampler_->EndTaken(); }

ExperimentSample ExperimentRun::Take(const PlantSample& p, bool stepSequence) {
  ExperimentSample s;
  if (!running_) return s;
  lastIndex_ = p.Index;
  const int k = store_.SampleCount;
  double recordedMV = p.MV;
  const PlantReading& r = p.Reading;
  if (!r.Error.empty()) {
    // A rejected write costs no sample, so that the record's time axis stays the
    // plant's; the sample's MV is then the one the plant kept.
    s.Error = r.Error;
    ++Findings.Errors;
  }
  if (p.Simulated) {
    const SimulatedSample sim = Sim.Step(p.MV, Setup.NoOpcWrite);
    U = sim.U;
    Y1 = sim.Y1;
    Y2 = sim.Y2;
    s.Simulated = true;
    if (Findings.SimulatedSamples == 0) {
      Findings.FirstSimulatedSample = k;
      Findings.FirstSimulatedTime = ExperimentTime;
    }
    ++Findings.SimulatedSamples;
    if (opc_.IsConnected() && MvItemUnreachable) ++Findings.FallBackSamples;
  } else if (p.Held) {
    // Nothing answered for this period: the plant's values as last known, and the MV
    // last sent to it.
    const bool sent = !Setup.NoOpcWrite && Setup.ItemMV && std::isfinite(p.MV);
    recordedMV = sent ? p.MV : lastMV_;
    s.Held = true;
    s.Reconnecting = p.Reconnecting;
    ++Findings.HeldSamples;
  } else {
    if (p.Reconnected) {
      s.Reconnected = true;
      ++Findings.Reconnects;
    }
    if (!r.Error.empty())
      recordedMV = Valid(r.Values[3], r.Qualities[3]) ? r.Values[3] : lastMV_;
    else
      recordedMV = r.MV;
    // Recording only, the plant's MV is what the record must show, not the program's.
    if (Setup.NoOpcWrite && Assigned(Setup.ItemMV)) recordedMV = PlantValue(3, r, lastMV_, k);
    Y1 = PlantValue(1, r, Y1, k);
    Y2 = PlantValue(2, r, Y2, k);
    U = PlantValue(0, r, U, k);
    if (p.Late) {
      s.Late = true;
      ++Findings.LateSamples;
    }
    if (p.ReadUs > 0) s.ReadDelayMs = (p.ReadUs - p.DeadlineUs) / 1000.0;
  }
  s.Time = ExperimentTime;
  s.MV = lastMV_ = recordedMV;
  s.U = U;
  s.Y1 = Y1;
  s.Y2 = Y2;

  if (k >= 1 && k < MaxSamples) {
    store_.TimeColumn[k] = ExperimentTime;
    store_.DataColumns[1][k] = recordedMV;
    store_.DataColumns[2][k] = recordedMV;
    store_.DataColumns[3][k] = U;
    store_.DataColumns[4][k] = U;
    store_.DataColumns[5][k] = Y1;
    store_.DataColumns[6][k] = Y2;
  }
  ExperimentTime += Period();
  store_.SampleCount = k + 1;

  // The live model sees the plant's input: U, or the MV the run sent where no U is read.
  live_.AddSample(p.Simulated || Assigned(Setup.ItemU) ? U : recordedMV, Y1);
  if (FitLiveModelHere && live_.FitDue()) live_.Accept(LiveModel::Fit(live_.TakeRecord()));
  CheckEnvelopeAt(s.Time);
  stepSequence_ = stepSequence;
  const bool stepping = stepSequence && !Findings.Trip;
  if (stepping) store_.PhaseElapsed += Period();
  JudgeForecast();
  if (stepping) {
    if (store_.PhaseElapsed > PhaseDuration)
      NextStep();
    else
      EndStepEarly();
  }
  // A store that is full ends the experiment: at most MaxSamples - 1 samples.
  if (store_.SampleCount >= MaxSamples) endRequested_ = true;
  s.EndRequested = endRequested_;
  CommandMV();
  return s;
}

void ExperimentRun::CheckEnvelopeAt(double time) {
  if (Findings.Trip) return;
  Findings.Trip = CheckEnvelope(Setup.Envelope, time, Y1, Y2);
  if (!Findings.Trip) return;
  // The run ends on this sample; MV goes back at once (the sampler's next write) and, with
  // the controller's mode, through the gate once the sampler has stopped.
  endRequested_ = true;
  MV = StartMV;
}

void ExperimentRun::Interrupt() {
  if (!running_ || Findings.Trip || Findings.Interrupted) return;
  Findings.Interrupted = std::max(0.0, ExperimentTime - Period());
  endRequested_ = true;
}

void ExperimentRun::NextStep() {
  PhaseDuration = Setup.StepDuration;
  store_.PhaseElapsed = 0;
  phaseStart_ = ExperimentTime;
  forecast_.reset();
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

bool ExperimentRun::Finish(bool waitForSampler) {
  if (!running_) return false;
  if (waitForSampler) {
    EndSampling();
    sampler_->Stop();
  } else {
    sampler_->RequestStop();
  }
  running_ = false;
  ending_ = false;
  store_.SampleTime = Setup.SamplePeriodMs / 1000.0;
  Findings.SampleTime = store_.SampleTime;
  Findings.RoundTripMs = sampler_->RoundTripMs();
  Findings.GrantedMs = sampler_->GrantedMs();
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
  std::string& mvDescription = store_.ColumnNames[1];
  static constexpr const char* RunMarks[] = {" (prekinjeno pri ", " (ustavljeno: "};
  for (const char* mark : RunMarks) {
    const std::size_t earlier = mvDescription.rfind(mark);
    if (earlier != std::string::npos) mvDescription.resize(earlier);
  }
  if (Findings.SimulatedSamples > 0) {
    // " (simulacija)", or where it began: " (simulacija od 19,0 s)"; an earlier run's
    // mark is replaced.
    std::string& description = store_.ColumnNames[1];
    const std::size_t earlier = description.rfind(" (simulacija");
    if (earlier != std::string::npos && description.back() == ')') description.resize(earlier);
    description += Findings.LinkLost()
                       ? " (simulacija od " +
                             FormatFixed(Findings.FirstSimulatedTime, 1, Setup.Separator) + " s)"
                       : std::string(SimulatedRecordMark);
  }
  if (Findings.Trip) mvDescription += EnvelopeTripMark(*Findings.Trip, Setup.Separator);
  if (Findings.Interrupted)
    mvDescription +=
        " (prekinjeno pri " + FormatFixed(*Findings.Interrupted, 1, Setup.Separator) + " s)";
  return true;
}

std::string ControllerStateLeft(const ExperimentSetup& setup) {
  if (setup.ClosedLoopDuring == setup.ClosedLoopAfter) return {};
  return setup.ClosedLoopDuring ? "Regulator je ostal v avtomatskem načinu."
                                : "Regulator je ostal v ročnem načinu.";
}

bool ExperimentRun::LinkLostForSwitch(bool toAutomatic) {
  if (opc_.IsConnected()) return false;
  // Nothing is written after the link is lost: the controller stays as the run left it.
  if (Setup.ClosedLoopDuring != toAutomatic)
    Findings.ControllerLeft = Setup.ClosedLoopDuring ? "Regulator je ostal v avtomatskem načinu."
                                                     : "Regulator je ostal v ročnem načinu.";
  return true;
}

std::optional<PlantWrite> ExperimentRun::ModeSwitchWrite(bool automatic) const {
  if (Setup.SingleRASwitch) {
    if (!Assigned(Setup.ItemRA)) return std::nullopt;
    const int value = automatic ? std::abs(Setup.ManualValue - 1) : Setup.ManualValue;
    return PlantWrite{Setup.ItemRA, double(value), "R/A", true};
  }
  const OpcItemPtr& item = automatic ? Setup.ItemAuto : Setup.ItemManual;
  if (!Assigned(item)) return std::nullopt;
  return PlantWrite{item, 1, automatic ? "preklop v avtomatsko" : "preklop v ročno", true};
}

void ExperimentRun::SwitchToManual() {
  if (Setup.NoOpcWrite || MvItemUnreachable || LinkLostForSwitch(false)) return;
  if (const std::optional<PlantWrite> write = ModeSwitchWrite(false))
    WritePlantValue(*write, Writes);
}

void ExperimentRun::SwitchToAutomatic() {
  if (Setup.NoOpcWrite || MvItemUnreachable || LinkLostForSwitch(true)) return;
  if (const std::optional<PlantWrite> write = ModeSwitchWrite(true))
    WritePlantValue(*write, Writes);
}

std::string ExperimentRun::ReadPlantBeforeRun() {
  ModeBeforeRun.reset();
  plantMvBeforeRun_.reset();
  readBeforeRunMs_ = 0;
  if (MvItemUnreachable || !opc_.IsConnected()) return {};  // the run simulates
  if (readGroup_) {
    const std::int64_t sentUs = clock_->TickCountUs();
    readGroup_->ReadNow();
    readBeforeRunMs_ = (clock_->TickCountUs() - sentUs) / 1000.0;
  }
  const auto value = [](const OpcItemPtr& item) {
    return Assigned(item) && Valid(item->Value(), item->Quality()) ? item->Value() : std::nan("");
  };
  if (!Setup.NoOpcWrite) {
    // One switch item tells the mode by its value; of two, the one that is on tells it.
    if (Setup.SingleRASwitch) {
      const double ra = value(Setup.ItemRA);
      if (std::isfinite(ra)) ModeBeforeRun = RoundToInt(ra) != Setup.ManualValue;
    } else if (value(Setup.ItemAuto) != 0 && std::isfinite(value(Setup.ItemAuto))) {
      ModeBeforeRun = true;
    } else if (value(Setup.ItemManual) != 0 && std::isfinite(value(Setup.ItemManual))) {
      ModeBeforeRun = false;
    }
    plantMvBeforeRun_ = value(Setup.ItemMV);
  }
  return EnvelopeStartRefusal(Setup.Envelope, value(Setup.ItemY1), value(Setup.ItemY2),
                              Setup.Separator);
}

ExperimentRun::Preparation ExperimentRun::PrepareOnPlant(bool check, bool readMV) {
  Preparation p;
  p.Why = ReadPlantBeforeRun();
  p.Envelope = !p.Why.empty();
  if (p.Envelope) return p;
  if (check) p.Why = CheckExperimentWrites(Setup, Writes, Setup.Separator);
  if (!p.Why.empty()) return p;
  try {
    Setup.ClosedLoopDuring ? SwitchToAutomatic() : SwitchToManual();
  } catch (const OpcError& e) {
    // One write, refused: the controller is as it was.
    p.Why = "Preklop regulatorja za eksperiment ni uspel: " + OpcWindowText(e.what()) +
            " Eksperiment se ni začel.";
    return p;
  }
  if (readMV && Setup.ItemMV) PlantMvAtPreparation = Setup.ItemMV->Value();
  if (check) p.PeriodTooShort = PeriodTooShortBeforeRun();
  return p;
}

std::string ExperimentRun::PeriodTooShortBeforeRun() {
  if (!readGroup_ || !opc_.IsConnected()) return {};
  // A second read: the first of a connection may have waited on the server's start.
  const std::int64_t sentUs = clock_->TickCountUs();
  readGroup_->ReadNow();
  double roundTripMs = (clock_->TickCountUs() - sentUs) / 1000.0;
  if (readBeforeRunMs_ > 0) roundTripMs = std::min(roundTripMs, readBeforeRunMs_);
  double grantedMs = 0;
  try {
    grantedMs = readGroup_->Subscribe(Setup.SamplePeriodMs, 2);
    readGroup_->Unsubscribe();
  } catch (const std::exception&) {
    grantedMs = 0;  // the run finds out how it samples
  }
  return PeriodTooShortText(Period(), roundTripMs, grantedMs, Setup.Separator);
}

void ExperimentRun::RestoreAfterTrip() {
  if (Setup.NoOpcWrite || MvItemUnreachable) return;  // the run wrote nothing
  const char* during = Setup.ClosedLoopDuring ? "avtomatskem" : "ročnem";
  const std::optional<PlantWrite> modeBack =
      ModeBeforeRun && *ModeBeforeRun != Setup.ClosedLoopDuring ? ModeSwitchWrite(*ModeBeforeRun)
                                                                : std::nullopt;
  const bool modeUnknown = !ModeBeforeRun && ModeSwitchWrite(!Setup.ClosedLoopDuring);
  if (!opc_.IsConnected()) {
    Findings.ControllerLeft =
        std::string(
            "Po ustavitvi poizkusa MV ni vrnjen, ker je povezava s strežnikom "
            "izgubljena. Regulator je ostal v ") +
        during + " načinu.";
    return;
  }
  // MV and the mode as two sets: a refused mode switch must not roll MV back to the
  // run's step, and a refused MV must not keep the controller from its earlier mode.
  std::string refused;
  const auto write = [&](const PlantWrite& w) {
    const std::string why = WriteBack(w);
    if (!why.empty()) refused += (refused.empty() ? "" : " ") + why;
  };
  if (Assigned(Setup.ItemMV)) write({Setup.ItemMV, StartMV, "MV", false});
  if (modeBack) write(*modeBack);
  Findings.TripRestored = refused.empty();
  if (!refused.empty()) {
    ++Findings.Errors;
    Findings.ControllerLeft =
        "Po ustavitvi poizkusa obrat ni vrnjen v stanje pred poizkusom: " + refused;
  } else if (modeUnknown) {
    // Never assumed: a mode the plant did not tell is left as the run had it.
    Findings.ControllerLeft = std::string(
                                  "Način regulatorja pred poizkusom ni znan: regulator je "
                                  "ostal v ") +
                              during + " načinu.";
  }
}

std::string ExperimentRun::WriteBack(const PlantWrite& w) {
  try {
    const PlantWriteResult r = WritePlantSet({w}, Writes, Setup.Separator);
    return r.Outcome == PlantWriteOutcome::Written ? std::string() : r.Text;
  } catch (const std::exception& e) {
    return OpcWindowText(e.what());
  }
}

void ExperimentRun::RestorePlantAfterRun(bool switchedForRun) {
  if (Findings.Trip) {
    RestoreAfterTrip();
    return;
  }
  // A sequence ended before a forecast crossing: MV back where the run began, before the
  // controller takes over in its after-experiment mode.
  std::string mvRefused;
  if (Findings.EndedBeforeForecast() && !Setup.NoOpcWrite && !MvItemUnreachable &&
      Assigned(Setup.ItemMV) && opc_.IsConnected())
    mvRefused = WriteBack({Setup.ItemMV, StartMV, "MV", false});
  if (switchedForRun) SwitchAfterRun();
  if (mvRefused.empty()) return;
  ++Findings.Errors;
  std::string& left = Findings.ControllerLeft;
  left += (left.empty() ? "" : " ") +
          std::string("MV po koncu stopnice ni vrnjen na začetno vrednost: ") + mvRefused;
}

void ExperimentRun::SwitchAfterRun() {
  if (Setup.NoOpcWrite || MvItemUnreachable) return;  // the run switched nothing
  const bool linkBefore = opc_.IsConnected();
  std::string refused;
  try {
    Setup.ClosedLoopAfter ? SwitchToAutomatic() : SwitchToManual();
  } catch (const OpcError& e) {
    refused = OpcWindowText(e.what());
  }
  // Not written because the link was lost before (the switch noted the state kept), or
  // taken.
  if (!linkBefore || (refused.empty() && !Findings.ControllerLeft.empty())) return;
  if (refused.empty() && opc_.IsConnected()) return;
  const std::string left = ControllerStateLeft(Setup);
  if (left.empty()) {  // the controller is in its after-experiment state already
    if (!refused.empty()) ++Findings.Errors;
    return;
  }
  if (opc_.IsConnected()) {
    // The server refused the switch: the controller keeps its state of the run.
    ++Findings.Errors;
    Findings.ControllerLeft =
        "Preklop regulatorja po eksperimentu ni uspel: " + refused + " " + left;
    return;
  }
  // The link was lost while the switch was on its way: it may or may not have arrived.
  Findings.ControllerLeft =
      std::string(
          "Ni znano, ali je preklop regulatorja prišel v obrat. Regulator je morda "
          "ostal v ") +
      (Setup.ClosedLoopDuring ? "avtomatskem" : "ročnem") + " načinu.";
}

bool ExperimentRun::SliderMoved(int position) {
  Slider.Position = position;
  if (ExperimentTime == 0) return false;
  MV = Slider.Value();
  CommandMV();
  return true;
}

bool ExperimentRun::ValueTyped(double v) {
  MV = v;
  CommandMV();
  if (Slider.SetFromValue(MV)) return SliderMoved(Slider.Position);
  return false;
}
