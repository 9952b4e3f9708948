// The report's texts as the tabs show them, for a report made without the windows
// (the command line): statistics in the general format with 8 significant digits,
// the model group's texts, the tuning summary, the scaled parameters and the robustness.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "data/MeasurementStore.h"
#include "data/Warnings.h"
#include "model/ModelTexts.h"
#include "report/TPorocilo.h"
#include "tuning/Recomputation.h"
#include "tuning/Robustness.h"

// MV, U, Y1, Y2 over samples from..to of the conditioned signals.
std::array<SignalStatisticsTexts, 4> ShownStatistics(const MeasurementStore& store, int from,
                                                     int to, char separator);
void SetModelTexts(ReportInputs& in, const ModelTexts& model);
void SetControllerTexts(ReportInputs& in, const TuningSummary& summary,
                        const ControllerPanel& panel);
// The table "Robustnost regulatorjev" of the proposals as the tab shows it.
void SetRobustnessTexts(ReportInputs& in, const RobustnessSet& set, char separator);

// The lines under the title that say what the report is about: for a loaded record
// "Datoteka: <name>" and "Datum zapisa: <date> <time>", for a run "Eksperiment: <label>"
// (when it has one), "Datum: <date>" and "Začetek: <time>". Empty parts are left out.
std::vector<std::string> RecordAboutLines(const std::string& label, const std::string& fileName,
                                          const std::string& date, const std::string& time);
// The names of the tuning methods (0..5; other: empty) and of the response kinds as the
// "Regulator" tab lists them.
std::string TuningMethodText(int method);
std::string ResponseKindText(int kind);
// Method, response kind and, in cascade, both models and the inner loop's gain.
void SetTuningTexts(ReportInputs& in, int method, int responseKind, bool cascade,
                    const MeasurementStore& store, const std::string& innerLoopGain,
                    char separator);
// The report's warnings box from the warnings.
void SetWarningTexts(ReportInputs& in, const std::vector<Warning>& warnings);

// The report box: the warnings that concern the sections the report holds (the record's
// always, the model's with "Model", the proposals' with "Regulator").
std::vector<Warning> ReportWarnings(const MeasurementStore& store, int start, int end,
                                    bool modelSection, bool regulatorSection, bool cascade,
                                    const RobustnessSet* proposals, char separator);
