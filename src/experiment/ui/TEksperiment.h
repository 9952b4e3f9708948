// The experiment window: runs one step-response experiment sample by sample, shown modally.
// A thin shell around ExperimentRun: on a plant reached over a network the run's sampler
// takes the samples on its own threads and clock and Timer1 only draws what has arrived;
// otherwise (the simulation, an in-process plant) Timer1 takes each sample. The labels,
// charts, slider and value edit show them and take the engineer's MV.
#pragma once

#include <QDialog>
#include <QList>
#include <QPointF>
#include <QSet>
#include <array>
#include <cmath>
#include <functional>

#include "experiment/ExperimentRun.h"

class Workspace;
class VorChart;
class ChartSeries;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QStatusBar;
class QTimer;

class TEksperiment : public QDialog {
  Q_OBJECT
 public:
  explicit TEksperiment(Workspace& form);
  ~TEksperiment() override;

  // The experiment's parameters and run state; the activation and the scheduler fill
  // Run().Setup before calling a preparation.
  ExperimentRun& Run() { return run_; }
  // The OPC group "Skupina1" that holds the experiment's items.
  OpcGroup& ExperimentGroup() { return *experimentGroup_; }

  void FormCreate();
  // Wait up to 3 s for the MV item, check every item the run will write (nothing is
  // written when one fails), put the controller into the state it has during the run, and
  // free the slider and the value edit (manual) or set up the phases (automatic).
  // PrepareManualRun shows why a run cannot start and returns false; PrepareAutomaticRun
  // throws it (the queue stops there).
  bool PrepareManualRun();
  void PrepareAutomaticRun();
  // Showing the window: the run begins with its first sample at t = 0.
  void FormShow();
  // One sample: read or simulate, record, show; ends the run when it is over.
  void Timer1Timer();
  // Stops sampling, completes the record, hands it to the conditioning, puts the
  // controller into its after-experiment state and closes the window. Closing the
  // window from its title bar ends the experiment the same way; Escape does nothing.
  void EndExperiment();
  void SwitchToManual();
  void SwitchToAutomatic();
  void ScrollBar1Change();
  // Enter in the value edit.
  void VrednostVhodaEditKeyPress();
  void SetSliderFromValue(double value);
  void RocniAvtomatskiClick();
  void KonecEksperimentaClick();

  VorChart* Chart1 = nullptr;
  VorChart* Chart_U = nullptr;
  VorChart* Chart3 = nullptr;
  VorChart* Chart2 = nullptr;
  ChartSeries* LineSeries1 = nullptr;
  ChartSeries* Series1 = nullptr;
  ChartSeries* Series2 = nullptr;
  ChartSeries* LineSeries5 = nullptr;
  QLabel* Label_Exp_MV = nullptr;
  QLabel* Label_Exp_U1 = nullptr;
  QLabel* Label_Exp_Y1 = nullptr;
  QLabel* Label_Exp_Y2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QScrollBar* ScrollBar1 = nullptr;
  QLineEdit* VrednostVhodaEdit = nullptr;
  QPushButton* RocniAvtomatski = nullptr;
  QPushButton* KonecEksperimenta = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QTimer* Timer1 = nullptr;

  // The series of held and late samples on each chart (points, no line).
  std::array<ChartSeries*, 4> LateMarkers{};
  // The vertical line on each chart where the simulation took over from the plant (the
  // link lost during the run, or never there); no points while none is in view.
  std::array<ChartSeries*, 4> SimulationMarkers{};

  // The status bar's text.
  QString StatusText() const;

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Checks every item the run writes and, when all may be written, switches the
  // controller for the run; why the run cannot start, or "".
  std::string CheckAndSwitchForRun();
  // Plant I/O outside the sampler (the preparation's wait, check and switch, the end's
  // switch): off the window's thread for a plant over a network.
  void OnPlantThread(const std::function<void()>& work);
  void BuildCharts();
  void BuildControls();
  void WaitForMVItem(bool reportFailure);
  // The status bar: connected, simulated or fallen back, and the errors so far.
  void ShowStatus();
  // An error while sampling: its box, unless this error had one, another of the run's
  // boxes is still to be closed, or another box stands (afterOtherBox: then it follows
  // that box, for what the engineer must read, the link lost). Shown from the event loop.
  void ShowRunError(const QString& text, bool afterOtherBox = false);
  void ShowBoxWhenFree(const QString& text);
  void SyncScrollBar();
  void ShowMV();
  // Labels and charts after the samples taken since the last drawing.
  void Draw(const std::vector<ExperimentSample>& samples);
  // The axes of chart index (MV, U, Y1, Y2) for the points it draws; whether they changed.
  bool FitAxes(int index, const QList<QPointF>& drawn);
  void DrawSimulationMarkers();
  // The series of MV, U, Y1 and Y2 (index 0..3).
  ChartSeries* DrawnSeries(int index) const;

  Workspace& form_;
  ExperimentRun run_;
  OpcGroup* experimentGroup_ = nullptr;
  QLabel* statusText_ = nullptr;
  // The points of the charts' 200 s window, of which the series draw a selection.
  std::array<QList<QPointF>, 4> history_;
  std::array<QList<QPointF>, 4> marked_;  // the held and late samples among them
  // What each chart's axes show (none before the first drawing).
  struct AxisRanges {
    double Left = NAN, Right = NAN, Low = INFINITY, High = -INFINITY;
  };
  std::array<AxisRanges, 4> axes_{};
  int firstToFit_ = 0;  // the chart whose axes are fitted first in the next drawing
  bool lastHeld_ = false;                 // the last sample drawn was held: the plant is late
  // The controller was switched for the run and waits for its after-experiment state.
  bool switchedForRun_ = false;
  bool ending_ = false;  // EndExperiment is under way
  QString lastError_;
  QString shownFindings_;  // the main window's status text the last run's end set
  QSet<QString> boxedErrors_;
  bool boxStanding_ = false;
};
