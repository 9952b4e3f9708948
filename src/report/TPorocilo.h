// report/ makes the report: the document, its texts and images, .docx and PDF. Its ui/ holds the
// report tab.
//
// The report: its inputs as one plain record (the texts the tabs show), the document
// typed from them, and saving it as ".docx" or PDF. The report button, the automatic
// post-processing and the command line fill the same record.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "data/MeasurementStore.h"
#include "model/ModelTexts.h"
#include "report/ReportDocument.h"
#include "report/ReportImages.h"
#include "report/ReportTemplate.h"

// Maximum, minimum and standard deviation of one signal as its labels show them.
struct SignalStatisticsTexts {
  std::string Maximum, Minimum, StdDev;
};

struct ReportInputs {
  std::string TitleLine;  // the main window's caption, with its leading blank
  // What the report is about, a line each under the title (RecordAboutLines).
  std::vector<std::string> AboutLines;
  // The box "Opozorila" on the first page, a row per warning; none: no box.
  std::vector<std::string> Warnings;
  // The model group of the "Model" tab.
  std::string ModelGain, ModelTimeConstant, ModelDeadTime, ModelStdDev, ModelRelativeError,
      ModelQuality;
  // "integrirni" for an integrating model (ModelGain then holds the slope k', the time
  // constant its lag); empty for a first-order model, whose section stays as it was.
  std::string ModelKind;
  // The summary of the "Regulator" tab and its scaled parameters.
  std::string IKi, PKp, PIKp, PIKi, PIDKp, PIDKi, PIDKd;
  std::string ScaledKp, ScaledKi, ScaledKd;
  // "Robustnost regulatorjev" after the controller table: its header row and a row per
  // proposal (Ms, gain margin, phase margin as the tab shows them); empty: no table.
  std::vector<std::array<std::string, 4>> Robustness;
  // The sampling time [s] of the discrete controllers the figures are for, as text;
  // empty: not said.
  std::string RobustnessSampleTime;
  // The tuning method and the response kind, named in the "Regulator" section (empty:
  // left out).
  std::string TuningMethod, ResponseKind;
  // A cascade: the model section shows the inner and the outer model, the regulator
  // section the inner loop's gain ("Ojačenje notranje zanke").
  bool Cascade = false;
  ModelTexts InnerModel, OuterModel;
  std::string InnerLoopGain;
  bool SectionObdelava = true, SectionModel = true, SectionRegulator = true;
  std::string Template = "normal.dot";
  std::string ReportPath;
  std::string OpcServer;  // named only when not empty (a record made on the plant)
  // Columns 0 (item ID) and 1 (description) of the OPC table, rows 0..19.
  std::array<std::string, 20> OpcItemIds{}, OpcDescriptions{};
  // MV, U, Y1, Y2.
  std::array<SignalStatisticsTexts, 4> Statistics{};
  bool CloseAfterSaving = false;
  // What the first page says about the record and the model before anything else (a
  // simulated record, the run's warnings, the model's source): one paragraph each.
  std::vector<std::string> FirstPageNotes;
};

// Writes a report document in a format the core does not write itself (PDF, by the
// gui). The path ends in ".pdf"; the write replaces the file only when it succeeds.
class ReportFileWriter {
 public:
  virtual ~ReportFileWriter() = default;
  virtual void Write(const std::string& path, const ReportDocument& document,
                     const ReportTemplate& templ) const = 0;
};

// The report's file name from the name chosen: ".docx" and ".pdf" stay, ".doc" becomes
// ".docx", any other name gets the chosen filter's extension appended (".pdf" when the
// PDF filter was chosen, else ".docx").
std::string ReportPathFor(const std::string& chosen, bool pdfChosen = false);
bool IsPdfPath(const std::string& path);

class TPorocilo {
 public:
  // pdf writes ".pdf" reports; without one a ".pdf" path is an error.
  explicit TPorocilo(const ReportFileWriter* pdf = nullptr) : pdf_(pdf) {}

  // Loads the template (an error before anything is written), types the document with
  // the pictures from the report's folder and saves it under in.ReportPath.
  void CreateReport(const ReportInputs& in) const;
  // The same with the ten chart images: the template is loaded first, then the images
  // are exported into the report's folder, the report written, and the images deleted
  // (also when the report fails). What the report button, the automatic
  // post-processing and the command line run.
  void CreateReport(const ReportInputs& in, ReportImagePort& images, MeasurementStore& store,
                    const ReportImageRequest& request) const;

  // The document alone; pictures are read from imageFolder (no trailing separator).
  static ReportDocument BuildReport(const ReportInputs& in, const std::string& imageFolder);

 private:
  void Write(const ReportInputs& in, const ReportTemplate& templ) const;
  const ReportFileWriter* pdf_;
};
