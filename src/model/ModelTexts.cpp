#include "model/ModelTexts.h"

#include "data/NumberFormat.h"
#include "model/IdentifyModel.h"
#include "model/IntegratingModel.h"

ModelTexts ShownModelTexts(const MeasurementStore& s, bool outer, int errorDecimals,
                           char separator) {
  ModelTexts t;
  if (KindOf(s, outer) == ProcessKind::Integrating) {
    const IntegratingModel& m = outer ? s.OuterIntegrating : s.InnerIntegrating;
    t.Gain = FormatGeneral(m.Slope, 4, separator);
    t.TimeConstant = FormatFixed(m.Lag, 2, separator);
    t.DeadTime = FormatFixed(m.DeadTime, 1, separator);
    t.StdDev = FormatFixed(m.StdDev, errorDecimals, separator);
    t.GainBound = FormatGeneral(m.SlopeBound, 4, separator);
    t.TimeBound = FormatFixed(m.LagBound, 2, separator);
    t.RelativeError = FormatFixed(m.RelativeError, errorDecimals, separator);
    t.Quality = QualityText(QualityOf(m.RelativeError));
    t.Kind = ProcessKindText(ProcessKind::Integrating);
    return t;
  }
  t.Gain = FormatFixed(outer ? s.OuterGain : s.InnerGain, 3, separator);
  t.TimeConstant = FormatFixed(outer ? s.OuterTimeConstant : s.InnerTimeConstant, 2, separator);
  t.DeadTime = FormatFixed(outer ? s.OuterDeadTime : s.InnerDeadTime, 1, separator);
  t.StdDev = FormatFixed(outer ? s.OuterStdDev : s.InnerStdDev, errorDecimals, separator);
  t.GainBound = FormatFixed(outer ? s.OuterGainBound : s.InnerGainBound, 3, separator);
  t.TimeBound = FormatFixed(outer ? s.OuterTimeBound : s.InnerTimeBound, 2, separator);
  const double r = outer ? s.OuterRelativeError : s.InnerRelativeError;
  t.RelativeError = FormatFixed(r, errorDecimals, separator);
  t.Quality = QualityText(QualityOf(r));
  return t;
}
