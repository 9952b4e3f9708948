#include "experiment/ui/TEksperiment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <random>

#include "charts/VorChart.h"
#include "data/Clock.h"
#include "data/NumberFormat.h"
#include "data/ui/ProcessingPage.h"
#include "data/ui/ShownNumbers.h"
#include "experiment/ExperimentWriteCheck.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/LiveModelPanel.h"
#include "forms/FormHelpers.h"
#include "forms/JobRunner.h"
#include "forms/UiServices.h"
#include "forms/Workspace.h"
#include "opc/OpcMessages.h"
#include "opc/ui/OpcPage.h"

namespace {

// Colours of the four signals (0x00BBGGRR).
constexpr unsigned ColourMV = 0x0000FF;  // red
constexpr unsigned ColourU = 0x000080;   // maroon
constexpr unsigned ColourY1 = 0xFF0000;  // blue
constexpr unsigned ColourY2 = 0x008000;  // green
constexpr unsigned ColourLate = 0x00A5FF;  // orange: held and late samples
constexpr unsigned ColourSimulation = 0x800080;  // purple: where the simulation took over

// The status while the plant has not answered by the end of the last period.
constexpr const char* LatePlantStatusText =
    "  Opozorilo: obrat ne odgovarja pravočasno! Vzorci se zadržujejo.";

// The charts show a moving window of about this many seconds.
constexpr double ChartWindowSeconds = 200;

constexpr int ChartWidth = 450, ChartHeight = 114;
// The value labels right of the charts: 11-point bold, smaller for a long number.
constexpr int ValueLabelX = 460, ValueLabelWidth = 130, ValueLabelPointSize = 11;

// A chart draws at most this many points of a series: with a short sampling period the
// 200 s window holds thousands, more than the plot has pixels.
constexpr qsizetype MaxDrawnPoints = 400;

// The points of a series to draw: all of them while they are few; else, for each run of
// consecutive points, its smallest and largest in their order, and the newest point
// itself, so that no peak and no step is lost at the plot's resolution.
QList<QPointF> PointsToDraw(const QList<QPointF>& points) {
  const qsizetype n = points.size();
  if (n <= MaxDrawnPoints) return points;
  const qsizetype run = (2 * n + MaxDrawnPoints - 1) / MaxDrawnPoints;
  QList<QPointF> out;
  out.reserve(MaxDrawnPoints + 1);
  for (qsizetype first = 0; first < n - 1; first += run) {
    const qsizetype last = std::min(first + run, n - 1);  // the newest point stays apart
    qsizetype lo = first, hi = first;
    for (qsizetype k = first + 1; k < last; ++k) {
      if (points[k].y() < points[lo].y()) lo = k;
      if (points[k].y() > points[hi].y()) hi = k;
    }
    out.append(points[std::min(lo, hi)]);
    if (lo != hi) out.append(points[std::max(lo, hi)]);
  }
  out.append(points.last());
  return out;
}

// 4 decimals, at most 10 significant digits; larger values in the general format.
QString Fixed4(double value) {
  return QString::fromStdString(FormatFixedPrecision(value, 10, 4, DecimalSeparator()));
}
QString General8(double value) { return ShownGeneral(value, 8); }

}  // namespace

TEksperiment::TEksperiment(Workspace& form)
    : QDialog(nullptr), form_(form), run_(form.Store(), form.Opc()) {
  setObjectName(QStringLiteral("Eksperiment"));
  setWindowTitle(QStringLiteral("Eksperiment"));
  // Shown beside the main window, not over a loop of its own: the run, not a stack
  // frame, decides when it ends, and RunEnded tells the activation and the scheduler.
  setModal(false);
  setFixedSize(699 + LiveModelPanel::Width + 6, 520);
  BuildCharts();
  BuildControls();
  LiveModelView = new LiveModelPanel(this, *Chart3, run_);
  LiveModelView->setGeometry(699, 4, LiveModelPanel::Width, 508);
  run_.Sim.Seed(std::random_device{}());
  FormCreate();
}

TEksperiment::~TEksperiment() = default;

void TEksperiment::BuildCharts() {
  struct ChartLook {
    VorChart*& chart;
    ChartSeries*& series;
    const char* name;
    const char* seriesName;
    const char* title;
    unsigned colour;
    LineKind kind;
  };
  const ChartLook looks[] = {
      {Chart1, LineSeries1, "Chart1", "LineSeries1", "Manipulativni signal (mv)", ColourMV, LineKind::Stairs},
      {Chart_U, Series1, "Chart_U", "Series1", "Izhod regulatorja (u)", ColourU, LineKind::Stairs},
      {Chart3, Series2, "Chart3", "Series2", "Izhod iz procesa - meritev 1 (y)", ColourY1, LineKind::Straight},
      {Chart2, LineSeries5, "Chart2", "LineSeries5", "Zunanji izhod iz procesa - meritev 2 (yz)", ColourY2,
       LineKind::Straight},
  };
  int y = 4;
  for (const ChartLook& s : looks) {
    s.chart = new VorChart(this);
    s.chart->setObjectName(QString::fromLatin1(s.name));
    s.chart->SetTitle(QString::fromUtf8(s.title));
    s.chart->SetCompact();
    s.chart->SetLinesDrawnDirectly();  // new points up to twenty times a second
    s.chart->SetLegendVisible(false);
    s.chart->setGeometry(4, y, ChartWidth, ChartHeight);
    s.series = &s.chart->AddLineSeries(QString::fromLatin1(s.seriesName), ColorFromBgr(s.colour), s.kind);
    y += ChartHeight + 2;
  }
  const std::array<VorChart*, 4> charts = {Chart1, Chart_U, Chart3, Chart2};
  for (int i = 0; i < 4; ++i) {
    LateMarkers[i] = &charts[i]->AddLineSeries(QStringLiteral("Zadrzani"), ColorFromBgr(ColourLate),
                                               LineKind::Straight, Qt::NoPen);
    LateMarkers[i]->Series()->setPointsVisible(true);
    LateMarkers[i]->Series()->setMarkerSize(5);
    SimulationMarkers[i] =
        &charts[i]->AddLineSeries(QStringLiteral("Simulacija"), ColorFromBgr(ColourSimulation),
                                  LineKind::Straight, Qt::DashLine);
  }
}

void TEksperiment::BuildControls() {
  struct ValueLook {
    QLabel*& label;
    const char* name;
    const char* caption;
    unsigned colour;
  };
  const ValueLook values[] = {
      {Label_Exp_MV, "Label_Exp_MV", "mv", ColourMV},
      {Label_Exp_U1, "Label_Exp_U1", "u", ColourU},
      {Label_Exp_Y1, "Label_Exp_Y1", "y", ColourY1},
      {Label_Exp_Y2, "Label_Exp_Y2", "yz", ColourY2},
  };
  int y = 4;
  for (const ValueLook& v : values) {
    auto* caption = new QLabel(QString::fromLatin1(v.caption), this);
    caption->setGeometry(ValueLabelX, y + 30, ValueLabelWidth, 16);
    v.label = new QLabel(QStringLiteral("0"), this);
    v.label->setObjectName(QString::fromLatin1(v.name));
    v.label->setGeometry(ValueLabelX, y + 48, ValueLabelWidth, 26);
    v.label->setFrameShape(QFrame::Panel);
    v.label->setFrameShadow(QFrame::Sunken);
    v.label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont font = v.label->font();
    font.setPointSize(ValueLabelPointSize);
    font.setBold(true);
    v.label->setFont(font);
    v.label->setStyleSheet(QStringLiteral("QLabel { color: %1; background: white; padding-right: 4px; }")
                               .arg(ColorFromBgr(v.colour).name()));
    y += ChartHeight + 2;
  }

  Label1 = new QLabel(QStringLiteral("t="), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(12, 472, 20, 22);
  Label2 = new QLabel(QStringLiteral("0"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(32, 472, 120, 22);
  auto* seconds = new QLabel(QStringLiteral("s"), this);
  seconds->setGeometry(152, 472, 12, 22);

  auto* sliderCaption = new QLabel(QStringLiteral("MV"), this);
  sliderCaption->setAlignment(Qt::AlignCenter);
  sliderCaption->setGeometry(600, 4, 92, 18);
  ScrollBar1 = new QScrollBar(Qt::Vertical, this);
  ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
  ScrollBar1->setRange(0, 100);
  ScrollBar1->setPageStep(10);
  ScrollBar1->setSingleStep(1);
  ScrollBar1->setValue(100);
  ScrollBar1->setGeometry(634, 24, 24, 390);
  connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] { ScrollBar1Change(); });

  VrednostVhodaEdit = new QLineEdit(QStringLiteral("0"), this);
  VrednostVhodaEdit->setObjectName(QStringLiteral("VrednostVhodaEdit"));
  VrednostVhodaEdit->setAlignment(Qt::AlignRight);
  VrednostVhodaEdit->setGeometry(600, 422, 92, 24);
  connect(VrednostVhodaEdit, &QLineEdit::returnPressed, this, [this] { VrednostVhodaEditKeyPress(); });

  RocniAvtomatski = new QPushButton(QStringLiteral("Preklop v ročno"), this);
  RocniAvtomatski->setObjectName(QStringLiteral("RocniAvtomatski"));
  RocniAvtomatski->setGeometry(330, 468, 130, 28);
  KonecEksperimenta = new QPushButton(QStringLiteral("Konec eksperimenta"), this);
  KonecEksperimenta->setObjectName(QStringLiteral("KonecEksperimenta"));
  KonecEksperimenta->setGeometry(470, 468, 222, 28);
  // Enter belongs to the value edit: no button of this window is a default button.
  for (QPushButton* b : {RocniAvtomatski, KonecEksperimenta}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  connect(RocniAvtomatski, &QPushButton::clicked, this, [this] { RocniAvtomatskiClick(); });
  connect(KonecEksperimenta, &QPushButton::clicked, this, [this] { KonecEksperimentaClick(); });

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  StatusBar1->setGeometry(0, 501, 699, 19);
  statusText_ = new QLabel(StatusBar1);
  statusText_->setObjectName(QStringLiteral("StatusBar1Text"));
  StatusBar1->addWidget(statusText_, 1);

  Timer1 = new QTimer(this);
  // Each tick is a sample of the record's time axis: a coarse timer let one come 28 ms
  // late and the next early to make up, at 50 ms sampling.
  Timer1->setTimerType(Qt::PreciseTimer);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

ChartSeries* TEksperiment::DrawnSeries(int index) const {
  ChartSeries* const series[] = {LineSeries1, Series1, Series2, LineSeries5};
  return series[index];
}

QString TEksperiment::StatusText() const { return statusText_->text(); }

void TEksperiment::FormCreate() {
  run_.Create();
  experimentGroup_ = &form_.Opc().AddGroup("Skupina1");
  experimentGroup_->SetDeadBand(0);
  experimentGroup_->SetUpdateRateMs(10);
  run_.SetReadGroup(experimentGroup_);
}

void TEksperiment::OnPlant(std::function<void()> work,
                           std::function<void(std::exception_ptr)> then) {
  // A plant over a network may take up to the link's time-out to answer: the work is a
  // job and the window goes on meanwhile (nothing to cancel: each request is bounded).
  // An in-process plant answers at once, here.
  if (form_.Opc().ReachedOverNetwork()) {
    Jobs().Start(this, std::move(work), std::move(then));
    return;
  }
  std::exception_ptr error;
  try {
    work();
  } catch (...) {
    error = std::current_exception();
  }
  then(error);
}

void TEksperiment::WaitForMVItem(bool reportFailure, std::function<void()> then) {
  // Bounded by the program's clock; a second bound on real time keeps a clock that does
  // not move (a hand-driven one) from holding the run's start.
  OpcClient& opc = form_.Opc();
  const auto waited = [this, reportFailure, then](bool good, std::string why) {
    run_.MvItemUnreachable = !good;
    // The notice about a missing connection only when there is none.
    if (!good && reportFailure && !form_.Closing()) {
      if (why.empty())
        why = MvUnreachableMessage(run_.Setup.ItemMV.get(), form_.Opc().IsConnected());
      Ui().ShowNotice(QString::fromStdString(why));
    }
    then();
  };
  const Clock& clock = form_.SystemClock();
  const OpcItem* item = run_.Setup.ItemMV.get();
  if (opc.ReachedOverNetwork()) {
    struct Waiting {
      bool Good = false;
      std::string Why;  // what is wrong with the MV item, asked of the plant where it waited
    };
    auto waiting = std::make_shared<Waiting>();
    Jobs().Start(
        this,
        [waiting, item, &clock, &opc, reportFailure] {
          QElapsedTimer elapsed;
          elapsed.start();
          waiting->Good = WaitForGoodQuality(
              item, clock,
              [&] {
                QThread::msleep(2);
                return elapsed.elapsed() < QualityWaitMs;
              },
              QualityWaitMs);
          if (!waiting->Good && reportFailure)
            waiting->Why = MvUnreachableMessage(item, opc.IsConnected());
        },
        [waiting, waited](std::exception_ptr) { waited(waiting->Good, waiting->Why); });
    return;
  }
  JobRunner::PollUntil(
      this,
      [this, item] {
        return form_.Closing() || (item != nullptr && IsGoodQuality(item->Quality()));
      },
      [&clock] { return clock.TickCountMs(); }, QualityWaitMs, QualityWaitMs,
      [this, item, waited](bool) {
        waited(item != nullptr && IsGoodQuality(item->Quality()), std::string());
      });
}

void TEksperiment::CheckAndSwitchForRun(std::function<void(const std::string& why)> then) {
  run_.Writes = form_.PlantWrites(PlantWriteSource::Experiment);
  // A run that simulates (no connection, or an MV that never became Good, as its message
  // said) writes nothing to check.
  const bool check = !run_.MvItemUnreachable && form_.Opc().IsConnected();
  const bool readMV = form_.Opc().ReachedOverNetwork() && run_.Setup.KeepInitialInput &&
                      run_.Setup.ItemMV != nullptr;
  auto prepared = std::make_shared<ExperimentRun::Preparation>();
  // Every item the run writes is checked before the first write; then the controller is
  // put into its state for the run, and the plant's MV read for a run that keeps it.
  OnPlant([this, prepared, check, readMV] { *prepared = run_.PrepareOnPlant(check, readMV); },
          [this, prepared, then](std::exception_ptr error) {
            std::string& why = prepared->Why;
            if (error) try {
                std::rethrow_exception(error);
              } catch (const std::exception& e) {
                why = OpcWindowText(e.what());
              }
            if (why.empty()) switchedForRun_ = true;
            // A period shorter than the link carries is said before the run; it runs all
            // the same, its held samples marked.
            if (why.empty() && !error && !prepared->PeriodTooShort.empty())
              Ui().ShowNotice(QString::fromStdString(prepared->PeriodTooShort));
            then(why);
          });
}

void TEksperiment::PrepareRun(bool manual, std::function<void(const std::string& why)> prepared) {
  preparing_ = true;
  recordTaken_ = false;
  // A manual run tells why its MV item cannot be reached; an automatic one simulates.
  WaitForMVItem(manual, [this, manual, prepared] {
    CheckAndSwitchForRun([this, manual, prepared](const std::string& why) {
      if (form_.Closing()) {
        // The program ended while the run was prepared: no run begins, and a controller
        // switched for it goes back to its state after a run.
        const bool switchAfter = switchedForRun_;
        switchedForRun_ = false;
        OnPlant(
            [this, switchAfter] {
              if (switchAfter) run_.SwitchAfterRun();
            },
            [this](std::exception_ptr) {
              preparing_ = false;
              QTimer::singleShot(0, this, [this] { emit RunEnded(); });
            });
        return;
      }
      preparing_ = false;
      if (why.empty()) {
        if (manual) {
          ScrollBar1->setEnabled(true);
          VrednostVhodaEdit->setEnabled(true);
        } else {
          run_.PrepareAutomaticPhases();
          // Every automatic experiment can be switched over to manual once, also after an
          // earlier one was.
          RocniAvtomatski->setEnabled(true);
        }
      }
      prepared(why);
    });
  });
}

bool TEksperiment::InFlight() const {
  return preparing_ || run_.Running() || ending_ || isVisible();
}

void TEksperiment::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TEksperiment::FormShow() {
  Timer1->stop();
  StartedAt = LocalNow(form_.SystemClock());
  recordTaken_ = true;
  lastError_.clear();
  boxedErrors_.clear();
  // The slider's range was read and checked with the rest of the setup, before the
  // activation changed anything.
  run_.Begin();
  run_.PlaceSlider(run_.Setup.MvMax, run_.Setup.MvMin, run_.Setup.MvStep);
  SyncScrollBar();
  ShowMV();
  axes_ = {};
  for (int i = 0; i < 4; ++i) {
    history_[i] = {QPointF(0, 0)};
    DrawnSeries(i)->Replace(history_[i]);
    marked_[i].clear();
    LateMarkers[i]->Replace(marked_[i]);
    SimulationMarkers[i]->Replace({});
  }
  lastHeld_ = false;
  LiveModelView->Begin();
  setWindowTitle(QStringLiteral("Eksperiment ") + QString::fromStdString(run_.Setup.ExperimentLabel));
  // Sampling runs from here on, even when the first sample's MV write is rejected. A
  // plant over a network is sampled on the sampler's own clock; the window draws what
  // has arrived at most every 50 ms.
  if (run_.Connected() && form_.Opc().ReachedOverNetwork()) {
    run_.StartSampling();
    Timer1->setInterval(std::min(run_.Setup.SamplePeriodMs, 50));
  } else {
    Timer1->setInterval(run_.Setup.SamplePeriodMs);
  }
  Timer1->start();
  Timer1Timer();
}

void TEksperiment::Timer1Timer() {
  // Sampling goes on while a message box stands over the window: the record's time axis
  // is the plant's, whatever the engineer reads meanwhile.
  if (!run_.Running()) return;
  if (ending_) {
    TakeLastPeriods();
    return;
  }
  const bool stepSequence = !form_.ExperimentTab().RadioRocno->isChecked();
  std::vector<ExperimentSample> samples;
  if (run_.Sampling())
    samples = run_.TakeArrived(stepSequence);
  else
    samples.push_back(run_.Tick(stepSequence));
  if (samples.empty()) return;
  QString error;
  for (const ExperimentSample& s : samples)
    if (!s.Error.empty()) error = lastError_ = QString::fromStdString(OpcWindowText(s.Error));
  Draw(samples);
  if (samples.back().EndRequested) EndExperiment();
  // Once the link is lost, its notice says that nothing more reaches the plant: a write
  // whose answer the loss swallowed is not told again.
  if (!error.isEmpty() && !run_.Findings.LinkLost()) ShowRunError(error);
}

void TEksperiment::Draw(const std::vector<ExperimentSample>& samples) {
  const ExperimentSample& s = samples.back();
  lastHeld_ = s.Held;
  ShowStatus();
  // The link back: the engineer hears of it once; the run goes on with the plant.
  if (std::any_of(samples.begin(), samples.end(),
                  [](const ExperimentSample& t) { return t.Reconnected; })) {
    Ui().ShowNotice(QString::fromUtf8(ReconnectedText));
    form_.OpcTab().LinkMadeAgain();
  }
  SetTextFitting(Label_Exp_MV, Fixed4(s.MV), ValueLabelPointSize);
  SetTextFitting(Label_Exp_U1, Fixed4(s.U), ValueLabelPointSize);
  SetTextFitting(Label_Exp_Y1, Fixed4(s.Y1), ValueLabelPointSize);
  SetTextFitting(Label_Exp_Y2, Fixed4(s.Y2), ValueLabelPointSize);
  Label2->setText(Fixed4(s.Time));

  // Each chart takes its new points in one replacement (one redraw): past 200 s the
  // oldest point goes, and the (0, 0) start point goes once the second sample is drawn.
  bool marksChanged = false;
  for (const ExperimentSample& t : samples) {
    const double values[] = {t.MV, t.U, t.Y1, t.Y2};
    const int dropped =
        (t.Time > ChartWindowSeconds ? 1 : 0) + (t.Time == form_.Store().SampleTime ? 1 : 0);
    for (int i = 0; i < 4; ++i) {
      QList<QPointF>& points = history_[i];
      points.remove(0, std::min<qsizetype>(dropped, points.size()));
      points.append(QPointF(t.Time, values[i]));
      QList<QPointF>& marks = marked_[i];
      const double oldest = points.first().x();
      while (!marks.isEmpty() && marks.first().x() < oldest)
        marks.removeFirst(), marksChanged = true;
      if (t.Held || t.Late) marks.append(QPointF(t.Time, values[i])), marksChanged = true;
    }
  }
  // While drawings come many times a second, one chart's axes change per drawing: a
  // change repaints that whole chart, and the four charts step their time axes at the
  // same sample. The others follow in the next drawings, their
  // newest points clipped at the edge meanwhile; each drawing offers the first turn to
  // the next chart.
  const bool oneAxisChange = Timer1->interval() < 200;
  bool axesChanged = false;
  for (int n = 0; n < 4; ++n) {
    const int i = (n + firstToFit_) % 4;
    const QList<QPointF> drawn = PointsToDraw(history_[i]);
    if (!(oneAxisChange && axesChanged)) axesChanged = FitAxes(i, drawn) || axesChanged;
    DrawnSeries(i)->Replace(drawn);
    if (marksChanged) LateMarkers[i]->Replace(PointsToDraw(marked_[i]));
  }
  firstToFit_ = (firstToFit_ + 1) % 4;
  DrawSimulationMarkers();
  LiveModelView->SamplesDrawn(history_[2].first().x());

  // The link lost: the engineer hears of it at once (on the batch that holds the first
  // simulated sample), with the controller state the run will not be able to restore.
  const RunFindings& findings = run_.Findings;
  const auto simulatedHere = std::count_if(samples.begin(), samples.end(),
                                           [](const ExperimentSample& t) { return t.Simulated; });
  if (simulatedHere > 0 && findings.LinkLost() && findings.SimulatedSamples == simulatedHere) {
    const std::string left = switchedForRun_ ? ControllerStateLeft(run_.Setup) : std::string();
    ShowRunError(QString::fromStdString(LinkLostText(findings, left, run_.Setup.Separator)));
  }
}

void TEksperiment::DrawSimulationMarkers() {
  const std::optional<double> at =
      SimulationTakeOverTime(run_.Findings, run_.Setup.PlantConfigured);
  for (int i = 0; i < 4; ++i) {
    // From the lowest to the highest value in view, while the moment is in view.
    const QList<QPointF>& points = history_[i];
    QList<QPointF> line;
    if (at && !points.isEmpty() && *at >= points.first().x()) {
      const auto [low, high] =
          std::minmax_element(points.begin(), points.end(),
                              [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
      double bottom = low->y(), top = high->y();
      if (bottom == top) bottom -= 0.5, top += 0.5;
      line = {QPointF(*at, bottom), QPointF(*at, top)};
    }
    if (line != SimulationMarkers[i]->Points()) SimulationMarkers[i]->Replace(line);
  }
}

bool TEksperiment::FitAxes(int index, const QList<QPointF>& drawn) {
  // The axes move in steps, not with every sample: a change of range repaints the whole
  // chart, where a new point repaints its plot area only.
  VorChart* const charts[] = {Chart1, Chart_U, Chart3, Chart2};
  VorChart& chart = *charts[index];
  AxisRanges& shown = axes_[static_cast<size_t>(index)];
  // Bottom: to the newest point rounded up to a step of about a twentieth of the span
  // shown (at least a period); the moving window's left end follows it.
  const double last = drawn.last().x();
  const double period = std::max(run_.Setup.SamplePeriodMs * 0.001, 1e-3);
  const double wanted = std::max(period, std::min(last, ChartWindowSeconds) / 20);
  double step = period;
  for (double s : {0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0})
    if (step < wanted && s > step) step = s;
  const double right = std::max(std::ceil(last / step - 1e-9) * step, period);
  const double left = last > ChartWindowSeconds ? right - ChartWindowSeconds : drawn.first().x();
  bool changed = false;
  if (left != shown.Left || right != shown.Right) {
    chart.SetBottomAxisRange(left, right);
    shown.Left = left, shown.Right = right;
    changed = true;
  }
  // Left: widened (with a tenth of the span to spare) when a value leaves it, narrowed
  // when the values fill less than half of it.
  double low = drawn.first().y(), high = low;
  for (const QPointF& p : drawn) low = std::min(low, p.y()), high = std::max(high, p.y());
  for (const QPointF& p : marked_[static_cast<size_t>(index)])
    low = std::min(low, p.y()), high = std::max(high, p.y());
  const double span = high > low ? high - low : std::max(std::abs(high) * 0.1, 0.5);
  const double wantedLow = low - 0.1 * span, wantedHigh = high + 0.1 * span;
  // A level signal (MV between steps) fills none of its range: it keeps the range it has.
  if (low >= shown.Low && high <= shown.High &&
      (high - low >= 0.5 * (shown.High - shown.Low) ||
       (wantedLow == shown.Low && wantedHigh == shown.High)))
    return changed;
  shown.Low = wantedLow;
  shown.High = wantedHigh;
  chart.SetLeftAxisRange(shown.Low, shown.High);
  return true;
}

void TEksperiment::ShowStatus() {
  const char* state = ConnectedStatusText;
  const std::optional<int> reconnectLeft = run_.ReconnectSecondsLeft();
  if (reconnectLeft)
    state = "";  // the link is being made again: held, not simulated
  else if (!run_.Connected())
    state = form_.Opc().IsConnected() ? FallBackStatusText : SimulationStatusText;
  else if (lastHeld_)
    state = LatePlantStatusText;
  QString text = QString::fromUtf8(state);
  if (reconnectLeft)
    text = QStringLiteral("  ") + QString::fromStdString(ReconnectingStatusText(*reconnectLeft)) +
           QStringLiteral("  ") + QString::fromUtf8(HeldStatusText);
  if (run_.Findings.LinkLost())
    text = QStringLiteral(
               "  Opozorilo: povezava s strežnikom je izgubljena %1! Simulacija v teku, "
               "v obrat se nič ne piše.")
               .arg(QString::fromStdString(SimulatedFromText(run_.Findings, run_.Setup.Separator)));
  if (lastHeld_ || run_.Findings.HeldSamples > 0) {
    if (!text.trimmed().isEmpty()) text += QStringLiteral("  ");
    text += QStringLiteral("Zadržanih vzorcev: %1").arg(run_.Findings.HeldSamples);
  }
  if (run_.Findings.Errors > 0) {
    if (!text.trimmed().isEmpty()) text += QStringLiteral("  ");
    text += QStringLiteral("Napak: %1, zadnja: %2").arg(run_.Findings.Errors).arg(lastError_);
  }
  statusText_->setText(text);
}

void TEksperiment::ShowRunError(const QString& text) {
  // Told in the status bar at once and in a notice that holds nothing: the sampling, the
  // drawing and the record go on. One notice per kind of error and run: a write the
  // plant keeps rejecting must not bury the window under boxes.
  if (boxedErrors_.contains(text)) return;
  boxedErrors_.insert(text);
  Ui().ShowNotice(text);
}

void TEksperiment::EndExperiment() {
  // A second "Konec eksperimenta" while the end is under way changes nothing.
  if (ending_ || !run_.Running()) return;
  ending_ = true;
  QDialog::done(QDialog::Accepted);
  if (!run_.Sampling()) {
    Timer1->stop();
    CompleteRecord();
    return;
  }
  // The periods whose deadlines have passed are still the run's: their samples arrive a
  // round trip (and, by subscription, a publishing interval) after them, or are held
  // once the sampler has waited for them as long as it holds a period. The window has
  // closed; Timer1 takes them as they come, and the record is completed after the last.
  run_.EndSampling();
  Timer1->setInterval(std::min(run_.Setup.SamplePeriodMs, 50));
  Timer1->start();
  TakeLastPeriods();
}

void TEksperiment::TakeLastPeriods() {
  const bool allIn = run_.LastPeriodsIn();  // what arrived before it is in the queue
  const bool stepSequence = !form_.ExperimentTab().RadioRocno->isChecked();
  const std::vector<ExperimentSample> rest = run_.TakeArrived(stepSequence);
  if (!rest.empty()) Draw(rest);
  if (!allIn) return;
  Timer1->stop();
  CompleteRecord();
}

void TEksperiment::CompleteRecord() {
  LiveModelView->End();
  const bool sampling = run_.Sampling();
  if (run_.Finish(false)) {
    ProcessingPage& processing = form_.ProcessingTab();
    processing.ConditionAfterExperiment();
    if (form_.ExperimentTab().RadioAvtomatsko->isChecked())
      processing.SetAnalysisWindowStart(AnalysisWindowStart(run_.Setup.WaitTime, form_.Store().SampleTime));
  }
  // The sampler's threads end (a read still in flight is not waited for here: its answer
  // is dropped), then the controller is put into its after-experiment state: on the
  // plant's side of the window (a job for a plant over a network). A switch that does not
  // reach the plant is noted in the findings, never thrown.
  const bool switchAfter = switchedForRun_;
  switchedForRun_ = false;
  OnPlant(
      [this, sampling, switchAfter] {
        if (sampling) run_.Sampler().Stop();
        run_.RestorePlantAfterRun(switchAfter);
      },
      [this](std::exception_ptr) { Ended(); });
}

void TEksperiment::Ended() {
  // The state the controller kept is told when the switch did not reach the plant: the
  // link lost during the run, as the run ended, or the switch refused.
  const RunFindings& met = run_.Findings;
  // The sequence ended short of its plan before a forecast crossing, MV back: told why.
  if (met.EndedBeforeForecast())
    ShowRunError(
        QString::fromStdString(EarlyStepEndText(met.EarlyEnds.back(), run_.Setup.Separator)));
  if (met.Trip)
    ShowRunError(QString::fromStdString(TripNoticeText(met, run_.Setup.Separator)));
  else if (met.LinkLost())
    ShowRunError(
        QString::fromStdString(LinkLostText(met, met.ControllerLeft, run_.Setup.Separator)));
  else if (!met.ControllerLeft.empty())
    ShowRunError(QString::fromStdString(
        form_.Opc().IsConnected() ? met.ControllerLeft : LinkLostAtEndText(met.ControllerLeft)));
  // The main window's status bar speaks of the record now in the store: an earlier
  // run's findings that still stand there go.
  const QString findings =
      QString::fromStdString(RunFindingsText(run_.Findings, run_.Setup.Separator));
  if (!findings.isEmpty())
    form_.SetStatusText(findings);
  else if (!shownFindings_.isEmpty() && form_.StatusText() == shownFindings_)
    form_.SetStatusText(QString());
  shownFindings_ = findings;
  ending_ = false;
  // Told from the event loop: what goes on from the end (the chain, the queue) does not
  // run inside the click or the tick that ended the run.
  QTimer::singleShot(0, this, [this] { emit RunEnded(); });
}

void TEksperiment::reject() { EndExperiment(); }

void TEksperiment::keyPressEvent(QKeyEvent* event) {
  // A stray Escape must not end a running experiment; "Konec eksperimenta" does.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TEksperiment::SwitchToManual() { run_.SwitchToManual(); }

void TEksperiment::SwitchToAutomatic() { run_.SwitchToAutomatic(); }

void TEksperiment::SyncScrollBar() {
  const QSignalBlocker block(ScrollBar1);
  ScrollBar1->setRange(run_.Slider.Minimum, run_.Slider.Maximum);
  ScrollBar1->setValue(run_.Slider.Position);
}

void TEksperiment::ShowMV() { VrednostVhodaEdit->setText(General8(run_.MV)); }

void TEksperiment::ScrollBar1Change() {
  if (run_.SliderMoved(ScrollBar1->value())) ShowMV();
}

void TEksperiment::VrednostVhodaEditKeyPress() {
  double value = 0;
  try {
    value = TypedNumber(VrednostVhodaEdit);
  } catch (const ConversionError& e) {
    // MV stays; the run goes on and counts the error like a rejected write.
    ++run_.Findings.Errors;
    lastError_ = QString::fromStdString(e.Slovenian());
    ShowStatus();
    ShowRunError(lastError_);
    return;
  }
  const bool snapped = run_.ValueTyped(value);
  SyncScrollBar();
  if (snapped) ShowMV();
}

void TEksperiment::SetSliderFromValue(double value) {
  const bool moved = run_.Slider.SetFromValue(value);
  SyncScrollBar();
  if (moved) ScrollBar1Change();
}

void TEksperiment::RocniAvtomatskiClick() {
  ScrollBar1->setEnabled(true);
  VrednostVhodaEdit->setEnabled(true);
  form_.ExperimentTab().RadioRocno->setChecked(true);
  ShowMV();
  SetSliderFromValue(run_.MV);
  RocniAvtomatski->setEnabled(false);
}

void TEksperiment::KonecEksperimentaClick() { EndExperiment(); }
