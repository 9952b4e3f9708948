// app/ starts the program and holds the main window, which composes the pages.
//
// The main window: seven tabs, the status bar, the first-screen and scheduler timers,
// the file dialogs' state and the links to the program's other windows. It owns the
// measurement store and composes the pages, which see it as their Workspace.
#pragma once

#include <QMainWindow>
#include <memory>

#include "data/MeasurementStore.h"
#include "data/ProgramCaption.h"
#include "forms/Workspace.h"
#include "opc/PlantWriteGate.h"

class QLabel;
class QStatusBar;
class ReportPage;
class AboutPage;

class TForm1 : public QMainWindow, public Workspace {
  Q_OBJECT
 public:
  TForm1(OpcClient& opc, Clock& clock, QWidget* parent = nullptr);
  ~TForm1() override;

  // Links to the windows created after the main window (start-up order).
  void AttachWindows(TEksperiment* eksperiment, TForm_SamodNastav* samodNastav,
                     TForm_Histogram* histogram, TForm_Obdelava_Large* obdelavaLarge);

  MeasurementStore& Store() override { return *store_; }
  OpcClient& Opc() override { return opc_; }
  Clock& SystemClock() override { return clock_; }
  OpcGroup& ControllerGroup() override { return *skupReg_; }

  TEksperiment& Eksperiment() override { return *eksperiment_; }
  TForm_SamodNastav& SamodNastav() override { return *samodNastav_; }
  TForm_Histogram& Histogram() override { return *histogram_; }
  TForm_Obdelava_Large& ObdelavaLarge() override { return *obdelavaLarge_; }

  OpcPage& OpcTab() override { return *opcPage_; }
  ExperimentPage& ExperimentTab() override { return *experimentPage_; }
  ProcessingPage& ProcessingTab() override { return *processingPage_; }
  ModelPage& ModelTab() override { return *modelPage_; }
  RegulatorPage& RegulatorTab() override { return *regulatorPage_; }
  ReportPage& ReportTab() { return *reportPage_; }

  std::pair<int, int> ChosenAnalysisWindow() const override;
  QString PlantItemId(int row) const override;
  SequencerTexts Sequencer() const override;

  void ApplyAutomaticOptions(const AutomaticOptions& options) override;
  bool Closing() const override { return closing_; }
  bool RunInFlight() const override;
  PlantWriteContext PlantWrites(PlantWriteSource source) override;
  void ComputeModel() override;
  void ComputePidParameters() override;
  const PlantWriteLog& WriteLog() const { return *writeLog_; }
  QString Caption() const override { return windowTitle(); }
  void SetStatusText(const QString& text) override;
  QString StatusText() const override;
  void SetStatusAlarm(const QString& text) override;
  void ServerConnected() override;
  QString StatusAlarm() const override;
  void SetDialogFoldersToLastDirectory() override;

 public slots:
  void Timer_FirstScreenTimer();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  // The program's end once no run is under way: the link closed, then the application
  // quits (when the last job has ended).
  void FinishClosing();
  void Quit();

  std::unique_ptr<MeasurementStore> store_;
  OpcClient& opc_;
  Clock& clock_;
  OpcGroup* skupReg_ = nullptr;
  std::unique_ptr<PlantWriteLog> writeLog_;
  QLabel* statusText_ = nullptr;
  QLabel* statusAlarm_ = nullptr;  // red, beside the text, until the engineer acts
  bool closing_ = false;

  OpcPage* opcPage_ = nullptr;
  ExperimentPage* experimentPage_ = nullptr;
  ProcessingPage* processingPage_ = nullptr;
  ModelPage* modelPage_ = nullptr;
  RegulatorPage* regulatorPage_ = nullptr;
  ReportPage* reportPage_ = nullptr;
  AboutPage* aboutPage_ = nullptr;

  TEksperiment* eksperiment_ = nullptr;
  TForm_SamodNastav* samodNastav_ = nullptr;
  TForm_Histogram* histogram_ = nullptr;
  TForm_Obdelava_Large* obdelavaLarge_ = nullptr;
};

// The five windows of a run, created in the start-up order and alive until it ends.
struct ApplicationWindows {
  std::unique_ptr<TForm1> Form1;
  std::unique_ptr<TEksperiment> Eksperiment;
  std::unique_ptr<TForm_SamodNastav> SamodNastav;
  std::unique_ptr<TForm_Histogram> Histogram;
  std::unique_ptr<TForm_Obdelava_Large> ObdelavaLarge;
  ApplicationWindows();
  ApplicationWindows(ApplicationWindows&&) noexcept;
  ApplicationWindows& operator=(ApplicationWindows&&) noexcept;
  ~ApplicationWindows();
};
ApplicationWindows CreateApplicationWindows(OpcClient& opc, Clock& clock);
