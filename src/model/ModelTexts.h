// The texts of the model group "Parametri modela" as the model tab shows them: K with 3
// decimals, T 2, L 1, the bounds 3 and 2, standard deviation and relative error with
// the caller's decimals, and the quality class.
#pragma once

#include <string>

#include "data/MeasurementStore.h"

struct ModelTexts {
  std::string Gain, TimeConstant, DeadTime, StdDev, RelativeError, GainBound, TimeBound, Quality;
  std::string Kind;  // "integrirni" for an integrating model, else empty
};
// For an integrating model (the kind in use) the gain's place holds the slope k' with four
// significant digits (its bound too) and the time constant's the lag.

ModelTexts ShownModelTexts(const MeasurementStore& store, bool outer, int errorDecimals,
                           char separator);
