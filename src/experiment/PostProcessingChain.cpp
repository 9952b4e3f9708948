#include "experiment/PostProcessingChain.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "experiment/ExperimentSetupBuilder.h"
#include "model/IdentifyModel.h"
#include "model/ModelTexts.h"
#include "model/ModelWarnings.h"
#include "model/TModel.h"
#include "report/ReportTexts.h"
#include "tuning/TRegulator.h"

namespace {

// Runs one step; any error it raises comes out as that step's ChainStepError.
template <typename Step>
auto RunStep(ChainStep step, const std::string& file, Step&& body) {
  try {
    return body();
  } catch (const ChainStepError&) {
    throw;
  } catch (const std::exception& e) {
    throw ChainStepError(step, file, e.what());
  }
}

// The sequencer gain the regulator tab divides by: the steepest slope of the experiment's
// sequencer table over the Y1 range its labels show; 1 without a sequencer or cascade.
double ChainSequencerGain(const ExperimentSettings& s, const SignalStatisticsTexts& y1,
                          char separator, std::string& note) {
  note.clear();
  if (!s.Cascade || !s.SequencerPresent) return 1;
  std::vector<std::pair<double, double>> rows;
  for (const auto& row : s.Sequencer) {
    if (row[0].empty()) break;
    rows.emplace_back(ParseFloat(row[0], separator), ParseFloat(row[1], separator));
  }
  const double minimum = ParseFloat(y1.Minimum, separator);
  const double maximum = ParseFloat(y1.Maximum, separator);
  return UsableSequencerGain(TRegulator::SequencerMaxGain(rows, minimum, maximum), note);
}

}  // namespace

const char* ChainStepText(ChainStep step) {
  switch (step) {
    case ChainStep::DataFile: return "zapis merilnih podatkov";
    case ChainStep::SignalImages: return "slike signalov in histogramov";
    case ChainStep::RecordOrigin:
      return "izvor zapisa";
    case ChainStep::SafetyEnvelope:
      return "varnostne meje";
    case ChainStep::Model: return "identifikacija in zapis modela";
    case ChainStep::Controller: return "nastavitev in zapis regulatorja";
    case ChainStep::Report: return "poročilo";
    case ChainStep::RunWarnings:
      return "zapis opozoril";
    case ChainStep::DeleteImages: break;
  }
  return "brisanje začasnih slik";
}

ChainStepError::ChainStepError(ChainStep step, std::string file, const std::string& what)
    : std::runtime_error(what), step_(step), file_(std::move(file)) {}

std::string ChainStepError::Reason() const {
  std::string reason = std::string("korak \"") + ChainStepText(step_) + "\"";
  if (!file_.empty()) reason += " (" + file_ + ")";
  return reason + ": " + what();
}

std::string SimulatedPlantRecordText(const RunFindings& f, const std::string& mvItemId,
                                     char separator) {
  std::string text;
  if (f.FallBackSamples > 0)
    text = "element MV (\"" + mvItemId + "\") ni dosegel dobre kakovosti, zato je zapis simuliran";
  else if (f.LinkLost())
    text = "zapis je simuliran " + SimulatedFromText(f, separator) +
           " naprej, ker je bila povezava s strežnikom izgubljena";
  else
    text = "povezava s strežnikom ni bila vzpostavljena, zato je zapis simuliran";
  text += "; ni obdelan kot zapis obrata.";
  if (!f.ControllerLeft.empty()) text += " " + f.ControllerLeft;
  return text;
}

std::string EnvelopeStopText(const EnvelopeTrip& trip, char separator) {
  return "poizkus je ustavila varnostna meja (" + EnvelopeTripText(trip, separator) +
         "); zapis ni obdelan kot odziv obrata, model in regulator nista izračunana.";
}

bool TunesOnHeldModel(const ExperimentSettings& s) {
  return !s.NoOpcWrite && s.ReportController && !s.ReportModel;
}

std::string ModelSourceNote(const std::string& source) {
  return "Regulator je nastavljen na modelu: " + source + ".";
}

std::string ChainFilePath(const std::string& folder, const std::string& label,
                          const std::string& extension) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  return path + label + extension;
}

std::string RunWarningsPath(const std::string& folder, const std::string& label) {
  return ChainFilePath(folder, label, "-opozorila.txt");
}

std::string StartDateOf(const PostProcessingJob& job) {
  return job.StartDate.empty() ? job.Date : job.StartDate;
}

std::string StartTimeOf(const PostProcessingJob& job) {
  return job.StartTime.empty() ? job.Time : job.StartTime;
}

std::vector<std::string> RunWarningsLines(const PostProcessingJob& job,
                                          const std::vector<Warning>& warnings,
                                          const std::string& stopReason) {
  std::vector<std::string> lines = {"Opozorila samodejnega poizkusa \"" + job.Label + "\""};
  for (const std::string& line :
       RecordAboutLines(job.Label, "", StartDateOf(job), StartTimeOf(job)))
    lines.push_back(line);
  lines.push_back(stopReason.empty() ? "Poizkus je obdelan."
                                     : "Poizkus je ustavljen: " + stopReason);
  if (job.Waited >= 1)
    lines.push_back("Poizkus se je začel " + FormatFixed(job.Waited, 1, job.Separator) +
                    " s po predvidenem času začetka.");
  const std::size_t first = lines.size();
  for (const std::string& line : RunFindingsLines(job.Findings, job.Separator))
    lines.push_back(line);
  for (const Warning& w : warnings) {
    // The run's own line already says the record is simulated, and from where.
    if (w.Kind == WarningKind::SimulatedRecord && job.Findings.SimulatedSamples > 0) continue;
    if (std::find(lines.begin() + first, lines.end(), w.Text) == lines.end())
      lines.push_back(w.Text);
  }
  if (lines.size() == first) lines.push_back("Opozoril ni.");
  return lines;
}

namespace {

PostProcessingResult RunChainSteps(const PostProcessingJob& job, MeasurementStore& store,
                                   ReportImagePort& images, ReportDocumentPort& report) {
  const ExperimentSettings& s = job.Settings;
  const char sep = job.Separator;
  const std::string& folder = job.Folder;
  const int start = job.WindowStart, end = job.WindowEnd;
  const bool modelStep = !s.NoOpcWrite && s.ReportModel;
  const bool controllerStep = !s.NoOpcWrite && s.ReportController;
  PostProcessingResult result;

  // 1. Measured data.
  const std::string dataPath = ChainFilePath(folder, job.Label, ".vtd");
  RunStep(ChainStep::DataFile, dataPath, [&] {
    const Conditioning conditioning = TObdelava::ParseConditioning(
        s.FilterTime, s.ActuatorMaximum, s.ActuatorMinimum, s.ActuatorVelocity, sep);
    // Columns 1, 3, 5, 6, as the run's hand-over conditioned them.
    // The record's time is when it began, not when it was processed.
    const DataFileHeader header = TObdelava::SaveHeader(
        store, SignalColumns{}, start, end, conditioning, StartDateOf(job), StartTimeOf(job));
    TObdelava::WriteDataFile(dataPath, store, header, sep);
    // Everything after works on the data as the file holds it (to its twelve digits), so
    // the model, the controller and the report describe exactly what the ".vtd" gives
    // anyone who opens it, and a file that does not read back stops the chain here.
    TObdelava::ReadDataFile(dataPath, store, sep);
    TObdelava::ConditionSignals(store, SignalColumns{}, conditioning);
  });
  result.Files.push_back(dataPath);

  // 2, 3. The four time plots and the four histograms.
  RunStep(ChainStep::SignalImages, folder,
          [&] { images.ExportSignalImages(folder, store, start, end); });

  // The record says where it came from: a plant run's simulated record goes no further.
  const bool simulated = job.Findings.SimulatedSamples > 0;
  if (simulated && job.PlantConfigured)
    throw ChainStepError(ChainStep::RecordOrigin, dataPath,
                         SimulatedPlantRecordText(job.Findings, job.MvItemId, sep));

  // A run the envelope stopped left a record of a plant pushed to its limits, not a step
  // response: nothing is identified, tuned or loaded from it.
  if (job.Findings.Trip)
    throw ChainStepError(ChainStep::SafetyEnvelope, dataPath,
                         EnvelopeStopText(*job.Findings.Trip, sep));
  // Nor from a sequence the engineer cut short.
  if (job.Findings.Interrupted)
    throw ChainStepError(ChainStep::RecordOrigin, dataPath,
                         "poizkus je prekinjen pri " +
                             FormatFixed(*job.Findings.Interrupted, 1, sep) +
                             " s; zapis ni obdelan kot odziv obrata.");

  ReportInputs& in = result.Report;
  in.Statistics = ShownStatistics(store, start, end, sep);
  // The first page: a deliberate simulation says so, and the run's warnings stand there.
  if (simulated) in.FirstPageNotes.push_back(SimulatedProcessReportNote);
  for (const std::string& line : RunFindingsLines(job.Findings, sep))
    in.FirstPageNotes.push_back(line);

  // 4. Model.
  const std::string modelPath = ChainFilePath(folder, job.Label, ".vtm");
  if (modelStep) {
    RunStep(ChainStep::Model, modelPath, [&] {
      IdentifyModel(store, start, end);
      store.ModelSource = "model, identificiran iz eksperimenta \"" + job.Label + "\"";
      TModel::SaveModelFile(modelPath, store, sep);
    });
    result.Files.push_back(modelPath);
    result.ModelIdentified = true;
    RunStep(ChainStep::Model, folder, [&] { images.ExportModelImage(folder, store, s.Cascade); });
  }

  // 5. Controller: the dialog's method, slider, response, sampling time, form, type,
  // scales and cascade, on the store's models.
  const std::string controllerPath = ChainFilePath(folder, job.Label, ".vtc");
  if (controllerStep) {
    ControllerSettings settings = AutomaticOptionsOf(s).Tuning;
    // No selection in the dialog's lists tunes with their first entries: the file and
    // the tab say so instead of "-1".
    if (settings.Method < 0) settings.Method = 0;
    if (settings.Form < 0) settings.Form = 0;
    settings.Method = MethodForKind(store, settings.Method, settings.Cascade);
    RunStep(ChainStep::Controller, controllerPath, [&] {
      if (!modelStep) {
        // Never a model of unknown origin: the one kept with the entry, or none at all.
        if (!job.Model) throw std::runtime_error(NoHeldModelMessage);
        ApplyControllerModels(job.Model->Values, store);
        store.ModelSource = job.Model->Source;
      }
      ApplyTuning(store, settings.Method, settings.Slider, settings.Cascade);
      const TuningSummary summary = SummaryTexts(store, settings.Cascade, sep);
      const double h =
          ResolveSampleTime(settings.SamplingTimeText, sep, store.ClosedLoopSampleTime);
      result.Curves = SimulateResponses(store, h, settings.ResponseKind, settings.Cascade).Curves;

      PanelInput panel;
      panel.Form = settings.Form;
      panel.Type = settings.Type;
      panel.Cascade = settings.Cascade;
      panel.SequencerGain = ChainSequencerGain(s, in.Statistics[2], sep, result.Note);
      const UsedScales used = ScalesUsedBy(settings.Type);
      if (used.P) panel.ScaleP = ParseFloat(settings.ScaleP, sep);
      if (used.I) panel.ScaleI = ParseFloat(settings.ScaleI, sep);
      if (used.D) panel.ScaleD = ParseFloat(settings.ScaleD, sep);
      result.Panel = ComputeControllerPanel(store.Tuning, panel, sep);
      SetControllerTexts(in, summary, result.Panel);
      SetTuningTexts(in, settings.Method, settings.ResponseKind, settings.Cascade, store,
                     summary.KpCascade, sep);
      // The same figures as the tab's: the four proposals and the scaled controller.
      result.Robustness = ComputeRobustness(SampledProcessOfStore(store, h, settings.Cascade),
                                            ProposedLoopControllers(store.Tuning, settings.Cascade),
                                            result.Panel.Controller);
      SetRobustnessTexts(in, *result.Robustness, sep);

      TRegulator::SaveControllerSettings(
          controllerPath, ControllerSettingsWithModels(settings, store), sep);
    });
    result.Files.push_back(controllerPath);
    result.ControllerTuned = true;
    result.Tuning = settings;
    in.FirstPageNotes.push_back(ModelSourceNote(store.ModelSource));
    RunStep(ChainStep::Controller, folder, [&] {
      images.ExportResponseImage(folder, result.Curves ? &*result.Curves : nullptr);
    });
  }

  // 6. Report: processing only when nothing was identified or tuned for the plant.
  const std::string reportPath = ChainFilePath(folder, job.Label, ".docx");
  SetModelTexts(in, ShownModelTexts(store, s.Cascade, 5, sep));
  in.TitleLine = job.TitleLine;
  in.AboutLines = RecordAboutLines(job.Label, "", StartDateOf(job), StartTimeOf(job));
  const bool cascade = AutomaticOptionsOf(s).Tuning.Cascade;
  result.Warnings = ReportWarnings(store, start, end, modelStep, controllerStep, cascade,
                                   result.Robustness ? &*result.Robustness : nullptr, sep);
  SetWarningTexts(in, result.Warnings);
  in.SectionObdelava = s.NoOpcWrite || s.ReportProcessing;
  in.SectionModel = modelStep;
  in.SectionRegulator = controllerStep;
  in.Template = s.ReportTemplate;
  in.ReportPath = reportPath;
  // The server is named only for a record made on it.
  in.OpcServer = RecordIsSimulated(store) ? "" : s.ServerName;
  in.OpcItemIds = s.ItemIds;
  in.OpcDescriptions = s.Descriptions;
  in.CloseAfterSaving = true;
  RunStep(ChainStep::Report, reportPath, [&] { report.CreateReport(in); });
  result.Files.push_back(reportPath);

  // 7. The run's warnings beside its files.
  const std::string warningsPath = RunWarningsPath(folder, job.Label);
  RunStep(ChainStep::RunWarnings, warningsPath,
          [&] { WriteTextLines(warningsPath, RunWarningsLines(job, result.Warnings, "")); });
  result.Files.push_back(warningsPath);

  // 8. Every image name, whether or not it was written.
  RunStep(ChainStep::DeleteImages, folder, [&] { DeleteReportImages(folder); });
  return result;
}

}  // namespace

PostProcessingResult RunPostProcessingChain(const PostProcessingJob& job, MeasurementStore& store,
                                            ReportImagePort& images, ReportDocumentPort& report) {
  try {
    return RunChainSteps(job, store, images, report);
  } catch (const ChainStepError& e) {
    // A stopped entry writes no report: its reason and the record's warnings are kept
    // beside the data file, unless the folder takes nothing more (then the step's error
    // is the one to tell).
    if (e.Step() != ChainStep::RunWarnings) {
      try {
        const WarningScope scope =
            ModelWarningScope(store, job.WindowStart, job.WindowEnd, false, false, job.Separator);
        WriteTextLines(RunWarningsPath(job.Folder, job.Label),
                       RunWarningsLines(job, CollectWarnings(store, scope), e.Reason()));
      } catch (const std::exception&) {
      }
    }
    throw;
  }
}
