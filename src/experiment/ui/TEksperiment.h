// The experiment window: runs one step-response experiment sample by sample, shown beside
// the main window; the run's end is the signal RunEnded.
// A thin shell around ExperimentRun: on a plant reached over a network the run's sampler
// takes the samples on its own threads and clock and Timer1 only draws what has arrived;
// otherwise (the simulation, an in-process plant) Timer1 takes each sample. The labels,
// charts, slider and value edit show them and take the engineer's MV.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QList>
#include <QPointF>
#include <QSet>
#include <array>
#include <cmath>
#include <exception>
#include <functional>
#include <string>

#include "experiment/ExperimentRun.h"

class Workspace;
class VorChart;
class ChartSeries;
class LiveModelPanel;
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
  // Waits up to 3 s for the MV item, checks every item the run will write (nothing is
  // written when one fails), puts the controller into the state it has during the run,
  // and frees the slider and the value edit (manual) or sets up the phases (automatic).
  // The plant's part runs as jobs for a plant over a network; prepared(why) follows on
  // the window's thread ("" when the run may start; at once when nothing had to wait).
  void PrepareRun(bool manual, std::function<void(const std::string& why)> prepared);
  // A run is being prepared, runs or is ending.
  bool InFlight() const;
  // When the run began (the first sample), on the program's clock.
  QDateTime StartedAt;
  // The last run prepared began and its record is in the store.
  bool RecordTaken() const { return recordTaken_; }
  // Showing the window: the run begins with its first sample at t = 0.
  void FormShow();
  // One sample: read or simulate, record, show; ends the run when it is over.
  void Timer1Timer();
  // Closes the window at once and stops sampling: a plant sampled on the sampler's clock
  // first delivers the periods whose deadlines had passed (within the sampler's hold,
  // Timer1 taking them); then the record is completed and handed to the conditioning;
  // then (a job for a plant over a network) the sampler's threads end and the controller
  // is put into its after-experiment state, and RunEnded follows. Closing
  // the window from its title bar ends the experiment the same way; Escape does nothing.
  // A second call while the end is under way changes nothing; a switch that did not reach
  // the plant is told with the state the controller kept.
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
  // The model of the response so far, right of the value labels.
  LiveModelPanel* LiveModelView = nullptr;

  // The series of held and late samples on each chart (points, no line).
  std::array<ChartSeries*, 4> LateMarkers{};
  // The vertical line on each chart where the simulation took over from the plant (the
  // link lost during the run, or never there); no points while none is in view.
  std::array<ChartSeries*, 4> SimulationMarkers{};

  // The status bar's text.
  QString StatusText() const;

 signals:
  // The run has ended: its record is in the store and the controller's switch after the
  // run has been made or noted.
  void RunEnded();

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Checks every item the run writes and, when all may be written, switches the
  // controller for the run; then(why the run cannot start, or "").
  void CheckAndSwitchForRun(std::function<void(const std::string& why)> then);
  // Plant I/O outside the sampler (the preparation's wait, check and switch, the end's
  // switch): a job for a plant over a network, else at once; then follows on the
  // window's thread with what the work threw.
  void OnPlant(std::function<void()> work, std::function<void(std::exception_ptr)> then);
  // During the end: the samples of the run's last periods as they arrive; once all are
  // in, CompleteRecord.
  void TakeLastPeriods();
  // The record completed and handed to the conditioning; then (a job for a plant over a
  // network) the sampler's threads end and the controller is switched, and Ended follows.
  void CompleteRecord();
  // The end's last part, once the controller's switch has been made or noted.
  void Ended();
  void BuildCharts();
  void BuildControls();
  void WaitForMVItem(bool reportFailure, std::function<void()> then);
  // The status bar: connected, simulated or fallen back, and the errors so far.
  void ShowStatus();
  // An error while sampling: a notice, unless this error had one in this run.
  void ShowRunError(const QString& text);
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
  bool ending_ = false;     // EndExperiment is under way
  bool preparing_ = false;  // PrepareRun is under way
  bool recordTaken_ = false;
  QString lastError_;
  QString shownFindings_;  // the main window's status text the last run's end set
  QSet<QString> boxedErrors_;
};
