// The automatic post-processing of a queued experiment: after its run, the measured data,
// the model, the controller settings and the report land beside its settings file F/L.vtx
// as F/L.vtd, F/L.vtm, F/L.vtc and F/L.docx. One core operation fed by plain records;
// the chart images and the report document come through two small ports, which the gui
// implements with its charts and tests with fakes.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/MeasurementStore.h"
#include "data/Warnings.h"
#include "experiment/ExperimentQueue.h"
#include "experiment/ExperimentRun.h"
#include "experiment/SettingsFile.h"
#include "report/ReportImages.h"
#include "report/TPorocilo.h"
#include "tuning/Recomputation.h"
#include "tuning/Robustness.h"

// Writes the report document from its record (the images lie in the report's folder).
class ReportDocumentPort {
 public:
  virtual ~ReportDocumentPort() = default;
  virtual void CreateReport(const ReportInputs& inputs) = 0;
};

// The program's own ".docx" document.
class DocxReportDocument final : public ReportDocumentPort {
 public:
  void CreateReport(const ReportInputs& inputs) override { TPorocilo().CreateReport(inputs); }
};

// What the chain needs besides the store: the experiment's folder and label, its settings
// as read back from F/L.vtx (the dialog's options, the OPC table, the report's contents),
// the analysis window the run's hand-over set, and the texts of the present moment.
struct PostProcessingJob {
  std::string Folder;  // F, without a final separator
  std::string Label;   // L
  ExperimentSettings Settings;
  int WindowStart = 1, WindowEnd = 2;
  std::string Date, Time;  // now, in the user's short date and long time formats
  std::string StartTime;   // when the record began (long time format); empty: Time
  std::string StartDate;   // the date it began (short date format); empty: Date
  // How long the run waited past its start time before its first sample, s (a box the
  // engineer had open, the MV item's quality); said from a second on.
  double Waited = 0;
  std::string TitleLine;   // the main window's caption
  char Separator = '.';
  // The model the controller step tunes on when the chain identifies none of its own
  // (kept with the entry at its activation).
  std::optional<HeldModel> Model;
  // What the run met (simulated samples and where they began, errors, invalid values),
  // and whether it was meant for a plant (a server is configured). A record of a plant
  // run that is wholly or partly simulated is never processed as the plant's.
  RunFindings Findings;
  bool PlantConfigured = false;
  std::string MvItemId;  // the MV item the run was to write
};

// Why a record the safety envelope stopped is not processed (the queue's stop reason).
std::string EnvelopeStopText(const EnvelopeTrip& trip, char separator);
// Why a simulated record of a plant run is not processed (the queue's stop reason).
std::string SimulatedPlantRecordText(const RunFindings& findings, const std::string& mvItemId,
                                     char separator);
// The report's first line for a run made on the simulation deliberately (no server chosen,
// or no signal of the run assigned in the OPC table).
inline constexpr const char* SimulatedProcessReportNote =
    "Poročilo opisuje simuliran proces: zapis je iz vgrajene simulacije procesa (strežnik OPC "
    "ali točke signalov niso nastavljeni), ne iz obrata.";

// The chain tunes a controller without identifying a model first ("Regulator" on,
// "Model" off, writing to the plant): it needs a model held at the activation.
bool TunesOnHeldModel(const ExperimentSettings& s);
inline constexpr const char* NoHeldModelMessage =
    "Eksperiment ni aktiviran: nastavitev regulatorja brez izračuna modela (\"Regulator\" "
    "vključen, \"Model\" izključen) potrebuje model, program pa nima nobenega. Naložite "
    "model ali ga izračunajte na zavihku \"Model\" ali pa vključite \"Model\" v ostalih "
    "nastavitvah samodejnega poizkusa.";
// The report's line naming the model the controller was tuned on.
std::string ModelSourceNote(const std::string& source);

// The steps in their order; a failing step names itself.
enum class ChainStep {
  DataFile,
  SignalImages,
  RecordOrigin,
  SafetyEnvelope,
  Model,
  Controller,
  Report,
  RunWarnings,
  DeleteImages
};
// "zapis merilnih podatkov", "slike signalov in histogramov", ... (for the status bar).
const char* ChainStepText(ChainStep step);

// A step failed: what() is that step's own error, unchanged, for the error box.
class ChainStepError : public std::runtime_error {
 public:
  ChainStepError(ChainStep step, std::string file, const std::string& what);
  ChainStep Step() const { return step_; }
  const std::string& File() const { return file_; }  // the file the step writes, if any
  // "korak »<step>« (<file>): <error>", the reason the queue stopped.
  std::string Reason() const;

 private:
  ChainStep step_;
  std::string file_;
};

struct PostProcessingResult {
  std::vector<std::string> Files;  // the files written, in order (images not included)
  bool ModelIdentified = false;
  bool ControllerTuned = false;
  ReportInputs Report;                  // the record the report was made from
  std::optional<ResponseCurves> Curves;  // the simulated responses of the controller step
  ControllerPanel Panel;                 // the scaled parameters of the controller step
  ControllerSettings Tuning;             // the method, form and type the controller step used
  std::string Note;                      // a warning of the controller step (sequencer)
  std::optional<RobustnessSet> Robustness;  // the proposals' figures of the controller step
  // What the report's box says: the record's warnings, the model's and the proposals'
  // when those steps ran.
  std::vector<Warning> Warnings;
};

// When the record began: StartDate and StartTime, else the present Date and Time.
std::string StartDateOf(const PostProcessingJob& job);
std::string StartTimeOf(const PostProcessingJob& job);

// F + "/" + L + extension (extension with its dot).
std::string ChainFilePath(const std::string& folder, const std::string& label,
                          const std::string& extension);

// The run's warnings beside its files: F + "/" + L + "-opozorila.txt".
std::string RunWarningsPath(const std::string& folder, const std::string& label);
// That file's lines: what the run is, whether it was processed or stopped and why (a
// stopReason, empty for a processed run), how long it waited past its start time, what the run met
// (RunFindingsLines) and the warnings of the record, the model and the proposals; "Opozoril ni."
// for none.
std::vector<std::string> RunWarningsLines(const PostProcessingJob& job,
                                          const std::vector<Warning>& warnings,
                                          const std::string& stopReason);

// Runs the chain on the conditioned store: data file; the eight signal and histogram
// images; a record of a plant run that is wholly or partly simulated stops here (the
// data file and the images stay), and so does a record the safety envelope stopped; with "Ne piši v
// OPC" off and "Model" on, the identification over the window and the model file and image; with
// "Ne piši v OPC" off and "Regulator" on, the tuning, the simulated responses, the controller file
// and image; the report (processing only when "Ne piši v OPC" is on, with the warnings box and,
// after a controller step, the table "Robustnost regulatorjev"); the run's warnings file; then all
// ten images are deleted. The first failing step ends it with ChainStepError; the files and images
// written before it stay, and the warnings file is written with the reason (as far as the folder
// allows: its own failure never hides the step's).
PostProcessingResult RunPostProcessingChain(const PostProcessingJob& job, MeasurementStore& store,
                                            ReportImagePort& images, ReportDocumentPort& report);
