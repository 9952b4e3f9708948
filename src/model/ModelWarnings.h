// The figures of a record's models as the warnings judge them.
#pragma once

#include "data/MeasurementStore.h"
#include "data/Warnings.h"

// The scope for the store's record in the window start..end, with Y2 when `outer`: the
// models' kinds (the drift check judges an integrating response by its slope) and, with
// `judgeModels`, the models' quality, time constants and the sampling check.
WarningScope ModelWarningScope(const MeasurementStore& store, int start, int end, bool outer,
                               bool judgeModels, char separator);
