// "Aktiviraj eksperiment": the corrections common to both kinds of experiment and the
// manual experiment, run at once in the experiment window. The controls are read into
// one record and every number the run needs is checked before anything changes.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "data/TextFile.h"
#include "experiment/ExperimentSetupBuilder.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "forms/FormHelpers.h"
#include "forms/Workspace.h"

void ExperimentPage::AktivirajEksperimentClick() {
  // The quality wait processes events; a second click meanwhile must not start another run.
  if (activating_) return;
  struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
  } guard(activating_);

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
  // An item the run cannot write: nothing written, and the record stays as it was.
  if (!window.PrepareManualRun()) return;
  MeasurementStore& store = form_.Store();
  store.ColumnCount = 6;
  store.SampleCount = 1;
  store.SampleTime = setup.SamplePeriodMs * 0.001;
  window.exec();
  form_.PageControl1->setCurrentIndex(TabObdelava);
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
