#include "report/ReportTexts.h"

#include "data/NumberFormat.h"
#include "data/TObdelava.h"

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
}
