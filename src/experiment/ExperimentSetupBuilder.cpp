#include "experiment/ExperimentSetupBuilder.h"

#include <stdexcept>
#include <tuple>

#include "data/NumberFormat.h"
#include "data/NumericHelpers.h"

namespace {

// OPC table rows of the experiment's items.
constexpr int RowMV = 0, RowU = 2, RowY1 = 4, RowY2 = 5;
constexpr int RowRA = 10, RowManual = 11, RowAuto = 12;
// "R/A preklop" item "Ročno + Avtomatsko": the controller is switched by two items.
constexpr int TwoItemRASwitch = 1;

}  // namespace

void CorrectSampleAndWaitTimes(ExperimentSettings& s, char separator) {
  double ts = ParseFloat(s.SampleTime, separator);
  const double wait = ParseFloat(s.WaitTime, separator);
  if (ts < MinimumSampleTime) {
    ts = MinimumSampleTime;
    s.SampleTime = FormatShortest(ts, separator);
  }
  if (wait < 2 * ts) s.WaitTime = FormatGeneral(2 * ts, 10, separator);
}

std::int32_t ReconnectMsOf(const std::string& seconds, char separator) {
  if (seconds.empty()) return DefaultReconnectMs;
  const double s = ParseFloat(seconds, separator);
  // A day is longer than any engineer waits for a link; 0 gives the plant up at once.
  if (!(s >= 0 && s <= 86'400)) {
    const std::string why =
        "Čas ponovnega povezovanja mora biti med 0 in 86400 s ('" + seconds + "').";
    throw ConversionError(why, why);
  }
  return RoundToInt(s * 1000);
}

ExperimentSetup ReadExperimentSetup(const ExperimentSettings& s, ExperimentKind kind,
                                    char separator) {
  ExperimentSetup setup;
  setup.SamplePeriodMs = RoundToInt(ParseFloat(s.SampleTime, separator) * 1000);
  setup.Separator = separator;
  setup.ReconnectMs = ReconnectMsOf(s.ReconnectTime, separator);
  setup.InitialInput = ParseFloat(s.InitialInput, separator);
  setup.MvMax = ParseFloat(s.MvMax, separator);
  setup.MvMin = ParseFloat(s.MvMin, separator);
  setup.MvStep = ParseFloat(s.MvStep, separator);
  if (kind == ExperimentKind::Automatic) {
    setup.WaitTime = ParseFloat(s.WaitTime, separator);
    setup.StepSize = ParseFloat(s.StepSize, separator);
    setup.StepDuration = ParseFloat(s.StepDuration, separator);
    setup.NumberOfSteps = ParseInt(s.NumberOfSteps);
    setup.BothDirections = s.BothDirections;
    setup.EndStepWhenSettled = s.EndStepWhenSettled && !s.NoOpcWrite;
  }
  setup.KeepInitialInput = s.KeepInitialInput;
  setup.ClosedLoopDuring = s.ClosedLoopDuring;
  setup.ClosedLoopAfter = s.ClosedLoopAfter;
  setup.NoOpcWrite = s.NoOpcWrite;
  setup.PlantConfigured = RunMeantForPlant(s);
  setup.SingleRASwitch = s.RaSwitchInner != TwoItemRASwitch;
  setup.ManualValue = s.ManualValueInner;
  setup.Envelope = ReadSafetyEnvelope(s, separator);
  return setup;
}

SafetyEnvelope ReadSafetyEnvelope(const ExperimentSettings& s, char separator) {
  const auto read = [separator](const std::string& text) -> std::optional<double> {
    if (text.find_first_not_of(" \t") == std::string::npos) return std::nullopt;
    return ParseFloat(text, separator);
  };
  SafetyEnvelope e;
  e.Y1Min = read(s.Y1Min);
  e.Y1Max = read(s.Y1Max);
  e.Y2Min = read(s.Y2Min);
  e.Y2Max = read(s.Y2Max);
  e.MaxDuration = read(s.MaxDuration);
  for (const auto& [name, low, high] :
       {std::tuple{"Y1", e.Y1Min, e.Y1Max}, {"Y2", e.Y2Min, e.Y2Max}})
    if (low && high && *low > *high)
      throw std::invalid_argument(std::string("Varnostne meje: spodnja meja ") + name + " (" +
                                  FormatShortest(*low, separator) + ") je nad zgornjo (" +
                                  FormatShortest(*high, separator) + ").");
  if (e.MaxDuration && !(*e.MaxDuration > 0))
    throw std::invalid_argument("Varnostne meje: najdaljši čas poizkusa mora biti večji od 0 s.");
  return e;
}

bool RunMeantForPlant(const ExperimentSettings& s) {
  if (s.ServerName.empty()) return false;
  for (int row : {RowMV, RowU, RowY1, RowY2})
    if (!s.ItemIds[row].empty()) return true;
  return false;
}

void AddExperimentItems(ExperimentSetup& setup, const ExperimentSettings& s, OpcGroup& group) {
  group.RemoveAllItems();
  const auto add = [&](int row) { return group.AddItem(s.ItemIds[row]); };
  setup.ItemU = add(RowU);
  setup.ItemMV = add(RowMV);
  setup.ItemY1 = add(RowY1);
  setup.ItemY2 = add(RowY2);
  setup.ItemRA = setup.ItemManual = setup.ItemAuto = nullptr;
  if (setup.SingleRASwitch) {
    setup.ItemRA = add(RowRA);
  } else {
    setup.ItemManual = add(RowManual);
    setup.ItemAuto = add(RowAuto);
  }
}

std::array<std::string, 6> ExperimentColumnNames(const ExperimentSettings& s) {
  std::array<std::string, 6> names;
  for (int row = 0; row < 6; ++row) names[row] = s.Descriptions[row];
  return names;
}

AutomaticOptions AutomaticOptionsOf(const ExperimentSettings& s) {
  AutomaticOptions o;
  o.FilterTime = s.FilterTime;
  o.ActuatorMaximum = s.ActuatorMaximum;
  o.ActuatorMinimum = s.ActuatorMinimum;
  o.ActuatorVelocity = s.ActuatorVelocity;
  o.OuterModel = s.Cascade;
  o.Tuning.Method = s.TuningMethod;
  o.Tuning.SamplingTimeText = s.ClosedLoopSampleTime;
  o.Tuning.Slider = s.Robustness;
  o.Tuning.ResponseKind = s.ResponseView;
  o.Tuning.Form = s.ControllerForm;
  o.Tuning.ScaleP = s.ScaleP;
  o.Tuning.ScaleI = s.ScaleI;
  o.Tuning.ScaleD = s.ScaleD;
  o.Tuning.Type = s.ControllerType;
  o.Tuning.Cascade = s.Cascade;
  o.ReportProcessing = s.ReportProcessing;
  o.ReportModel = s.ReportModel;
  o.ReportController = s.ReportController;
  return o;
}
