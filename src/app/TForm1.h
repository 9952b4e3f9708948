// The main window: seven tabs, the status bar, the first-screen and scheduler timers,
// the file dialogs' state and the links to the program's other windows. It owns the
// measurement store; every page reaches the store and the plant connection through it.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <memory>

#include "app/UiServices.h"
#include "data/MeasurementStore.h"

class QLabel;
class QStatusBar;
class QTabWidget;
class QTimer;
class Clock;
class OpcClient;
class OpcGroup;
class OpcPage;
class ExperimentPage;
class ProcessingPage;
class ModelPage;
class RegulatorPage;
class ReportPage;
class AboutPage;
class TEksperiment;
class TForm_SamodNastav;
class TForm_Histogram;
class TForm_Obdelava_Large;
struct AutomaticOptions;

// Tab indices of PageControl1.
enum MainTab { TabOpc = 0, TabEksperiment = 1, TabObdelava = 2, TabModel = 3, TabRegulator = 4,
               TabPorocilo = 5, TabAbout = 6 };

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  TForm1(OpcClient& opc, Clock& clock, QWidget* parent = nullptr);
  ~TForm1() override;

  // Links to the windows created after the main window (start-up order).
  void AttachWindows(TEksperiment* eksperiment, TForm_SamodNastav* samodNastav,
                     TForm_Histogram* histogram, TForm_Obdelava_Large* obdelavaLarge);

  MeasurementStore& Store() { return *store_; }
  OpcClient& Opc() { return opc_; }
  Clock& SystemClock() { return clock_; }
  OpcGroup& ControllerGroup() { return *skupReg_; }  // "SkupReg"

  TEksperiment& Eksperiment() { return *eksperiment_; }
  TForm_SamodNastav& SamodNastav() { return *samodNastav_; }
  TForm_Histogram& Histogram() { return *histogram_; }
  TForm_Obdelava_Large& ObdelavaLarge() { return *obdelavaLarge_; }

  OpcPage& OpcTab() { return *opcPage_; }
  ExperimentPage& ExperimentTab() { return *experimentPage_; }
  ProcessingPage& ProcessingTab() { return *processingPage_; }
  ModelPage& ModelTab() { return *modelPage_; }
  RegulatorPage& RegulatorTab() { return *regulatorPage_; }
  ReportPage& ReportTab() { return *reportPage_; }

  QTabWidget* PageControl1 = nullptr;
  QTimer* Timer_FirstScreen = nullptr;
  QTimer* Timer_ExperimentScheduler = nullptr;

  // The automatic run's options copied into the tabs that condition, identify and tune,
  // with the tuning change handlers quiet during the copy.
  void ApplyAutomaticOptions(const AutomaticOptions& options);

  // The status bar's single text area.
  void SetStatusText(const QString& text);
  QString StatusText() const;

  // The user's decimal separator: the default QLocale, which is the system's locale
  // unless a test sets another with QLocale::setDefault.
  static char DecimalSeparator();

  // Folder of the last saved settings file; initial folder of the file dialogs.
  QString LastDirectory;
  // Sets the initial folder of the data, model and controller file dialogs to
  // LastDirectory: at start-up and after each settings save, never by the pages that
  // show them.
  void SetDialogFoldersToLastDirectory();
  // Folders of the queued experiments, parallel to the queue's two lists.
  QStringList QueuedDirectories;

  // The file dialogs of the main window, kept between uses.
  FileDialog SaveDialog1, OpenDialog1, SaveDialog2, SaveDialog_Model, OpenDialog_Model,
      SaveDialog_Controller, OpenDialog_Controller, OpenDialog2, SaveDialog_Porocilo;

 public slots:
  void Timer_FirstScreenTimer();

 private:
  void FormCreate();

  std::unique_ptr<MeasurementStore> store_;
  OpcClient& opc_;
  Clock& clock_;
  OpcGroup* skupReg_ = nullptr;
  QLabel* statusText_ = nullptr;

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

// The program's caption and version.
inline constexpr const char* MainCaption = " Vor Tuner 1.0.7";
