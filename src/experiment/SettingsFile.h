// The experiment settings file (".vtx"): a plain record of every stored control value,
// the lines built from it (98, then the lines added since), applying a list of lines back to it,
// and the proposed name.
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "data/TextFile.h"  // ListIndexError

// Line indices of the file; the experiment queue reads some of them directly.
namespace SettingsLine {
constexpr int Count = 98;
constexpr int ServerName = 0;
constexpr int ItemIdsFirst = 1;        // 1..18: item IDs of the stored table rows
constexpr int DescriptionsFirst = 19;  // 19..36: descriptions of the stored table rows
constexpr int RaSwitchInner = 37;
constexpr int ManualValueInner = 38;
constexpr int RaSwitchOuter = 39;
constexpr int ManualValueOuter = 40;
constexpr int SampleTime = 41;
constexpr int KeepInitialInput = 42;
constexpr int InitialInput = 43;
constexpr int WaitTime = 44;
constexpr int StepSize = 45;
constexpr int StepDuration = 46;
constexpr int NumberOfSteps = 47;
constexpr int BothDirections = 48;
constexpr int ClosedLoopDuring = 49;
constexpr int NoOpcWrite = 50;
constexpr int ManualMode = 51;
constexpr int MvMax = 52;
constexpr int MvMin = 53;
constexpr int MvStep = 54;
constexpr int FilterTime = 55;
constexpr int ActuatorMaximum = 56;  // written again at 62; the later line wins
constexpr int ActuatorMinimum = 57;
constexpr int ActuatorVelocity = 58;
constexpr int TuningMethod = 59;
constexpr int ClosedLoopSampleTime = 60;
constexpr int Robustness = 61;
constexpr int ActuatorMaximumAgain = 62;
constexpr int Cascade = 63;
constexpr int LoadIntoController = 64;
constexpr int ResponseView = 65;
constexpr int ControllerForm = 66;
constexpr int ScaleP = 67;
constexpr int ScaleI = 68;
constexpr int ScaleD = 69;
constexpr int ControllerType = 70;
constexpr int ReportProcessing = 71;
constexpr int ReportModel = 72;
constexpr int ReportController = 73;
constexpr int ReportTemplate = 74;
constexpr int StartTime = 75;
constexpr int ClosedLoopAfter = 76;
constexpr int SequencerPresent = 77;
constexpr int SequencerFirst = 78;  // 78 + 2r: "Vhod" of row r, 79 + 2r: "Izhod"
// Lines added after the 98 of the older format; a file without them still reads, and
// older readers ignore them. (Keep this list in the order the file writes them.)
// The safety envelope: Y1 min, Y1 max, Y2 min, Y2 max, the longest run time (each empty
// for none); a file without them has no envelope.
constexpr int EnvelopeFirst = 98;
constexpr int EnvelopeLines = 5;
constexpr int CountWithEnvelope = EnvelopeFirst + EnvelopeLines;
// The time a lost link is made again during a run, s; a file without it keeps 30 s.
constexpr int ReconnectTime = CountWithEnvelope;
// "Končaj stopnico, ko se odziv umiri" of the automatic experiment ("True"/"False"); a file
// without it has the option off.
constexpr int EndStepWhenSettled = ReconnectTime + 1;
constexpr int CountWithAdded = EndStepWhenSettled + 1;
}  // namespace SettingsLine

// The OPC table rows that the file stores, in file order (rows 6 and 13 are headings).
constexpr std::array<int, 18> StoredOpcRows = {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12,
                                               14, 15, 16, 17, 18, 19};
constexpr int OpcTableRows = 20;
constexpr int SequencerRows = 10;

// Every value the file stores, as the controls hold it. Texts are the controls' texts,
// integers list positions (-1 for no selection), booleans check states. The defaults are
// the form's values at start-up.
struct ExperimentSettings {
  std::string ServerName;                          // ComboBox2: selected entry, "" if none
  std::array<std::string, OpcTableRows> ItemIds;   // OPCTabela column 0
  std::array<std::string, OpcTableRows> Descriptions;  // OPCTabela column 1
  int RaSwitchInner = 1;                           // RadioGroup4
  int ManualValueInner = 0;                        // ComboBox3
  int RaSwitchOuter = 1;                           // RadioGroup5
  int ManualValueOuter = 0;                        // ComboBox4
  std::string SampleTime = "1";                    // CasVzorcenjaEdit
  bool KeepInitialInput = false;                   // OhraniZacetniVhod
  std::string InitialInput = "0";                  // ZacetniVhodEdit
  std::string WaitTime = "0";                      // CasCakanjaEdit
  std::string StepSize = "0";                      // VelikostStopniceEdit
  std::string StepDuration = "0";                  // CasStopniceEdit
  std::string NumberOfSteps = "1";                 // SteviloStopnicEdit
  bool BothDirections = false;                     // CheckBox_ObeSmeri
  bool ClosedLoopDuring = false;                   // CheckBox_Zaprtozancni
  bool NoOpcWrite = false;                         // CheckBox_NePisi
  bool ManualMode = false;                         // RadioRocno (else RadioAvtomatsko)
  std::string MvMax = "100";                       // Edit_MVMax
  std::string MvMin = "0";                         // Edit_MVMin
  std::string MvStep = "1";                        // Edit_MVStep
  std::string FilterTime = "0";                    // Edit_Sam_Filt
  std::string ActuatorMaximum = "100";             // Edit_Sam_Max
  std::string ActuatorMinimum = "0";               // Edit_Sam_Min
  std::string ActuatorVelocity = "1";              // Edit_Sam_Velocity
  int TuningMethod = -1;                           // ComboBox_Sam_IzbMetode
  std::string ClosedLoopSampleTime = "1";          // Edit_Sam_Ts
  int Robustness = 10;                             // ScrollBar_Sam_Robust
  bool Cascade = false;                            // CheckBox_Sam_Cascade
  bool LoadIntoController = false;                 // CheckBox_Sam_Nalozi
  int ResponseView = 0;                            // RadioGroup_Sam_Prikaz
  int ControllerForm = -1;                         // ComboBox_Sam_TipReg
  std::string ScaleP = "1";                        // Edit_Sam_SkalP
  std::string ScaleI = "1";                        // Edit_Sam_SkalI
  std::string ScaleD = "1";                        // Edit_Sam_SkalD
  int ControllerType = 2;                          // RadioGroup_Sam_PID
  bool ReportProcessing = true;                    // CheckBox_Sam_PorocObd
  bool ReportModel = true;                         // CheckBox_Sam_PorocMod
  bool ReportController = true;                    // CheckBox_Sam_PorocReg
  std::string ReportTemplate = "normal.dot";       // Label13 of the dialog
  std::string StartTime = "12:00:00";              // CajtZacetka
  bool ClosedLoopAfter = true;                     // CheckBox_ZZPoPoizkusu
  bool SequencerPresent = false;                   // CheckBox_Sekvencer
  std::array<std::array<std::string, 2>, SequencerRows> Sequencer;  // StringGrid_Sekvencer
  // "Varnostne meje": texts of the limits and of the longest run time, "" for none.
  std::string Y1Min, Y1Max, Y2Min, Y2Max;  // Edit_Y1Min, Edit_Y1Max, Edit_Y2Min, Edit_Y2Max
  std::string MaxDuration;                 // Edit_NajdaljsiCas
  // Added lines (no control of the window): the reconnect time of a run, s.
  std::string ReconnectTime = "30";
  // "Končaj stopnico, ko se odziv umiri".
  bool EndStepWhenSettled = false;  // CheckBox_KoncajObUmiritvi

  bool operator==(const ExperimentSettings&) const = default;
};

// The lines of the file, index 0 first: the 98 of the older format, then the envelope's,
// the reconnect time and the option that ends a settled step.
std::vector<std::string> SettingsLines(const ExperimentSettings& settings);

// Applies lines 0..97 to the record in index order, then the envelope's lines 98..102 (a
// file that ends before them has no envelope: those texts become empty) and the reconnect
// time's line 103 (where it is missing, the default stays) and line 104, the option that ends
// a settled step (off where it is missing); later lines are ignored. A
// missing line of 0..97 throws ListIndexError, an integer line that is not an integer
// ConversionError
// ("'<text>' is not a valid integer value"); the values applied before keep their new
// values, the rest their old ones.
void ApplySettingsLines(const std::vector<std::string>& lines, ExperimentSettings& settings);

// The three ways the file's boolean lines are read back.
bool IsOneOrTrue(std::string_view line);          // "1", "True"
bool IsTrueAnyCaseOrOne(std::string_view line);   // "True", "true", "1"
bool IsTrueOnly(std::string_view line);           // "True"

// Position of the first server equal to name with letter case ignored, -1 if none (an
// empty name matches no server).
int FindServerIgnoringCase(const std::vector<std::string>& servers, std::string_view name);

// The name proposed when saving: the start time with ":" -> "_", "__", the short date
// with "." -> "_", ".vtx"; folder separators ("/", "\") -> "_", so it is a bare name.
// "12:00:00" and "6.12.2026" give "12_00_00__6_12_2026.vtx".
std::string ProposedSettingsFileName(std::string_view startTime, std::string_view shortDate);

// The folder a saved file's path puts into LastDirectory: the folder without its final
// separator, except for a drive root ("C:\a.vtx" -> "C:\") and the root "/".
std::string SettingsFolderOf(const std::string& path);
