// The recomputation behind the "Regulator" tab, without widgets: tune from the store's
// models, the texts of the summary labels, the recommended sampling time, the simulated
// responses with their axis, and the scaled parameters of the chosen controller form.
// The tab and the command line both show exactly what these return.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/MeasurementStore.h"
#include "tuning/TRegulator.h"

// f = s*sqrt(s)*0.0284605 + 0.1 for slider position s (0 .. 20).
double RobustnessFactor(int sliderPosition);

// A shown number: fixed-point with `decimals`, or "–" for a value that is not finite,
// so no "NAN" or "INF" ever reaches a label, an edit or the controller.
std::string FormatParameter(double value, int decimals, char separator);
extern const char* const NotFiniteText;
// A controller parameter as the summary and the panel show it, and as the load then
// writes it: fixed-point with at least `decimals` decimals, more where needed for four
// significant digits (0.00264 is "0.002640", never "0.003"), so no value is rounded to
// 0 or by more than 0.05 %. Tiny values past 12 decimals in the general format.
std::string FormatControllerParameter(double value, int decimals, char separator);
// The inner loop's P gain of a cascade rounded as the tab shows it (four decimals, four
// significant digits at least): the one number the tab, the question, the plant, the
// simulation and the robustness figures use.
double InnerLoopGainAsShown(double gain);

// Tunes from the store's models into the store's record (the single-loop set, or the
// cascade set with the inner-loop gain, which also lands in the KpP slot) and sets
// RobustnessFactor. A method of -1 counts as 0.
// When the loop's (outer) process is integrating, the integrating rules tune it: the
// slider sets the closed-loop time constant (TuningResult::ClosedLoopTimeConstant) and
// RobustnessFactor is 1; a rule for self-regulating processes then gives zeros, as do
// the integrating rules on a self-regulating process and a cascade around an integrating
// inner process.
void ApplyTuning(MeasurementStore& store, int method, int sliderPosition, bool cascade);
// True when the loop tuned is around an integrating process (the outer one in cascade).
bool UsesIntegratingRules(const MeasurementStore& store, bool cascade);
// The method, or when it is a rule for the other kind of process than the tuned loop's,
// the first rule for that kind (SIMC for an integrating process, the area method for a
// self-regulating one); for the automatic chain and the report command, which have no
// one to choose.
int MethodForKind(const MeasurementStore& store, int method, bool cascade);
// The record ApplyTuning would leave in the store, with the store untouched.
TuningResult TunedRecord(const MeasurementStore& store, int method, int sliderPosition,
                         bool cascade);

// Texts of the eight summary labels and of the recommended sampling time.
struct TuningSummary {
  std::string KpCascade, Ki, KpP, PIKp, PIKi, PIDKp, PIDKi, PIDKd;
  std::string Recommended;
};
TuningSummary SummaryTexts(const MeasurementStore& store, bool cascade, char separator);
// The recommended upper bound of the sampling time, x/10 to three decimals.
double RecommendedSampleTime(const MeasurementStore& store, bool cascade);
// The same for a tuning record other than the store's.
double RecommendedSampleTime(const MeasurementStore& store, const TuningResult& tuning,
                             bool cascade);

// The closed-loop sampling time from its text: empty or not positive falls back to the
// last valid one, which the call then updates. Throws ConversionError for a non-number.
double ResolveSampleTime(std::string_view text, char separator, double& lastValid);

struct Horizon {
  int DeadTimeSamples = 0;  // m
  int Samples = 0;          // n, 10 .. 4999 - m (and never beyond the arrays)
};
Horizon SimulationHorizon(double innerDeadTime, double innerTimeConstant, double h);

// The four proposals as the summary shows them and the simulation applies them: every
// gain times the robustness factor f (Kd·f too, the derivative the panel loads).
struct ProposedControllers {
  LoopController I, P, PI, PID;
};
ProposedControllers ProposedLoopControllers(const TuningResult& tuning, bool cascade);

struct ResponseCurves {
  int N = 0;
  double SampleTime = 0;
  std::vector<double> Time, OpenLoop, YI, YP, YPI, YPID;
};
struct SimulationOutcome {
  std::optional<ResponseCurves> Curves;
  std::string Reason;  // why nothing was simulated (Slovenian, for the status bar)
};
// The open-loop response and the closed-loop responses of the four tuned controllers
// on the store's model(s) with sampling time h; responseKind 0 set-point, 1 disturbance.
SimulationOutcome SimulateResponses(const MeasurementStore& store, double h, int responseKind,
                                    bool cascade);

// Left axis of the response chart: the extremes of the five curves clipped to -1 .. 2,
// widened by a tenth of the range on each side.
struct AxisRange {
  double Minimum = 0, Maximum = 1;
};
AxisRange ResponseAxisRange(const ResponseCurves& curves);

// The scaled-parameters panel: name labels, the three edit texts (empty where the
// controller type has no such term) and the sequencer caption and value.
struct PanelInput {
  int Form = 0, Type = 2;
  bool Cascade = false;
  double ScaleP = 1, ScaleI = 1, ScaleD = 1;
  double SequencerGain = 1;  // q, already checked to be usable
};
struct ControllerPanel {
  std::string NameKp, NameKi, NameKd;
  std::string Kp, Ki, Kd;
  bool ShowKp = false, ShowKi = false, ShowKd = false;
  std::string SequencerCaption, SequencerValue;
  // The controller these parameters set, read in the chosen form and turned into the
  // simulation's parallel gains; the sequencer's division is undone, since the
  // sequencer's slope restores it in the plant.
  LoopController Controller;
};
ControllerPanel ComputeControllerPanel(const TuningResult& tuning, const PanelInput& in,
                                       char separator);
// The panel's three numbers before they are shown (Kp, then Ki, Ti or 1/Ti, then Kd or Td
// by the form); a term the controller type does not have is empty.
struct ScaledParameters {
  std::optional<double> Kp, Ki, Kd;
};
ScaledParameters ScaledControllerParameters(const TuningResult& tuning, const PanelInput& in);
// The controller the panel's numbers set (as shown, or as typed), read in the chosen form
// and turned into the simulation's parallel gains, the sequencer's division undone; what
// the robustness figures beside the load button judge. Scales are already in the numbers.
LoopController ControllerOfPanelValues(const PanelInput& in, const ScaledParameters& values);
// True when the panel shows the proposal itself: every scale its controller type reads is 1
// and its shown edits hold the texts the panel computes from the tuning. The summary's row
// of that type and the panel are then one controller, judged once from what the panel
// shows (which is what a load writes).
bool PanelShowsProposal(const TuningResult& tuning, const PanelInput& in,
                        const ControllerPanel& shown, char separator);
// The gains of the summary labels: the single-loop or cascade set times the robustness
// factor.
ControllerSet ShownGains(const TuningResult& tuning, bool cascade);
// Which of the three scale texts a controller type reads (P, I, D).
struct UsedScales {
  bool P = false, I = false, D = false;
};
UsedScales ScalesUsedBy(int type);

// The sequencer gain q the panel divides by: 1 unless the sequencer is present and
// cascade is on. A characteristic that is flat over the range (q = 0) or gives no
// finite slope counts as 1, and `note` then says so.
double UsableSequencerGain(double rawGain, std::string& note);

// The controller settings file's record: the tab's choices with the store's inner and
// outer models (the eight values the file keeps).
ControllerSettings ControllerSettingsWithModels(ControllerSettings choices,
                                                const MeasurementStore& store);
// A loaded controller settings file's models into the store.
void ApplyControllerModels(const ControllerSettings& settings, MeasurementStore& store);
