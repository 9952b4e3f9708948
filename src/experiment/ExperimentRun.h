// experiment/ is the run's core (this state machine, the sampler, the safety envelope, the queue
// and the post-processing chain), which the experiment window and vortuner-cli experiment both
// drive. Its ui/ holds the experiment tab, the experiment window and the scheduler.
//
// One step-response experiment, sample by sample, free of widgets and timers: the
// parameters the activation or the scheduler fills in, the run state, one tick, the step
// sequence, the end of the record and the controller's manual/automatic switching. The
// experiment window drives it from its timer; a test drives it in a loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/MeasurementStore.h"
#include "experiment/LiveStepEnd.h"
#include "experiment/MvSlider.h"
#include "experiment/PlantSampler.h"
#include "experiment/SimulatedProcess.h"
#include "model/LiveModel.h"
#include "opc/OpcClient.h"
#include "opc/PlantWriteGate.h"
#include "opc/QualityWait.h"

class Clock;

// The write context of an experiment's writes, until the window names server and log.
inline PlantWriteContext ExperimentWrites() {
  PlantWriteContext c;
  c.Source = PlantWriteSource::Experiment;
  return c;
}

// The safety envelope of a run on a plant: low and high limits of Y1 and Y2 (each may be
// absent) and a longest run time. A sample outside it ends the run (a trip).
struct SafetyEnvelope {
  std::optional<double> Y1Min, Y1Max, Y2Min, Y2Max;
  std::optional<double> MaxDuration;  // s
  bool Empty() const { return !Y1Min && !Y1Max && !Y2Min && !Y2Max && !MaxDuration; }
};

// Where and why the envelope ended a run.
struct EnvelopeTrip {
  enum class Cause { Y1High, Y1Low, Y2High, Y2Low, Duration };
  Cause What = Cause::Y1High;
  double Limit = 0;  // the limit crossed (s for the run time)
  double Value = 0;  // the measurement that crossed it (the sample's time for the run time)
  double Time = 0;   // s, the time of the sample that left the envelope
};

// The first limit a sample breaks (Y1 high, Y1 low, Y2 high, Y2 low, the run time), or
// none. A value equal to its limit is inside; a run time longer than the longest is out.
std::optional<EnvelopeTrip> CheckEnvelope(const SafetyEnvelope& envelope, double time, double y1,
                                          double y2);
// "Y1 nad 85,0 pri 312,0 s", "Y2 pod 3,0 pri 40,0 s", "čas poizkusa nad 600,0 s".
std::string EnvelopeTripText(const EnvelopeTrip& trip, char separator);
// The record's mark, added to the MV column's description: " (ustavljeno: Y1 nad 85,0 pri
// 312,0 s)".
std::string EnvelopeTripMark(const EnvelopeTrip& trip, char separator);
// Why a run whose measurement already breaks a limit does not start (nothing written),
// "" when Y1 and Y2 are inside. A signal whose value is unknown (NaN) is not judged.
std::string EnvelopeStartRefusal(const SafetyEnvelope& envelope, double y1, double y2,
                                 char separator);

// The parameters of one experiment, filled before the run.
struct ExperimentSetup {
  std::string ExperimentLabel;
  std::int32_t SamplePeriodMs = 1000;
  double WaitTime = 0;      // s before the first step
  double StepSize = 0;      // MV units
  double StepDuration = 0;  // s
  std::int32_t NumberOfSteps = 1;
  bool BothDirections = false;
  bool ClosedLoopDuring = false;
  bool ClosedLoopAfter = true;
  bool KeepInitialInput = false;
  double InitialInput = 0;
  bool NoOpcWrite = false;  // record only: nothing written, MV never stepped
  bool PlantConfigured = false;  // meant for a plant: a server chosen, a signal assigned
  char Separator = '.';     // of the texts the run writes (the record's descriptions)
  double MvMax = 100, MvMin = 0, MvStep = 1;  // range and resolution of the MV slider
  OpcItemPtr ItemMV, ItemU, ItemY1, ItemY2;
  bool SingleRASwitch = false;
  OpcItemPtr ItemRA, ItemManual, ItemAuto;
  std::int32_t ManualValue = 0;
  SafetyEnvelope Envelope;
  // An automatic run's step ends once the live model says its response has settled, never
  // before MinimumStepTime; and the sequence ends, MV back at its start, as soon as the
  // model's forecast of Y1 reaches a limit of the envelope within the step.
  bool EndStepWhenSettled = false;
  // How long a link lost during the run is made again before the run gives the plant up.
  std::int32_t ReconnectMs = DefaultReconnectMs;
};

// What one tick took, for the window to show.
struct ExperimentSample {
  double Time = 0;
  double MV = 0, U = 0, Y1 = 0, Y2 = 0;
  bool Simulated = false;
  // The plant had not answered by the period's end: U, Y1 and Y2 hold the previous
  // sample's values (and MV the one the plant last had).
  bool Held = false;
  // The plant's answer came after its own period; it stands for the period it came in.
  bool Late = false;
  // Of a sample the sampler read on its clock: when the answer came after the period's
  // deadline, ms (-1 for held, simulated or hand-driven samples).
  double ReadDelayMs = -1;
  // The experiment has reached its end (last phase over, or the store full); the
  // window ends it after drawing this sample.
  bool EndRequested = false;
  // The MV write the server rejected ("Cannot write Items: ..."); the sample was
  // recorded all the same, with the MV the plant kept.
  std::string Error;
  // Held while the lost link is made again.
  bool Reconnecting = false;
  // The first sample of the plant after the link came back (the MV written again).
  bool Reconnected = false;
};

// What a run met that its record must not hide: counted from Begin to Finish.
struct RunFindings {
  int SimulatedSamples = 0;  // samples of the built-in simulated process
  // Of them, the samples simulated while a server was connected: the MV item did not
  // reach Good quality, and nothing was written to the plant.
  int FallBackSamples = 0;
  int Errors = 0;         // rejected MV writes and typed MVs that were not numbers
  int InvalidValues = 0;  // U, Y1, Y2 values not finite or not Good, replaced
  int HeldSamples = 0;    // periods the plant did not answer in time: previous values held
  int LateSamples = 0;    // answers that came after their period, taken for a later one
  // Where the simulation took over: the first simulated sample (1-based) and its time,
  // s; 0 while every sample is the plant's. Above 1, the link was lost during the run.
  int FirstSimulatedSample = 0;
  double FirstSimulatedTime = 0;
  // The controller's state that could not be restored after the run because the link
  // was lost ("Regulator je ostal v ročnem načinu."); empty when there is none.
  std::string ControllerLeft;
  // The safety envelope ended the run; the record is kept and marked, and the plant's MV
  // and controller mode went back to their state before the run.
  std::optional<EnvelopeTrip> Trip;
  bool TripRestored = false;  // MV and the mode went back through the gate, read back
  // The engineer ended the run before its sequence did (Ctrl-C on the command line): the
  // time of its last sample, s. The record is kept and marked, and not processed.
  std::optional<double> Interrupted;
  // The steps that ended before their set duration, in order; the last one may have ended
  // the sequence before a forecast crossing of a limit.
  std::vector<EarlyStepEnd> EarlyEnds;
  bool EndedBeforeForecast() const { return !EarlyEnds.empty() && EarlyEnds.back().Forecast; }
  int Reconnects = 0;      // links lost during the run and made again
  double RoundTripMs = 0;  // the link's round trip as measured (median); 0 unknown
  double GrantedMs = 0;    // the server's sampling interval of a subscription; 0 reads
  double SampleTime = 0;   // s, the run's period
  bool LinkLost() const { return FirstSimulatedSample > 1; }
};

// The period is shorter than what the link can carry: reads whose round trip is longer
// than the period, or a server that samples more slowly than asked; "" when it is not.
std::string PeriodTooShortText(double sampleTime, double roundTripMs, double grantedMs,
                               char separator = '.');

// Status bar texts of the experiment window.
inline constexpr const char* ConnectedStatusText = "  ";
inline constexpr const char* SimulationStatusText =
    "  Opozorilo: povezava s strežnikom ni vzpostavljena! Simulacija v teku...";
inline constexpr const char* FallBackStatusText =
    "  Opozorilo: točka MV ni dosegla dobre kakovosti! Simulacija v teku, v obrat se nič ne piše.";
// While the lost link is made again ("Povezava je prekinjena, ponovno povezovanje (12 s) …"),
// the seconds left of the reconnect time.
std::string ReconnectingStatusText(int secondsLeft);
inline constexpr const char* HeldStatusText = "Vzorci se zadržujejo";
inline constexpr const char* ReconnectedText =
    "Povezava s strežnikom je spet vzpostavljena; eksperiment se nadaljuje z obratom.";
// Added to the MV column's description of a record that holds simulated samples.
inline constexpr const char* SimulatedRecordMark = " (simulacija)";
inline constexpr const char* NoConnectionMessage =
    "Povezava z OPC streznikom ni vzpostavljena! Aktivirana je simulacija procesa.";

// The shortest sampling time an experiment runs with, s.
constexpr double MinimumSampleTime = 0.05;

// How long the preparation waits for Good quality of the MV item.
constexpr int QualityWaitMs = 3000;

// First sample of the analysis window after an automatic experiment: about 90 % of the
// waiting time into the record, never below 1.
int AnalysisWindowStart(double waitTime, double sampleTime);

// The main window's status text after a run: a simulated record, errors, invalid plant
// values, held and late samples, a controller state not restored; empty when the run met
// none of them.
std::string RunFindingsText(const RunFindings& findings, char separator = '.');
// The same, one finding a line (for the report's first page).
std::vector<std::string> RunFindingsLines(const RunFindings& findings, char separator = '.');
// Where the simulation took over: "od 19,0 s (vzorec 20)" ("" for a record simulated
// from its first sample).
std::string SimulatedFromText(const RunFindings& findings, char separator);
// Where the charts mark the simulation taking over, s: the first simulated sample's time
// on a run meant for a plant (the link lost during the run, or never there); none while
// every sample is the plant's, nor on a run made on the simulation deliberately.
std::optional<double> SimulationTakeOverTime(const RunFindings& findings, bool plantConfigured);
// The state a controller switched for the run keeps when its after-experiment state
// cannot be written ("Regulator je ostal v ročnem načinu."); empty when both are the same.
std::string ControllerStateLeft(const ExperimentSetup& setup);
// The notice when the envelope stopped a run: where and why, and what the plant was put
// back to (or what did not reach it).
std::string TripNoticeText(const RunFindings& findings, char separator);
// The message when the link is lost during a run.
std::string LinkLostText(const RunFindings& findings, const std::string& controllerLeft,
                         char separator);
// The message when the link is lost as the run ends, before the controller's
// after-experiment state could be written (the sampler had not yet met the loss).
std::string LinkLostAtEndText(const std::string& controllerLeft);

class ExperimentRun {
 public:
  ExperimentRun(MeasurementStore& store, OpcClient& opc);
  ~ExperimentRun();

  ExperimentSetup Setup;

  // Run state.
  double MV = 0, U = 0, Y1 = 0, Y2 = 0;
  double ExperimentTime = 0;  // s, time stamp of the next sample
  double PhaseDuration = 0;   // s, length of the present phase
  SimulatedProcess Sim;
  MvSlider Slider;
  // The preparation saw no Good quality of the MV item: the run simulates the process
  // even while a server is connected, as its message announced, and writes nothing to
  // the plant (no MV, no manual/automatic switching).
  bool MvItemUnreachable = false;
  RunFindings Findings;
  // The MV the run began with: a trip puts the plant's MV back to it.
  double StartMV = 0;
  // The controller's mode before the run, read from the plant before the first switch
  // (true: automatic); none when the run switches nothing or the mode could not be read.
  std::optional<bool> ModeBeforeRun;
  // The plant's MV as the preparation read it (on the thread that talks to the plant),
  // for a run that keeps it; Begin takes it rather than asking the item, and clears it.
  std::optional<double> PlantMvAtPreparation;
  // How its writes pass the plant write gate (the server and the log); every write of
  // the run (MV, manual/automatic) is logged there.
  PlantWriteContext Writes = ExperimentWrites();
  // The run simulated while a server was connected: its record is not the plant's.
  bool FellBackToSimulation() const { return Findings.FallBackSamples > 0; }

  // Creation of the window: simulation at rest, time 0.
  void Create();
  // The step-sequence part of an automatic experiment's preparation (the wait for the
  // MV item and the R/A switch are the caller's, in that order).
  void PrepareAutomaticPhases();
  // Showing the window: simulation at rest, time 0, the store emptied for this run and
  // the starting MV chosen. From here on the run records until Finish.
  void Begin();
  // The slider's range from the panel's MV maximum, minimum and step, and the slider
  // placed on the present MV. Called while the time is 0, so MV stays exactly as it is
  // even off the slider's grid.
  void PlaceSlider(double mvMax, double mvMin, double mvStep);
  bool Running() const { return running_; }

  // One sample taken at once on the caller's thread (the simulation, an in-process
  // plant, tests). stepSequence: the step sequence advances (the main window is not in
  // manual mode). A rejected MV write is counted and reported in the sample. Does
  // nothing once the run has ended.
  ExperimentSample Tick(bool stepSequence);

  // The plant sampled on the sampler's own threads and clock from now on (period 0 at
  // once); TakeArrived records what has arrived. Finish stops it.
  void StartSampling();
  bool Sampling() const;
  // Records the samples the sampler has queued, in order; stops after the one that ends
  // the run.
  std::vector<ExperimentSample> TakeArrived(bool stepSequence);
  // The end of a run sampled on the sampler's threads, before Finish: the periods whose
  // deadlines have passed are still taken as they arrive (a subscription's samplings come
  // a publishing interval and a round trip after their period; one that does not come
  // within the sampler's hold is held and marked), none later; after a sample that ended
  // the run (the sequence's end, a trip, the store full, Interrupt) none more. Nothing is
  // commanded from here on. Never waits.
  void EndSampling();
  // Every period up to the end has arrived: a TakeArrived after this takes the last.
  bool LastPeriodsIn() const;
  // Records one period's sample: the state machine that every sample passes, whatever
  // took it.
  ExperimentSample Take(const PlantSample& sample, bool stepSequence);
  // The group whose items the sampler reads in one request (the window's "Skupina1").
  void SetReadGroup(OpcGroup* group) { readGroup_ = group; }
  // The clock of the sampler's deadlines (the system's monotonic clock unless a test
  // gives its own).
  void UseClock(const Clock& clock);
  PlantSampler& Sampler() { return *sampler_; }
  // The engineer ends the run before its sequence does: the next Finish marks the record
  // " (prekinjeno pri 12,0 s)". Nothing is written here.
  void Interrupt();
  // Phase end: the next step up or down, or the end of the sequence.
  void NextStep();
  // Completes the record: SampleTime, the number of samples, at least 10 of them, and
  // the MV description marked when samples were simulated. Returns false (and changes
  // nothing) when the run had already ended. The sampler is told to stop; with
  // waitForSampler it is also waited for (after the samplings of the periods up to the
  // end, EndSampling, and a request in flight, which ends at the latest with the client's
  // time-out), else Sampler().Stop() must follow before the link is used again.
  bool Finish(bool waitForSampler = true);

  // The plant controller's manual/automatic state; nothing is written when recording
  // only or when the MV item was not reached (the run simulates).
  void SwitchToManual();
  void SwitchToAutomatic();
  // The controller's after-experiment state (automatic or manual, as the setup says),
  // written once the sampler has stopped. Never throws: a switch that does not reach the
  // plant (the link lost before or during it, the server refusing it) is noted in
  // Findings.ControllerLeft with the state the controller kept, and counted as an error
  // when the server refused it.
  void SwitchAfterRun();

  // The preparation's part of the envelope, before the first write: the controller's mode
  // read into ModeBeforeRun, and Y1 and Y2 read and judged. Returns why the run may not
  // start ("" when it may). Nothing is written.
  std::string ReadPlantBeforeRun();
  // The preparation's plant part, on the thread that talks to the plant, before the first
  // write: ReadPlantBeforeRun; every item the run writes checked (when check, i.e. the run
  // talks to the plant); the controller put into its state for the run; the plant's MV
  // read for a run that keeps it (when readMV). Why the run may not start, "" when it
  // may; Envelope tells a limit broken at the start. Nothing is written before a refusal.
  // A run that may start and talks to the plant also learns whether its period is
  // shorter than the link can carry (PeriodTooShortBeforeRun).
  struct Preparation {
    std::string Why;
    bool Envelope = false;
    std::string PeriodTooShort;  // PeriodTooShortText before the run; "" when it is not
  };
  Preparation PrepareOnPlant(bool check, bool readMV);
  // Whether the period is shorter than the link can carry, asked of the plant before the
  // run: the round trip of the preparation's reads (the shorter of two) and the sampling
  // interval the server grants a subscription of the run's items (made and deleted at
  // once; none when it offers none, and the run reads). PeriodTooShortText of them.
  std::string PeriodTooShortBeforeRun();
  // After a trip, once the sampler has stopped: MV back to StartMV and the controller back
  // to ModeBeforeRun, through the gate as one set (checked, rolled back on a refusal, read
  // back). Never throws: what did not reach the plant is noted in Findings.ControllerLeft.
  void RestoreAfterTrip();
  // The end of a run on the plant's side: RestoreAfterTrip after a trip, else
  // SwitchAfterRun (switchedForRun: the controller was switched for the run).
  void RestorePlantAfterRun(bool switchedForRun);

  // The user's controls. While the time is 0 (the window being set up) a slider move
  // leaves MV alone. Both return true when MV changed.
  bool SliderMoved(int position);
  // A typed MV (Enter in the value edit): MV := v, then the slider is placed on it; when
  // that moves the slider, MV snaps to the slider's grid. Returns true if it snapped.
  bool ValueTyped(double v);

  // The model of the response so far, Y1 on U (on MV when the plant has no U item), fed
  // with every sample from Begin on. With FitLiveModelHere the run fits it in Take whenever
  // a fit is due (the command line); else its owner fits it off its thread and hands the
  // fit to AcceptLiveFit on the run's thread (the window).
  LiveModel& Live() { return live_; }
  const LiveModel& Live() const { return live_; }
  bool FitLiveModelHere = false;
  // The fit becomes the live model's latest; the forecast is judged on it at once.
  void AcceptLiveFit(const LiveModelFit& fit);
  // The live model's forecast that Y1 reaches a limit of the envelope: within the present
  // step of an automatic sequence (on a fit that has seen the step), else within the
  // longest run time; none when it stays inside, or no fit can tell.
  const std::optional<LimitForecast>& Forecast() const { return forecast_; }

  // This tick talks to the plant: the connection is active, the MV item was reached and
  // the link was not lost during the run.
  bool Connected() const;
  // The lost link is being made again: the seconds of the reconnect time left; none when
  // it is not.
  std::optional<int> ReconnectSecondsLeft() const;

 private:
  double Period() const { return Setup.SamplePeriodMs * 0.001; }
  // The present plant value of a signal (0 U, 1 Y1, 2 Y2, 3 MV) for sample k: the item's
  // value when it is Good and finite; else the previous sample's, counted as invalid.
  double PlantValue(int signal, const PlantReading& reading, double previous, int k);
  void CommandMV();
  class Link;
  // The write that puts the controller into automatic or manual, none when its item is
  // not assigned.
  std::optional<PlantWrite> ModeSwitchWrite(bool automatic) const;
  // Checks the sample against the envelope; a trip ends the run and commands StartMV.
  void CheckEnvelopeAt(double time);
  // The link is gone: no switch is written, and a state the run cannot restore is noted.
  bool LinkLostForSwitch(bool toAutomatic);
  // One write through the gate, as a set of its own; what kept it from the plant, "" when
  // it was written and read back.
  std::string WriteBack(const PlantWrite& write);
  // A step of an automatic sequence is under way (not the wait before the first).
  bool InStep() const;
  // The forecast against the envelope on the latest fit, as of the last sample.
  void JudgeForecast();
  // With EndStepWhenSettled: ends the sequence before a forecast crossing, or the step once
  // the live model says settled; noted in Findings.EarlyEnds.
  void EndStepEarly();

  MeasurementStore& store_;
  OpcClient& opc_;
  bool running_ = false;
  bool endRequested_ = false;
  bool ending_ = false;  // EndSampling: nothing more commanded
  int lastIndex_ = -1;   // the sampler's index of the last sample recorded
  // A signal (U, Y1, Y2, MV) has delivered a valid value in this run. Until it has, its
  // invalid samples have no previous one to keep; its first valid value stands for them.
  bool validSeen_[4] = {false, false, false, false};
  double lastMV_ = 0;  // the MV of the last sample recorded
  std::optional<double> plantMvBeforeRun_;  // the plant's MV the preparation read
  double readBeforeRunMs_ = 0;              // the round trip of its read, ms (0 none)
  const Clock* clock_ = nullptr;            // the sampler's
  OpcGroup* readGroup_ = nullptr;
  std::unique_ptr<PlantLink> link_;
  std::unique_ptr<PlantSampler> sampler_;
  LiveModel live_;
  std::optional<LimitForecast> forecast_;
  double phaseStart_ = 0;      // s, the first sample of the present phase
  bool stepSequence_ = false;  // the last sample advanced the step sequence
};
