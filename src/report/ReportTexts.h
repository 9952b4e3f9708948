// The texts the tabs show for a report's record, computed from the store without a
// window: the statistics labels of the processing tab and the model group of the model
// tab. The same decimals as the labels, so a report says what the tabs say.
#pragma once

#include <array>
#include <string>

#include "data/MeasurementStore.h"
#include "experiment/ReportStandIn.h"

// Maximum, minimum and standard deviation of the conditioned MV, U, Y1, Y2 over samples
// start..end (kept within 1..MaxSamples), general format with 8 significant digits.
std::array<SignalStatisticsTexts, 4> ShownStatistics(const MeasurementStore& store, int start,
                                                     int end, char separator);

struct ModelTexts {
  std::string Gain, TimeConstant, DeadTime, StdDev, RelativeError, Quality;
};
// The inner or outer model as the model tab shows it: gain with 3 decimals, time constant
// 2, dead time 1, standard deviation and relative error `errorDecimals`, quality class.
ModelTexts ShownModelTexts(const MeasurementStore& store, bool outer, int errorDecimals,
                           char separator);
