#include "report/ReportTexts.h"

#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "model/ModelWarnings.h"

std::array<SignalStatisticsTexts, 4> ShownStatistics(const MeasurementStore& store, int from,
                                                     int to, char separator) {
  std::array<SignalStatisticsTexts, 4> out;
  const SampleArray* signals[] = {&store.MVConditioned, &store.UConditioned, &store.Y1Conditioned,
                                  &store.Y2Conditioned};
  for (size_t i = 0; i < 4; ++i) {
    const WindowStats s = TObdelava::WindowStatistics(*signals[i], from, to);
    out[i] = {FormatGeneral(s.Maximum, 8, separator), FormatGeneral(s.Minimum, 8, separator),
              FormatGeneral(s.StdDev, 8, separator)};
  }
  return out;
}

void SetModelTexts(ReportInputs& in, const ModelTexts& model) {
  in.ModelGain = model.Gain;
  in.ModelTimeConstant = model.TimeConstant;
  in.ModelDeadTime = model.DeadTime;
  in.ModelStdDev = model.StdDev;
  in.ModelRelativeError = model.RelativeError;
  in.ModelQuality = model.Quality;
  in.ModelKind = model.Kind;
}

void SetControllerTexts(ReportInputs& in, const TuningSummary& summary,
                        const ControllerPanel& panel) {
  in.IKi = summary.Ki;
  in.PKp = summary.KpP;
  in.PIKp = summary.PIKp;
  in.PIKi = summary.PIKi;
  in.PIDKp = summary.PIDKp;
  in.PIDKi = summary.PIDKi;
  in.PIDKd = summary.PIDKd;
  in.ScaledKp = panel.Kp;
  in.ScaledKi = panel.Ki;
  in.ScaledKd = panel.Kd;
}

void SetRobustnessTexts(ReportInputs& in, const RobustnessSet& set, char separator) {
  in.Robustness = RobustnessTableRows(set, separator);
  in.RobustnessSampleTime =
      set.Reason.empty() && set.SampleTime > 0 ? FormatGeneral(set.SampleTime, 6, separator) : "";
}

std::vector<std::string> RecordAboutLines(const std::string& label, const std::string& fileName,
                                          const std::string& date, const std::string& time) {
  std::vector<std::string> lines;
  if (!fileName.empty()) {
    lines.push_back("Datoteka: " + fileName);
    const std::string when = date + (date.empty() || time.empty() ? "" : " ") + time;
    if (!when.empty()) lines.push_back("Datum zapisa: " + when);
    return lines;
  }
  if (!label.empty()) lines.push_back("Eksperiment: " + label);
  if (!date.empty()) lines.push_back("Datum: " + date);
  if (!time.empty()) lines.push_back("Začetek: " + time);
  return lines;
}

std::string TuningMethodText(int method) {
  static const char* const names[] = {"Metoda provršin - sledenje",
                                      "Metoda provršin - motnja",
                                      "Chien-Hrones-Reswick - sledenje",
                                      "Chien-Hrones-Reswick - motnja",
                                      "Metoda uravnoteženja",
                                      "Ziegler-Nichols - motnja"};
  if (method == -1) method = 0;
  return method >= 0 && method < 6 ? names[method] : "";
}

std::string ResponseKindText(int kind) {
  return kind == 1 ? "Odziv na motnjo" : "Odziv na referenco";
}

void SetTuningTexts(ReportInputs& in, int method, int responseKind, bool cascade,
                    const MeasurementStore& store, const std::string& innerLoopGain,
                    char separator) {
  in.TuningMethod = TuningMethodText(method);
  in.ResponseKind = ResponseKindText(responseKind);
  in.Cascade = cascade;
  if (!cascade) return;
  in.InnerModel = ShownModelTexts(store, false, 5, separator);
  in.OuterModel = ShownModelTexts(store, true, 5, separator);
  in.InnerLoopGain = innerLoopGain;
}

void SetWarningTexts(ReportInputs& in, const std::vector<Warning>& warnings) {
  in.Warnings.clear();
  for (const Warning& w : warnings) in.Warnings.push_back(w.Text);
}

std::vector<Warning> ReportWarnings(const MeasurementStore& store, int start, int end,
                                    bool modelSection, bool regulatorSection, bool cascade,
                                    const RobustnessSet* proposals, char separator) {
  WarningScope scope = ModelWarningScope(store, start, end, cascade, modelSection, separator);
  if (regulatorSection && proposals) scope.Proposals = WarningFiguresOf(*proposals);
  return CollectWarnings(store, scope);
}
