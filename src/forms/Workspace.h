// forms/ is the windows' ground floor: what every page and window shares (the Workspace they
// meet through, the user-interface services, the job runner, small form helpers). It knows
// no page and no part of the core.
//
// The main window as the pages and windows it composes see it: the measurement store, the
// plant connection and the clock, the status bar, the file dialogs' state and the links to
// the other windows. The main window implements it; a page includes this, never the main
// window, so the main window stands above the pages it composes.
#pragma once

#include <QString>
#include <utility>
#include <vector>

#include "forms/UiServices.h"

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
class TEksperiment;
class TForm_SamodNastav;
class TForm_Histogram;
class TForm_Obdelava_Large;
struct MeasurementStore;
struct AutomaticOptions;
struct PlantWriteContext;
enum class PlantWriteSource;

// The sequencer of a cascade as the engineer typed it: whether it is on, its table's
// rows ("Vhod", "Izhod") up to the first empty one, and the Y1 range of the record.
struct SequencerTexts {
  bool Enabled = false;
  std::vector<std::pair<QString, QString>> Rows;
  QString MinY1, MaxY1;
};

// Tab indices of PageControl1.
enum MainTab { TabOpc = 0, TabEksperiment = 1, TabObdelava = 2, TabModel = 3, TabRegulator = 4,
               TabPorocilo = 5, TabAbout = 6 };

class Workspace {
 public:
  virtual ~Workspace() = default;

  virtual MeasurementStore& Store() = 0;
  virtual OpcClient& Opc() = 0;
  virtual Clock& SystemClock() = 0;
  virtual OpcGroup& ControllerGroup() = 0;  // "SkupReg"

  virtual TEksperiment& Eksperiment() = 0;
  virtual TForm_SamodNastav& SamodNastav() = 0;
  virtual TForm_Histogram& Histogram() = 0;
  virtual TForm_Obdelava_Large& ObdelavaLarge() = 0;

  virtual OpcPage& OpcTab() = 0;
  virtual ExperimentPage& ExperimentTab() = 0;
  virtual ProcessingPage& ProcessingTab() = 0;
  virtual ModelPage& ModelTab() = 0;
  virtual RegulatorPage& RegulatorTab() = 0;

  // What one page needs of another, handed over by the main window that composes them.
  // The analysis window chosen on the processing tab (first and last sample).
  virtual std::pair<int, int> ChosenAnalysisWindow() const = 0;
  // The item ID in a row of the OPC table (empty when the row is).
  virtual QString PlantItemId(int row) const = 0;
  virtual SequencerTexts Sequencer() const = 0;

  // What every write to the plant needs to pass the gate: who asks, the server connected,
  // the log of plant writes and the link.
  virtual PlantWriteContext PlantWrites(PlantWriteSource source) = 0;

  // The next step of the chain a page's button starts on the page that does it: the model
  // identified from the chosen window ("Izračun modela"), the controllers tuned from the
  // model ("Izračun PID parametrov").
  virtual void ComputeModel() = 0;
  virtual void ComputePidParameters() = 0;

  // A connect has ended (the OPC tab tells it): the pages that keep something of a server
  // look at which one is connected now.
  virtual void ServerConnected() {}

  // True once the main window has been closed: the program is ending, and a wait on the
  // plant stops at once.
  virtual bool Closing() const = 0;
  // An experiment is being prepared, runs or is ending (its window, its jobs).
  virtual bool RunInFlight() const = 0;

  // The main window's caption (program name and version).
  virtual QString Caption() const = 0;

  // The status bar's single text area.
  virtual void SetStatusText(const QString& text) = 0;
  virtual QString StatusText() const = 0;
  // A plant left in a state the engineer must act on (half a parameter set): said in red
  // in the status bar beside its text, where it stays until set again ("" takes it away).
  virtual void SetStatusAlarm(const QString& text) { SetStatusText(text); }
  virtual QString StatusAlarm() const { return {}; }

  // The automatic run's options copied into the tabs that condition, identify and tune,
  // with the tuning change handlers quiet during the copy.
  virtual void ApplyAutomaticOptions(const AutomaticOptions& options) = 0;

  // Sets the initial folder of the data, model and controller file dialogs to
  // LastDirectory: at start-up and after each settings save, never by the pages that
  // show them.
  virtual void SetDialogFoldersToLastDirectory() = 0;

  QTabWidget* PageControl1 = nullptr;
  QTimer* Timer_FirstScreen = nullptr;
  QTimer* Timer_ExperimentScheduler = nullptr;

  // Folder of the last saved settings file; initial folder of the file dialogs.
  QString LastDirectory;

  // The file dialogs of the main window, kept between uses.
  FileDialog SaveDialog1, OpenDialog1, SaveDialog2, SaveDialog_Model, OpenDialog_Model,
      SaveDialog_Controller, OpenDialog_Controller, OpenDialog2, SaveDialog_Porocilo;
};
