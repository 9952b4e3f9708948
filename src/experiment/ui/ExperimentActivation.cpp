// "Aktiviraj eksperiment": the corrections common to both kinds of experiment and the
// manual experiment, run at once in the experiment window. The controls are read into
// one record and every number the run needs is checked before anything changes.
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "data/TextFile.h"
#include "data/ui/ProcessingPage.h"
#include "experiment/ExperimentSetupBuilder.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "forms/FormHelpers.h"
#include "forms/JobRunner.h"
#include "forms/UiServices.h"
#include "forms/Workspace.h"

void ExperimentPage::AktivirajEksperimentClick() {
  // A run being prepared, running or ending: a second click must not start another.
  if (activating_ || form_.RunInFlight()) return;
  if (Jobs().Running() > 0) {
    form_.SetStatusText(QString::fromUtf8(JobRunner::BusyText()));
    return;
  }

  ExperimentSettings settings = SettingsFromControls();
  CorrectSampleAndWaitTimes(settings, DecimalSeparator());
  CasVzorcenjaEdit->setText(QString::fromStdString(settings.SampleTime));
  CasCakanjaEdit->setText(QString::fromStdString(settings.WaitTime));
  if (RadioRocno->isChecked())
    RunManualExperiment(settings);
  else
    QueueAutomaticExperiment(settings);
}

void ExperimentPage::RunManualExperiment(const ExperimentSettings& settings) {
  // A text that is not a number stops here: no file dialog, the record and the windows
  // as they were.
  ExperimentSetup setup = ReadExperimentSetup(settings, ExperimentKind::Manual, DecimalSeparator());
  ShraniNastavitveClick();
  setup.ExperimentLabel = BaseNameOf(form_.SaveDialog1.FileName.toStdString());

  TEksperiment& window = HandOverToExperimentWindow(setup, settings);
  window.RocniAvtomatski->setVisible(false);
  SetRunUnderWay(true);
  window.PrepareRun(true, [this, &window, setup](const std::string& why) {
    // An item the run cannot write: nothing written, and the record stays as it was.
    if (!why.empty()) {
      SetRunUnderWay(false);
      if (!form_.Closing()) Ui().ShowNotice(QString::fromStdString(why));
      return;
    }
    MeasurementStore& store = form_.Store();
    store.ColumnCount = 6;
    store.SampleCount = 1;
    store.SampleTime = setup.SamplePeriodMs * 0.001;
    // The run's end turns to the record (RunEnded, connected where the page is built).
    afterRun_ = [this] { form_.PageControl1->setCurrentIndex(TabObdelava); };
    window.show();
  });
}

void ExperimentPage::SetRunUnderWay(bool underWay) {
  activating_ = underWay;
  Jobs().SetRunUnderWay(underWay);
  // What would disturb the run is off while it is under way, as under a modal window:
  // the tabs (the record, the plant's items, the loads) and the queue's changes.
  form_.PageControl1->setEnabled(!underWay);
}

void ExperimentPage::RunEnded() {
  SetRunUnderWay(false);
  const std::function<void()> after = std::move(afterRun_);
  afterRun_ = nullptr;
  if (!form_.Closing()) {
    if (after) after();
    return;
  }
  // The program's end ended the run: its record is saved beside the settings, under a
  // name of its own, before the program goes.
  if (!form_.Eksperiment().RecordTaken()) return;
  const std::string label = form_.Eksperiment().Run().Setup.ExperimentLabel;
  const QDir folder(form_.LastDirectory.isEmpty() ? UserFilesFolder() : form_.LastDirectory);
  const QString base = QString::fromStdString(label.empty() ? std::string("eksperiment") : label) +
                       QString::fromUtf8(" (ob zaprtju programa)");
  QString path = folder.filePath(base + QStringLiteral(".vtd"));
  for (int n = 2; QFileInfo::exists(path); ++n)
    path = folder.filePath(QStringLiteral("%1 %2.vtd").arg(base).arg(n));
  try {
    form_.ProcessingTab().SaveDataFile(path);
  } catch (const std::exception&) {
    // The program ends all the same; the record could not be kept.
  }
}

TEksperiment& ExperimentPage::HandOverToExperimentWindow(ExperimentSetup setup,
                                                         const ExperimentSettings& settings) {
  MeasurementStore& store = form_.Store();
  const std::array<std::string, 6> names = ExperimentColumnNames(settings);
  for (int column = 1; column <= 6; ++column) store.ColumnNames[column] = names[column - 1];
  TEksperiment& window = form_.Eksperiment();
  AddExperimentItems(setup, settings, window.ExperimentGroup());
  window.Run().Setup = std::move(setup);
  return window;
}
