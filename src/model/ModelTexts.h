// The texts of the model group "Parametri modela" as the model tab shows them: K with 3
// decimals, T 2, L 1, the bounds 3 and 2, standard deviation and relative error with
// the caller's decimals, and the quality class.
#pragma once

#include <string>

#include "data/MeasurementStore.h"

struct ModelTexts {
  std::string Gain, TimeConstant, DeadTime, StdDev, RelativeError, GainBound, TimeBound, Quality;
};

ModelTexts ShownModelTexts(const MeasurementStore& store, bool outer, int errorDecimals,
                           char separator);
