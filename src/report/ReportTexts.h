// The report's texts as the tabs show them, for a report made without the windows
// (the command line): statistics in the general format with 8 significant digits,
// the model group's texts, the tuning summary and the scaled parameters.
#pragma once

#include <array>

#include "data/MeasurementStore.h"
#include "model/ModelTexts.h"
#include "report/TPorocilo.h"
#include "tuning/Recomputation.h"

// MV, U, Y1, Y2 over samples from..to of the conditioned signals.
std::array<SignalStatisticsTexts, 4> ShownStatistics(const MeasurementStore& store, int from,
                                                     int to, char separator);
void SetModelTexts(ReportInputs& in, const ModelTexts& model);
void SetControllerTexts(ReportInputs& in, const TuningSummary& summary,
                        const ControllerPanel& panel);
