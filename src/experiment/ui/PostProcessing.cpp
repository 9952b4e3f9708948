// The scheduler's last step for an automatic experiment: the post-processing chain over
// the record the run left in the store, with the program's charts for its images.
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <tuple>

#include "data/ui/ProcessingPage.h"
#include "data/ui/ShownNumbers.h"
#include "experiment/ExperimentSetupBuilder.h"
#include "experiment/PostProcessingChain.h"
#include "experiment/ui/ChainChartImages.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "forms/FormHelpers.h"
#include "forms/Workspace.h"

void ExperimentPage::RunPostProcessingChain(const QueuedExperiment& entry,
                                            const ExperimentSettings& settings) {
  PostProcessingJob job;
  job.Folder = entry.Folder;
  job.Label = entry.Label;
  job.Settings = settings;
  // The window the run's hand-over set on the processing tab.
  std::tie(job.WindowStart, job.WindowEnd) = form_.ChosenAnalysisWindow();
  const QDateTime now = LocalNow(form_.SystemClock());
  job.Date = DateText(now.date()).toStdString();
  job.Time = LongTimeText(now.time()).toStdString();
  // The run's own start, as its first sample was taken (else: its duration before now).
  const MeasurementStore& record = form_.Store();
  const QDateTime started = form_.Eksperiment().StartedAt;
  const double duration = record.SampleCount > 0
                              ? record.TimeColumn[static_cast<size_t>(record.SampleCount)] -
                                    record.TimeColumn[1] + record.SampleTime
                              : 0;
  job.StartTime =
      LongTimeText(started.isValid() ? started.time()
                                     : now.addMSecs(-static_cast<qint64>(duration * 1000)).time())
          .toStdString();
  if (started.isValid()) {
    job.StartDate = QLocale().toString(started.date(), QLocale::ShortFormat).toStdString();
    // How long the run waited past its start time (a box the engineer had open, the MV
    // item's quality, an experiment before it).
    const QDateTime due(QDate(entry.Start.Year, entry.Start.Month, entry.Start.Day),
                        QTime(entry.Start.Hour, entry.Start.Minute, entry.Start.Second));
    if (due.isValid()) job.Waited = std::max<qint64>(0, due.msecsTo(started)) / 1000.0;
  }
  job.TitleLine = form_.Caption().toStdString();
  job.Separator = DecimalSeparator();
  job.Model = entry.Model;
  job.Findings = form_.Eksperiment().Run().Findings;
  job.PlantConfigured = RunMeantForPlant(settings);
  job.MvItemId = settings.ItemIds[0];

  // The run's own warnings stay; the chain adds its line after them.
  const QString runWarnings = QString::fromStdString(RunFindingsText(job.Findings, job.Separator));
  form_.SetStatusText(runWarnings);
  ChainChartImages images(form_);
  DocxReportDocument report;
  const PostProcessingResult result = ::RunPostProcessingChain(job, form_.Store(), images, report);
  // The processing tab shows the record as the data file holds it.
  form_.ProcessingTab().RedrawSignals();
  // The "Regulator" tab shows the method, form and type the controller file stores.
  if (result.ControllerTuned) {
    AutomaticOptions options = AutomaticOptionsOf(settings);
    options.Tuning = result.Tuning;
    form_.ApplyAutomaticOptions(options);
  }

  // Which files the experiment left where; a warning of the model or the tuning stays.
  QStringList names;
  for (const std::string& file : result.Files)
    names << QFileInfo(QString::fromStdString(file)).fileName();
  QString status = QStringLiteral("Samodejni poizkus \"%1\" je obdelan: %2 (%3).")
                       .arg(QString::fromStdString(entry.Label), names.join(QStringLiteral(", ")),
                            QString::fromStdString(entry.Folder));
  // What the steps said (a warning of the model or the tuning) and the run's warnings.
  QString steps = form_.StatusText();
  if (steps.startsWith(runWarnings)) steps = steps.mid(runWarnings.size()).trimmed();
  for (const QString& warning : {steps, QString::fromStdString(result.Note)})
    if (!warning.isEmpty()) status += QStringLiteral("  ") + warning;
  // The warnings of the record, the model and the proposals, as the report's box (each
  // once: a tab may have said one already).
  for (const Warning& warning : result.Warnings) {
    const QString text = QString::fromStdString(warning.Text);
    if (!status.contains(text)) status += QStringLiteral("  ") + text;
  }
  if (!runWarnings.isEmpty()) status = runWarnings + QStringLiteral("  ") + status;
  form_.SetStatusText(status);
}
