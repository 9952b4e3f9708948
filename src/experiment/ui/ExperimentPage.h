// The "Eksperiment" tab: the parameters of the next experiment, its activation and the queue of automatic experiments.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "experiment/ExperimentQueue.h"
#include "experiment/ExperimentRun.h"
#include "experiment/SettingsFile.h"

class Workspace;
class TEksperiment;
class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

class ExperimentPage : public QWidget {
  Q_OBJECT
 public:
  explicit ExperimentPage(Workspace& form);
  // Start-up: the start-date picker set to today.
  void SetStartDateToday();

  // The experiment settings file (".vtx"): "Shrani nastavitve", "Naloži nastavitve", and
  // applying a list of lines to the controls of this tab, the OPC tab and the dialog.
  // The save returns true when the file was written (false: the dialog was cancelled).
  bool ShraniNastavitveClick();
  void NaloziNastavitveClick();
  void LoadSettingsFromList(const std::vector<std::string>& lines);
  // The stored controls of this tab, the OPC tab and the dialog as one record.
  ExperimentSettings SettingsFromControls();

  // Mode rules: which parameters a manual or an automatic experiment uses, and what
  // recording only ("Ne piši v OPC") leaves editable. Checking a box or a mode button
  // from code runs the same rule.
  void RadioRocnoClick();
  void RadioAvtomatskoClick();
  void CheckBox_NePisiClick();
  void OhraniZacetniVhodClick();
  // "Ostale nastavitve samodejnega poizkusa": the dialog, without blocking this window.
  void Button10Click();
  // "Nastavi sedanji čas": the start time := now plus 8.64 s.
  void Button1Click();
  // "Aktiviraj eksperiment": corrects the sampling and waiting times, then runs a manual
  // experiment at once or queues an automatic one.
  void AktivirajEksperimentClick();

  // The waiting list of automatic experiments, shown in the two lists.
  const ExperimentQueue& Queue() const { return queue_; }
  // The scheduler's tick (every 500 ms while enabled): runs the due head entry and its
  // post-processing, then removes it. A failure leaves the entry at the head, the
  // scheduler off, and says in the status bar and the list which entry stopped and why.
  void Timer_ExperimentSchedulerTimer();
  // The experiment window's run has ended: the manual run turns to its record, the
  // scheduler's run goes on to its chain and the queue.
  void RunEnded();
  // A run started here is prepared, runs or ends (until what follows its end is done).
  bool RunUnderWay() const { return activating_; }
  // A key in the start-time list: Delete removes the entry at the caret's line.
  void SeznamCakajocihEkspCasKeyDown(int key);
  // After an automatic experiment: the post-processing chain writes the data, model,
  // controller and report files of the entry's folder F named after its label L, with the
  // options of its settings record; the model and regulator tabs then show the results.
  void RunPostProcessingChain(const QueuedExperiment& entry, const ExperimentSettings& settings);

  QGroupBox* GroupBox_Nacin = nullptr;
  QRadioButton* RadioRocno = nullptr;
  QRadioButton* RadioAvtomatsko = nullptr;

  QGroupBox* GroupBox_Parametri = nullptr;
  QLineEdit* CasVzorcenjaEdit = nullptr;
  QCheckBox* CheckBox_NePisi = nullptr;
  QCheckBox* CheckBox_Zaprtozancni = nullptr;
  QCheckBox* CheckBox_ZZPoPoizkusu = nullptr;
  QCheckBox* OhraniZacetniVhod = nullptr;
  QLabel* Label4 = nullptr;
  QLineEdit* ZacetniVhodEdit = nullptr;
  QLabel* Label5 = nullptr;
  QLineEdit* CasCakanjaEdit = nullptr;
  QLabel* Label6 = nullptr;
  QLineEdit* VelikostStopniceEdit = nullptr;
  QLabel* Label7 = nullptr;
  QLineEdit* CasStopniceEdit = nullptr;
  QLabel* Label8 = nullptr;
  QLineEdit* SteviloStopnicEdit = nullptr;
  QCheckBox* CheckBox_ObeSmeri = nullptr;
  // "Končaj stopnico, ko se odziv umiri": a step of the automatic run ends once the live
  // model says its response has settled (not before a quarter of its time).
  QCheckBox* CheckBox_KoncajObUmiritvi = nullptr;
  QLabel* Label3 = nullptr;
  QDateEdit* DateTimePicker1 = nullptr;
  QLineEdit* CajtZacetka = nullptr;  // masked "hh:mm:ss"
  QPushButton* Button1 = nullptr;

  QGroupBox* GroupBox_DrsnikMV = nullptr;
  QLineEdit* Edit_MVMax = nullptr;
  QLineEdit* Edit_MVMin = nullptr;
  QLineEdit* Edit_MVStep = nullptr;

  QGroupBox* GroupBox_Sekvencer = nullptr;
  QCheckBox* CheckBox_Sekvencer = nullptr;
  QTableWidget* StringGrid_Sekvencer = nullptr;  // 10 rows "Vhod", "Izhod"
  // The time a link lost during a run is made again, s: kept from the settings file (no
  // control shows it) for the runs started here.
  std::string ReconnectTime = "30";

  // "Varnostne meje": limits of Y1 and Y2 and the longest run time, empty for none.
  QGroupBox* GroupBox_VarnostneMeje = nullptr;
  QLineEdit* Edit_Y1Min = nullptr;
  QLineEdit* Edit_Y1Max = nullptr;
  QLineEdit* Edit_Y2Min = nullptr;
  QLineEdit* Edit_Y2Max = nullptr;
  QLineEdit* Edit_NajdaljsiCas = nullptr;

  QPushButton* NaloziNastavitve = nullptr;
  QPushButton* ShraniNastavitve = nullptr;
  QPushButton* Button10 = nullptr;
  QPushButton* AktivirajEksperiment = nullptr;

  QPlainTextEdit* SeznamCakajocihEkspCas = nullptr;
  QPlainTextEdit* SeznamCakajocihEkspOznaka = nullptr;

 private:
  void BuildModeGroup();
  void BuildParameterGroup();
  void BuildSliderAndSequencerGroups();
  void BuildActionsAndQueue();
  void BuildEnvelopeGroup();
  void ApplyModeRules(bool manual);
  void ApplyNoWriteRule();
  void RunManualExperiment(const ExperimentSettings& settings);
  void QueueAutomaticExperiment(const ExperimentSettings& settings);
  // An entry's settings file read back and checked, before anything changes.
  struct QueuedRun {
    std::vector<std::string> Lines;
    ExperimentSettings Settings;
    ExperimentSetup Setup;
  };
  QueuedRun ReadQueuedEntry(std::size_t index);
  void RunQueuedExperiment(std::size_t index, const QueuedExperiment& entry, QueuedRun& run);
  // The run's column names into the store, its items into "Skupina1" and its setup into
  // the experiment window, which it returns.
  TEksperiment& HandOverToExperimentWindow(ExperimentSetup setup, const ExperimentSettings& settings);
  void StallQueue(std::size_t index, const std::string& reason);
  // The queue after entry `index`'s run (the list does not change while it runs):
  // removed and the next one awaited, or stopped there.
  void QueuedEntryDone(std::size_t index);
  // reason: what the list and the status say; told: the notice's text (else reason).
  void QueuedEntryFailed(std::size_t index, const std::string& reason,
                         const std::string& told = {});
  // A run is prepared, runs or ends: the main window's tabs off meanwhile.
  void SetRunUnderWay(bool underWay);
  void ShowQueue();
  bool eventFilter(QObject* watched, QEvent* event) override;

  Workspace& form_;
  bool activating_ = false;         // a run is prepared, runs or ends
  std::function<void()> afterRun_;  // what goes on from the run's end
  ExperimentQueue queue_;
};
