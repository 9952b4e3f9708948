#include "app/TForm1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/AboutPage.h"
#include "data/Clock.h"
#include "data/ui/ProcessingPage.h"
#include "data/ui/TForm_Histogram.h"
#include "data/ui/TForm_Obdelava_Large.h"
#include "experiment/ExperimentSetupBuilder.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "experiment/ui/TForm_SamodNastav.h"
#include "forms/JobRunner.h"
#include "forms/UiServices.h"
#include "model/ui/ModelPage.h"
#include "opc/OpcClient.h"
#include "opc/PlantWriteGate.h"
#include "opc/ui/OpcPage.h"
#include "report/ui/ReportPage.h"
#include "tuning/ui/RegulatorPage.h"

TForm1::TForm1(OpcClient& opc, Clock& clock, QWidget* parent)
    : QMainWindow(parent), store_(std::make_unique<MeasurementStore>()), opc_(opc), clock_(clock) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(MainCaption));
  // Fixed frame: client area 897 x 580, the tabs over 897 x 560, a 19-pixel status bar.
  setFixedSize(897, 580);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  setCentralWidget(PageControl1);

  opcPage_ = new OpcPage(*this);
  experimentPage_ = new ExperimentPage(*this);
  processingPage_ = new ProcessingPage(*this);
  modelPage_ = new ModelPage(*this);
  regulatorPage_ = new RegulatorPage(*this);
  reportPage_ = new ReportPage(*this);
  aboutPage_ = new AboutPage(this);
  PageControl1->addTab(opcPage_, QStringLiteral("OPC"));
  PageControl1->addTab(experimentPage_, QStringLiteral("Eksperiment"));
  PageControl1->addTab(processingPage_, QStringLiteral("Obdelava"));
  PageControl1->addTab(modelPage_, QStringLiteral("Model"));
  PageControl1->addTab(regulatorPage_, QStringLiteral("Regulator"));
  PageControl1->addTab(reportPage_, QStringLiteral("Poročilo"));
  PageControl1->addTab(aboutPage_, QStringLiteral("O programu"));
  PageControl1->setCurrentIndex(TabEksperiment);

  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("StatusBar1"));
  bar->setFixedHeight(19);
  bar->setSizeGripEnabled(false);
  statusText_ = new QLabel(bar);
  statusText_->setObjectName(QStringLiteral("StatusBarText"));
  // A text longer than the window is cut at its edge, never widens the window; the
  // tooltip holds it whole.
  statusText_->setMinimumWidth(1);
  statusText_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  bar->addWidget(statusText_, 1);
  statusAlarm_ = new QLabel(bar);
  statusAlarm_->setObjectName(QStringLiteral("StatusBarAlarm"));
  statusAlarm_->setStyleSheet(
      QStringLiteral("#StatusBarAlarm { color: #c00000; font-weight: bold; }"));
  statusAlarm_->hide();
  bar->addWidget(statusAlarm_, 2);
  setStatusBar(bar);

  Timer_FirstScreen = new QTimer(this);
  Timer_FirstScreen->setObjectName(QStringLiteral("Timer_FirstScreen"));
  Timer_FirstScreen->setInterval(5000);
  connect(Timer_FirstScreen, &QTimer::timeout, this, &TForm1::Timer_FirstScreenTimer);
  Timer_ExperimentScheduler = new QTimer(this);
  Timer_ExperimentScheduler->setObjectName(QStringLiteral("Timer_ExperimentScheduler"));
  Timer_ExperimentScheduler->setInterval(500);
  connect(Timer_ExperimentScheduler, &QTimer::timeout, experimentPage_,
          &ExperimentPage::Timer_ExperimentSchedulerTimer);

  FormCreate();
  Timer_FirstScreen->start();
}

TForm1::~TForm1() = default;

PlantWriteContext TForm1::PlantWrites(PlantWriteSource source) {
  PlantWriteContext context;
  context.Source = source;
  context.Client = &opc_;
  context.Server = opcPage_->ConnectedServer().toStdString();
  context.Log = writeLog_.get();
  return context;
}

void TForm1::ComputeModel() { modelPage_->IzracunModelaClick(); }

void TForm1::ComputePidParameters() { regulatorPage_->Button_PIDClick(); }

void TForm1::FormCreate() {
  store_->TuningEventsSuppressed = false;
  opcPage_->FillServerList();
  experimentPage_->SetStartDateToday();
  opcPage_->SelectManualValuesZero();
  skupReg_ = &opc_.AddGroup("SkupReg");
  // One log of every write to a plant, in the user's data folder.
  writeLog_ = std::make_unique<PlantWriteLog>(
      QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
          .filePath(QStringLiteral("plant-writes.log"))
          .toStdString());
  opcPage_->SetWriteLogPath(QString::fromStdString(writeLog_->Path()));
  LastDirectory = QDir::toNativeSeparators(UserFilesFolder());
  SetDialogFoldersToLastDirectory();
  modelPage_->HideQualityImages();
  aboutPage_->SetVersionText(windowTitle());
}

void TForm1::AttachWindows(TEksperiment* eksperiment, TForm_SamodNastav* samodNastav,
                           TForm_Histogram* histogram, TForm_Obdelava_Large* obdelavaLarge) {
  eksperiment_ = eksperiment;
  // The run's end goes on where the page started it; a run the program's end ended lets
  // the program end.
  connect(eksperiment_, &TEksperiment::RunEnded, experimentPage_, &ExperimentPage::RunEnded);
  connect(eksperiment_, &TEksperiment::RunEnded, this, [this] {
    if (closing_) FinishClosing();
  });
  samodNastav_ = samodNastav;
  histogram_ = histogram;
  obdelavaLarge_ = obdelavaLarge;
}

void TForm1::SetDialogFoldersToLastDirectory() {
  for (FileDialog* d : {&SaveDialog2, &SaveDialog_Model, &SaveDialog_Controller, &OpenDialog1,
                        &OpenDialog_Model, &OpenDialog_Controller})
    d->InitialDir = LastDirectory;
}

void TForm1::Timer_FirstScreenTimer() {
  PageControl1->setCurrentIndex(TabOpc);
  Timer_FirstScreen->stop();
}

void TForm1::ApplyAutomaticOptions(const AutomaticOptions& o) {
  store_->TuningEventsSuppressed = true;
  modelPage_->CheckBox_Model_Outer->setChecked(o.OuterModel);
  processingPage_->Edit8->setText(QString::fromStdString(o.FilterTime));
  processingPage_->Edit_Actuator_Maximum->setText(QString::fromStdString(o.ActuatorMaximum));
  processingPage_->Edit_Actuator_Minimum->setText(QString::fromStdString(o.ActuatorMinimum));
  processingPage_->Edit_Actuator_Velocity->setText(QString::fromStdString(o.ActuatorVelocity));
  regulatorPage_->SetTuningControls(o.Tuning);
  reportPage_->CheckBox1->setChecked(o.ReportProcessing);
  reportPage_->CheckBox2->setChecked(o.ReportModel);
  reportPage_->CheckBox3->setChecked(o.ReportController);
  store_->TuningEventsSuppressed = false;
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program: the scheduler stops, the other windows
  // close with it, a run under way ends as "Konec eksperimenta" ends it and its record is
  // saved, and the plant connection is closed cleanly once the run has let it go.
  QMainWindow::closeEvent(event);
  if (!event->isAccepted() || closing_) return;
  closing_ = true;
  Timer_ExperimentScheduler->stop();
  Timer_FirstScreen->stop();
  for (QWidget* w : std::initializer_list<QWidget*>{samodNastav_, histogram_, obdelavaLarge_})
    if (w != nullptr) w->close();
  if (eksperiment_ != nullptr && eksperiment_->Run().Running()) eksperiment_->EndExperiment();
  // A connect under way is given up: it may wait on a question that is closed with the
  // window, or on a server that does not answer.
  if (opcPage_->ConnectUnderWay()) opcPage_->PrekliciPovezovanjeClick();
  FinishClosing();
}

void TForm1::FinishClosing() {
  // Called again when the run has ended.
  if (RunInFlight()) return;
  if (opc_.IsConnected()) opcPage_->PrekiniOPCStreznikClick();  // ended, not lost
  // A job still under way (a connect or a load cut short by the disconnect) ends within
  // its request's time-out; the program ends when it has, so that nothing it holds goes
  // before it.
  if (Jobs().Running() == 0) {
    QCoreApplication::quit();
    return;
  }
  connect(&Jobs(), &JobRunner::Idle, this, &TForm1::Quit, Qt::UniqueConnection);
}

void TForm1::Quit() { QCoreApplication::quit(); }

bool TForm1::RunInFlight() const {
  return (eksperiment_ != nullptr && eksperiment_->InFlight()) || experimentPage_->RunUnderWay();
}

std::pair<int, int> TForm1::ChosenAnalysisWindow() const {
  return {processingPage_->ScrollBar3->value(), processingPage_->ScrollBar4->value()};
}

QString TForm1::PlantItemId(int row) const { return opcPage_->ItemId(row); }

SequencerTexts TForm1::Sequencer() const {
  SequencerTexts s;
  s.Enabled = experimentPage_->CheckBox_Sekvencer->isChecked();
  const QTableWidget* grid = experimentPage_->StringGrid_Sekvencer;
  const auto cell = [grid](int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
  };
  for (int row = 0; row < grid->rowCount() && !cell(row, 0).isEmpty(); ++row)
    s.Rows.emplace_back(cell(row, 0), cell(row, 1));
  s.MinY1 = processingPage_->Label_MinY1->text();
  s.MaxY1 = processingPage_->Label_MaksY1->text();
  return s;
}

void TForm1::SetStatusText(const QString& text) {
  statusText_->setText(text);
  statusText_->setToolTip(text);
}
QString TForm1::StatusText() const { return statusText_->text(); }
void TForm1::SetStatusAlarm(const QString& text) {
  statusAlarm_->setText(text);
  statusAlarm_->setToolTip(text);
  statusAlarm_->setVisible(!text.isEmpty());
}
QString TForm1::StatusAlarm() const { return statusAlarm_->text(); }
void TForm1::ServerConnected() { regulatorPage_->ServerConnected(); }

ApplicationWindows::ApplicationWindows() = default;
ApplicationWindows::ApplicationWindows(ApplicationWindows&&) noexcept = default;
ApplicationWindows& ApplicationWindows::operator=(ApplicationWindows&&) noexcept = default;
ApplicationWindows::~ApplicationWindows() = default;

ApplicationWindows CreateApplicationWindows(OpcClient& opc, Clock& clock) {
  ApplicationWindows w;
  w.Form1 = std::make_unique<TForm1>(opc, clock);
  w.Eksperiment = std::make_unique<TEksperiment>(*w.Form1);
  w.SamodNastav = std::make_unique<TForm_SamodNastav>(*w.Form1);
  w.Histogram = std::make_unique<TForm_Histogram>();
  w.ObdelavaLarge = std::make_unique<TForm_Obdelava_Large>();
  w.Form1->AttachWindows(w.Eksperiment.get(), w.SamodNastav.get(), w.Histogram.get(),
                         w.ObdelavaLarge.get());
  return w;
}
