#include "report/ReportTexts.h"

#include <algorithm>

#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "model/IdentifyModel.h"

std::array<SignalStatisticsTexts, 4> ShownStatistics(const MeasurementStore& store, int start,
                                                     int end, char separator) {
  const SampleArray* const signals[4] = {&store.MVConditioned, &store.UConditioned,
                                         &store.Y1Conditioned, &store.Y2Conditioned};
  const int from = std::max(start, 1), to = std::min(end, MaxSamples);
  std::array<SignalStatisticsTexts, 4> texts;
  for (size_t i = 0; i < texts.size(); ++i) {
    const WindowStats s = TObdelava::WindowStatistics(*signals[i], from, to);
    texts[i] = {FormatGeneral(s.Maximum, 8, separator), FormatGeneral(s.Minimum, 8, separator),
                FormatGeneral(s.StdDev, 8, separator)};
  }
  return texts;
}

ModelTexts ShownModelTexts(const MeasurementStore& s, bool outer, int errorDecimals,
                           char separator) {
  const double relativeError = outer ? s.OuterRelativeError : s.InnerRelativeError;
  return {FormatFixed(outer ? s.OuterGain : s.InnerGain, 3, separator),
          FormatFixed(outer ? s.OuterTimeConstant : s.InnerTimeConstant, 2, separator),
          FormatFixed(outer ? s.OuterDeadTime : s.InnerDeadTime, 1, separator),
          FormatFixed(outer ? s.OuterStdDev : s.InnerStdDev, errorDecimals, separator),
          FormatFixed(relativeError, errorDecimals, separator),
          QualityText(QualityOf(relativeError))};
}
