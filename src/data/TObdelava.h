// The processing class: data files, signal conditioning and the level removal before
// identification. It holds no state; each operation works on the store it is given.
#pragma once

#include "data/MeasurementStore.h"

class TObdelava {
 public:
  // Fills UDeviation, Y1Deviation, Y2Deviation and WindowTime for window samples
  // 1..end-start+1: the conditioned signals minus their level before the step.
  static void RemoveInitialLevel(MeasurementStore& store, int start, int end);
};
