#include "data/TObdelava.h"

void TObdelava::RemoveInitialLevel(MeasurementStore&, int, int) {}
