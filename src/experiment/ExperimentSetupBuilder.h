// The setup of an experiment, built from the plain record of its settings: the one path
// the manual activation, the queue's activation and the scheduler all take. Every number
// is read and checked before anything changes, so a text that is not a number leaves the
// record, the plant group and the windows exactly as they were.
#pragma once

#include <array>
#include <string>

#include "experiment/ExperimentRun.h"
#include "experiment/SettingsFile.h"
#include "tuning/TRegulator.h"

enum class ExperimentKind { Manual, Automatic };

// The activation's corrections of the two times: a sampling time below 0.05 s becomes
// 0.05 (shortest form), a waiting time below two sampling times becomes two (general
// format, 10 digits). Changes only the texts it corrects; a text that is not a number
// throws ConversionError before anything is changed.
void CorrectSampleAndWaitTimes(ExperimentSettings& settings, char separator);

// The reconnect time of the settings ("30", s) in ms; "" the default. Throws
// ConversionError for no number, ConversionError also for one below 0 or above a day.
std::int32_t ReconnectMsOf(const std::string& seconds, char separator);

// The numbers of the run from the record, with the user's decimal separator: sampling
// period, initial input, the MV slider's range and the controller switching; for an
// automatic run also the waiting time and the steps. Items stay empty. Throws
// ConversionError ("'x' is not a valid floating point value", "... integer value") for
// the first text that is not a number.
ExperimentSetup ReadExperimentSetup(const ExperimentSettings& settings, ExperimentKind kind,
                                    char separator);

// The safety envelope from its texts ("" or blanks for none), with the user's decimal
// separator. Throws ConversionError for a text that is not a number, and
// std::invalid_argument (Slovenian) for a low limit above its high one or a longest run
// time that is not above 0.
SafetyEnvelope ReadSafetyEnvelope(const ExperimentSettings& settings, char separator);

// The run is meant for a plant: a server is chosen and the OPC table assigns at least one
// of the signals the run writes or reads (MV, U, Y1, Y2). Otherwise a run on the built-in
// simulation is the engineer's deliberate choice.
bool RunMeantForPlant(const ExperimentSettings& settings);

// Empties the group and adds the experiment's items from the record's OPC table: U, MV,
// Y1, Y2, then the R/A item (one switch) or the manual and automatic items (two).
void AddExperimentItems(ExperimentSetup& setup, const ExperimentSettings& settings,
                        OpcGroup& group);

// The descriptions of the record's OPC table rows 0..5: the names of data columns 1..6.
std::array<std::string, 6> ExperimentColumnNames(const ExperimentSettings& settings);

// What the scheduler copies from the automatic run's options (the dialog's part of the
// record) into the tabs that condition, identify, tune and report, as plain values.
struct AutomaticOptions {
  std::string FilterTime, ActuatorMaximum, ActuatorMinimum, ActuatorVelocity;
  bool OuterModel = false;
  // The regulator tab's choices; the model values stay 0 and are not copied.
  ControllerSettings Tuning;
  bool ReportProcessing = true, ReportModel = true, ReportController = true;
};
AutomaticOptions AutomaticOptionsOf(const ExperimentSettings& settings);
