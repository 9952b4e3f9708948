#include "model/ModelTexts.h"

#include "data/NumberFormat.h"
#include "model/IdentifyModel.h"

ModelTexts ShownModelTexts(const MeasurementStore& s, bool outer, int errorDecimals,
                           char separator) {
  ModelTexts t;
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
