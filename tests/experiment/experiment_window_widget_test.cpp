#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QValueAxis>
#include <QtTest/QTest>
#include <array>
#include <functional>
#include <set>

#include "FakePlant.h"
#include "charts/VorChart.h"
#include "data/TObdelava.h"
#include "data/ui/ProcessingPage.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/LiveModelPanel.h"
#include "experiment/ui/TEksperiment.h"
#include "experiment/ui/TForm_SamodNastav.h"
#include "opc/ui/RadioGroup.h"
#include "support/AppFixture.h"

namespace {

// Prepares a run and lets the event loop go on until the preparation has answered.
std::string Prepare(TEksperiment& w, bool manual) {
  bool done = false;
  std::string why;
  w.PrepareRun(manual, [&](const std::string& answer) {
    why = answer;
    done = true;
  });
  QElapsedTimer waited;
  waited.start();
  while (!done && waited.elapsed() < 5000) AppFixture::Pass();
  EXPECT_TRUE(done) << "the preparation never answered";
  return why;
}

class ExperimentWindow : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    // The wait for the MV item's quality runs on the program's clock; move it on every
    // pass of the event loop so that the wait ends at once in test time.
    QObject::connect(&clockDriver, &QTimer::timeout, [this] { clock.AdvanceMs(500); });
    clockDriver.start(0);
  }
  void TearDown() override {
    WaitForJobs();
    QLocale::setDefault(QLocale::c());
  }
  ExperimentPage& Page() { return Form().ExperimentTab(); }
  TEksperiment& Window() { return *windows.Eksperiment; }

  // Activates a manual experiment, runs `during` once the window shows and ends the run.
  void RunManual(const std::function<void()>& during) {
    Page().RadioRocno->setChecked(true);
    // The quality wait processes events too: act once the window is shown.
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [this, &driver, during] {
      if (!Window().isVisible()) return;
      driver.stop();
      during();
      if (Window().isVisible()) QTest::mouseClick(Window().KonecEksperimenta, Qt::LeftButton);
    });
    driver.start(0);
    QTest::mouseClick(Page().AktivirajEksperiment, Qt::LeftButton);
    QElapsedTimer waited;
    waited.start();
    while (driver.isActive() && waited.elapsed() < 10000) Pass();
    EXPECT_FALSE(driver.isActive()) << "the window was never shown";
    driver.stop();
    Settle(Form());
  }
  void Type(const QString& text) {
    Window().VrednostVhodaEdit->clear();
    QTest::keyClicks(Window().VrednostVhodaEdit, text);
    QTest::keyClick(Window().VrednostVhodaEdit, Qt::Key_Return);
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) Window().Timer1Timer();
  }
  // A manual run at the given period, shown, its ticks given by the test.
  TEksperiment& StartManualRun(int periodMs) {
    TEksperiment& w = Window();
    Page().RadioRocno->setChecked(true);
    w.Run().Setup.SamplePeriodMs = periodMs;
    Form().Store().SampleTime = periodMs * 0.001;
    w.FormShow();
    w.Timer1->stop();
    return w;
  }

  QTimer clockDriver;
};

}  // namespace

TEST_F(ExperimentWindow, HasItsLayoutTextsAndChartColours) {
  TEksperiment& w = Window();
  EXPECT_EQ(w.size(), QSize(699 + LiveModelPanel::Width + 6, 520));
  EXPECT_EQ(w.Chart1->Title(), "Manipulativni signal (mv)");
  EXPECT_EQ(w.Chart_U->Title(), "Izhod regulatorja (u)");
  EXPECT_EQ(w.Chart3->Title(), "Izhod iz procesa - meritev 1 (y)");
  EXPECT_EQ(w.Chart2->Title(), "Zunanji izhod iz procesa - meritev 2 (yz)");
  EXPECT_EQ(w.LineSeries1->Color(), QColor(255, 0, 0));
  EXPECT_EQ(w.Series1->Color(), QColor(128, 0, 0));
  EXPECT_EQ(w.Series2->Color(), QColor(0, 0, 255));
  EXPECT_EQ(w.LineSeries5->Color(), QColor(0, 128, 0));
  EXPECT_EQ(w.Label_Exp_MV->text(), "0");
  EXPECT_EQ(w.Label1->text(), "t=");
  EXPECT_EQ(w.Label2->text(), "0");
  EXPECT_EQ(w.ScrollBar1->orientation(), Qt::Vertical);
  EXPECT_EQ(w.ScrollBar1->pageStep(), 10);
  EXPECT_EQ(w.ScrollBar1->value(), 100);
  EXPECT_EQ(w.VrednostVhodaEdit->text(), "0");
  EXPECT_EQ(w.RocniAvtomatski->text(), "Preklop v ročno");
  EXPECT_EQ(w.KonecEksperimenta->text(), "Konec eksperimenta");
  EXPECT_FALSE(w.Timer1->isActive());
  EXPECT_EQ(w.ExperimentGroup().Name(), "Skupina1");
}

TEST_F(ExperimentWindow, AManualExperimentRunsOnTheSimulationAndEndsOnTheProcessingTab) {
  Page().CasVzorcenjaEdit->setText("0.05");
  Page().ZacetniVhodEdit->setText("10");
  RunManual([this] {
    TEksperiment& w = Window();
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.Timer1->interval(), 50);
    EXPECT_FALSE(w.RocniAvtomatski->isVisible());
    EXPECT_EQ(w.StatusText(),
              "  Opozorilo: povezava s strežnikom ni vzpostavljena! Simulacija v teku...");
    EXPECT_EQ(w.VrednostVhodaEdit->text(), "10");
    Ticks(100);
    Type("20");  // Enter takes the value; it does not press a button of the window
    ASSERT_TRUE(w.isVisible());
    EXPECT_EQ(w.Run().MV, 20.0);
    EXPECT_EQ(w.ScrollBar1->value(), 80);
    Ticks(400);
    EXPECT_EQ(w.Label_Exp_MV->text(), "20.0000");
    EXPECT_EQ(w.Label_Exp_U1->text(), "10.0000");
    EXPECT_NEAR(w.Label_Exp_Y1->text().toDouble(), 30, 1.0);
    EXPECT_NEAR(w.Label_Exp_Y2->text().toDouble(), 40, 0.5);
    EXPECT_EQ(w.Label2->text(), "25.0000");  // the 501st sample, at 500 * 0.05 s
  });
  EXPECT_EQ(
      ui.Notices,
      QStringList{"Povezava z OPC streznikom ni vzpostavljena! Aktivirana je simulacija procesa."});
  EXPECT_FALSE(Window().isVisible());
  EXPECT_FALSE(Window().Timer1->isActive());
  EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), 2);
  const MeasurementStore& store = Form().Store();
  EXPECT_GE(store.SampleCount, 501);
  EXPECT_EQ(store.SampleTime, 0.05);
  EXPECT_EQ(store.ColumnCount, 6);
  EXPECT_EQ(store.DataColumns[1][1], 10.0);
  EXPECT_EQ(store.DataColumns[1][501], 20.0);
}

TEST_F(ExperimentWindow, ActivationCorrectsSamplingAndWaitingTimesUnderBothSeparators) {
  for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Slovenian, QLocale::Slovenia)}) {
    QLocale::setDefault(locale);
    const QString sep = locale.decimalPoint();
    Page().CasVzorcenjaEdit->setText("0" + sep + "01");
    Page().CasCakanjaEdit->setText("0");
    RunManual([this] { EXPECT_EQ(Window().Timer1->interval(), 50); });
    EXPECT_EQ(Page().CasVzorcenjaEdit->text(), "0" + sep + "05");
    EXPECT_EQ(Page().CasCakanjaEdit->text(), "0" + sep + "1");
    Page().CasVzorcenjaEdit->setText("1");
    RunManual([] {});
    EXPECT_EQ(Page().CasCakanjaEdit->text(), "2");
    Page().CasCakanjaEdit->setText("7" + sep + "5");
    RunManual([] {});
    EXPECT_EQ(Page().CasCakanjaEdit->text(), "7" + sep + "5");
  }
}

TEST_F(ExperimentWindow, ASecondClickDuringTheQualityWaitStartsNoSecondExperiment) {
  bool clickedAgain = false;
  QTimer::singleShot(0, [&] {
    clickedAgain = true;
    QTest::mouseClick(Page().AktivirajEksperiment, Qt::LeftButton);
  });
  RunManual([] {});
  EXPECT_TRUE(clickedAgain);
  EXPECT_EQ(ui.Notices.size(), 1);
}

TEST_F(ExperimentWindow, ANonNumericMVMaximumIsRefusedBeforeTheWindowOpens) {
  Page().Edit_MVMax->setText("abc");
  Page().RadioRocno->setChecked(true);
  QTest::mouseClick(Page().AktivirajEksperiment, Qt::LeftButton);
  EXPECT_EQ(ui.Errors, QStringList{"»abc« ni veljavno število."});
  EXPECT_TRUE(ui.ShownDialogs.empty());
  EXPECT_FALSE(Window().isVisible());
  EXPECT_FALSE(Window().Timer1->isActive());
}

TEST_F(ExperimentWindow, ClosingFromTheTitleBarEndsTheExperimentLikeTheEndButton) {
  Page().CasVzorcenjaEdit->setText("0.05");
  RunManual([this] {
    Ticks(3);
    Window().close();
  });
  EXPECT_FALSE(Window().isVisible());
  EXPECT_FALSE(Window().Timer1->isActive());
  EXPECT_EQ(Form().Store().SampleCount, 10);
  EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), 2);
}

TEST_F(ExperimentWindow, AStrayEscapeDoesNotEndTheExperiment) {
  Page().CasVzorcenjaEdit->setText("0.05");
  RunManual([this] {
    Ticks(20);
    QTest::keyClick(&Window(), Qt::Key_Escape);
    QTest::keyClick(Window().VrednostVhodaEdit, Qt::Key_Escape);
    EXPECT_TRUE(Window().isVisible());
    EXPECT_TRUE(Window().Timer1->isActive());
  });
  EXPECT_FALSE(Window().Timer1->isActive());
  EXPECT_GE(Form().Store().SampleCount, 21);
}

TEST_F(ExperimentWindow, TicksGoOnWhileAMessageBoxStandsOverTheWindow) {
  Page().CasVzorcenjaEdit->setText("0.05");
  RunManual([this] {
    Ticks(5);
    QDialog box(&Window());
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    const int before = Form().Store().SampleCount;
    Ticks(5);
    EXPECT_EQ(Form().Store().SampleCount, before + 5);
    box.hide();
  });
}

// The program closed during a run: the run ends as "Konec eksperimenta" ends it and its
// record is saved beside the settings before the program goes.
TEST_F(ExperimentWindow, ClosingTheProgramDuringARunEndsItAndSavesItsRecord) {
  QTemporaryDir folder;
  Form().LastDirectory = folder.path();
  ui.QueueFileAnswer(folder.filePath("kotel.vtx"));
  Page().RadioRocno->setChecked(true);
  QTest::mouseClick(Page().AktivirajEksperiment, Qt::LeftButton);
  QElapsedTimer waited;
  waited.start();
  while (!Window().isVisible() && waited.elapsed() < 10000) Pass();
  ASSERT_TRUE(Window().isVisible());
  Ticks(30);
  Form().close();
  Settle(Form());
  EXPECT_FALSE(Window().isVisible());
  EXPECT_FALSE(Window().Run().Running());
  const QString saved = folder.filePath(QString::fromUtf8("kotel (ob zaprtju programa).vtd"));
  ASSERT_TRUE(QFileInfo::exists(saved));
  auto record = std::make_unique<MeasurementStore>();
  TObdelava::ReadDataFile(saved.toStdString(), *record, '.');
  EXPECT_EQ(record->SampleCount, Form().Store().SampleCount);
  EXPECT_GE(record->SampleCount, 30);
}

TEST_F(ExperimentWindow, ATypedMVOutsideTheRangeWidensTheSlider) {
  RunManual([this] {
    Ticks(2);
    Type("150");
    EXPECT_EQ(Window().ScrollBar1->maximum(), 150);
    EXPECT_EQ(Window().ScrollBar1->value(), 0);
    EXPECT_EQ(Window().Run().MV, 150.0);
    Type("x");
    EXPECT_EQ(Window().Run().MV, 150.0);
  });
  ASSERT_EQ(ui.Notices.size(), 2);  // the simulation's, then the typed text's
  EXPECT_EQ(ui.Notices[1], QString::fromUtf8("»x« ni veljavno število."));
}

// MV 1e12: written as typed (not the slider end's 2147483647) and shown whole.
TEST_F(ExperimentWindow, AHugeMVIsKeptAndItsLabelShowsEveryDigit) {
  RunManual([this] {
    Ticks(1);
    Type("1e12");
    Ticks(1);
    const TEksperiment& w = Window();
    const MeasurementStore& store = Form().Store();
    EXPECT_EQ(store.DataColumns[1][static_cast<size_t>(store.SampleCount - 1)],
              1e12);  // the last sample
    EXPECT_EQ(w.Label_Exp_MV->text(), "1E12");
    Type("-1234567890.6");
    Ticks(1);
    EXPECT_EQ(w.Label_Exp_MV->text(), "-1234567891.0000");
    EXPECT_LE(w.Label_Exp_MV->fontMetrics().horizontalAdvance(w.Label_Exp_MV->text()),
              w.Label_Exp_MV->contentsRect().width());
  });
}

TEST_F(ExperimentWindow, MovingTheSliderSetsMVAndTheValueEdit) {
  Page().ZacetniVhodEdit->setText("12.345");
  RunManual([this] {
    EXPECT_EQ(Window().Run().MV, 12.345);  // the start stays off the slider's grid
    EXPECT_EQ(Window().VrednostVhodaEdit->text(), "12.345");
    Ticks(1);
    Window().ScrollBar1->setValue(60);
    EXPECT_EQ(Window().Run().MV, 40.0);
    EXPECT_EQ(Window().VrednostVhodaEdit->text(), "40");
  });
}

TEST_F(ExperimentWindow, ChartsDropTheStartPointAndKeepAbout200Seconds) {
  TEksperiment& w = StartManualRun(1000);
  EXPECT_EQ(w.LineSeries1->Count(), 2);  // (0, 0) and the sample at t = 0
  Ticks(1);
  EXPECT_EQ(w.LineSeries1->Count(), 2);  // the start point is gone
  EXPECT_EQ(w.LineSeries1->Points().first().x(), 0.0);
  Ticks(300);
  EXPECT_EQ(w.LineSeries5->Count(), 201);
  EXPECT_EQ(w.Chart2->SeriesAt(0).Points().first().x(), 101.0);
  w.EndExperiment();
}

TEST_F(ExperimentWindow, AShortSamplingPeriodDrawsASelectionThatKeepsEveryPeak) {
  TEksperiment& w = StartManualRun(50);
  Ticks(2000);
  w.Run().ValueTyped(90);  // one sample's spike
  Ticks(1);
  w.Run().ValueTyped(10);
  Ticks(2200);
  const QList<QPointF>& drawn = w.LineSeries1->Points();
  EXPECT_LE(drawn.size(), 401);
  EXPECT_GE(drawn.size(), 200);
  EXPECT_NEAR(drawn.first().x(), 210.1 - 200, 0.5);
  EXPECT_DOUBLE_EQ(drawn.last().x(), w.Run().ExperimentTime - 0.05);
  double peak = 0;
  for (const QPointF& p : drawn) peak = std::max(peak, p.y());
  EXPECT_EQ(peak, 90.0);
  for (qsizetype k = 1; k < drawn.size(); ++k) EXPECT_LT(drawn[k - 1].x(), drawn[k].x());
  w.EndExperiment();
}

// Drawn many times a second, the four charts lay out at most one chart's axes per sample
// (a change of axes is the costly part of a drawing) and a level MV leaves its axis alone;
// the time axes still come together within a few samples.
TEST_F(ExperimentWindow, AtShortPeriodsOneChartChangesItsAxesPerSampleAndALevelNone) {
  TEksperiment& w = StartManualRun(50);
  const std::array<VorChart*, 4> charts = {w.Chart1, w.Chart_U, w.Chart3, w.Chart2};
  std::set<int> changed;
  for (int i = 0; i < 4; ++i)
    for (QAbstractAxis* axis : charts[i]->chart()->axes()) {
      auto* a = qobject_cast<QValueAxis*>(axis);
      const auto mark = [&changed, i] { changed.insert(i); };
      QObject::connect(a, &QValueAxis::rangeChanged, mark);
      QObject::connect(a, &QValueAxis::tickTypeChanged, mark);
      QObject::connect(a, &QValueAxis::tickIntervalChanged, mark);
    }
  int mvChanges = 0, most = 0;
  for (int k = 0; k < 4400; ++k) {  // past the 200 s window
    if (k == 2000) w.Run().ValueTyped(30);
    changed.clear();
    Ticks(1);
    if (k >= 4) most = std::max(most, static_cast<int>(changed.size()));  // each chart fitted
    if (k >= 400 && k < 2000 && changed.count(0)) ++mvChanges;
  }
  EXPECT_EQ(most, 1);
  // MV level from 20 s to 100 s: its chart's time axis steps about twenty times (1, 2, 5 s
  // steps), its left axis not at all.
  EXPECT_LE(mvChanges, 40);
  Ticks(4);
  for (VorChart* chart : charts) {
    EXPECT_EQ(chart->BottomAxisMaximum(), charts[0]->BottomAxisMaximum());
    EXPECT_EQ(chart->BottomAxisMinimum(), charts[0]->BottomAxisMaximum() - 200);
  }
  w.EndExperiment();
}

TEST_F(ExperimentWindow, SwitchOverToManualStopsTheStepsAndFreesTheSlider) {
  TEksperiment& w = Window();
  w.Run().Setup.SamplePeriodMs = 1000;
  w.Run().Setup.WaitTime = 2;
  w.Run().Setup.StepDuration = 2;
  w.Run().Setup.StepSize = 5;
  w.Run().Setup.NumberOfSteps = 3;
  w.Run().Setup.InitialInput = 30;
  w.ScrollBar1->setEnabled(false);
  Prepare(w, false);
  w.FormShow();
  w.Timer1->stop();
  Ticks(3);
  EXPECT_EQ(w.Run().MV, 35.0);
  QTest::mouseClick(w.RocniAvtomatski, Qt::LeftButton);
  EXPECT_TRUE(Page().RadioRocno->isChecked());
  EXPECT_FALSE(Page().CasCakanjaEdit->isEnabled());
  EXPECT_TRUE(w.ScrollBar1->isEnabled());
  EXPECT_FALSE(w.RocniAvtomatski->isEnabled());
  EXPECT_EQ(w.VrednostVhodaEdit->text(), "35");
  Ticks(20);
  EXPECT_EQ(w.Run().MV, 35.0);
  w.EndExperiment();
  EXPECT_EQ(Form().Store().SampleCount, 24);
}

TEST_F(ExperimentWindow, AnAutomaticExperimentStartsTheAnalysisWindowAheadOfTheFirstStep) {
  TEksperiment& w = Window();
  ExperimentSetup& setup = w.Run().Setup;
  setup.SamplePeriodMs = 1000;
  setup.WaitTime = 30;
  setup.StepDuration = 20;
  setup.StepSize = 10;
  setup.NumberOfSteps = 1;
  setup.InitialInput = 10;
  Prepare(w, false);
  w.FormShow();
  w.Timer1->stop();
  int ticks = 0;
  while (w.Run().Running() && ticks < 1000) Ticks(1), ++ticks;
  EXPECT_EQ(ticks + 1, 31 + 21);  // the first sample is the one the showing takes
  EXPECT_EQ(Form().Store().SampleCount, 52);
  EXPECT_EQ(Form().Store().DataColumns[1][31], 10.0);
  EXPECT_EQ(Form().Store().DataColumns[1][32], 20.0);
  EXPECT_EQ(Form().ProcessingTab().ScrollBar3->value(), 26);
}

TEST_F(ExperimentWindow, TheSwitchOverButtonIsUsableAgainInTheNextAutomaticExperiment) {
  TEksperiment& w = Window();
  w.Run().Setup.WaitTime = 100;
  Prepare(w, false);
  w.FormShow();
  w.RocniAvtomatskiClick();
  EXPECT_FALSE(w.RocniAvtomatski->isEnabled());
  w.EndExperiment();
  Page().RadioAvtomatsko->setChecked(true);
  Prepare(w, false);
  EXPECT_TRUE(w.RocniAvtomatski->isEnabled());
}

// --- The dialog of the automatic experiment's options ----------------------------------

TEST_F(ExperimentWindow, TheOptionsDialogHasItsDefaults) {
  TForm_SamodNastav& d = *windows.SamodNastav;
  EXPECT_EQ(d.Edit_Sam_Filt->text(), "0");
  EXPECT_EQ(d.Edit_Sam_Max->text(), "100");
  EXPECT_EQ(d.Edit_Sam_Min->text(), "0");
  EXPECT_EQ(d.Edit_Sam_Velocity->text(), "1");
  EXPECT_EQ(d.ComboBox_Sam_IzbMetode->currentIndex(), -1);
  EXPECT_EQ(d.ComboBox_Sam_IzbMetode->count(), 6);
  EXPECT_EQ(d.ComboBox_Sam_IzbMetode->placeholderText(), "Metoda provršin - sledenje");
  EXPECT_EQ(d.ComboBox_Sam_IzbMetode->itemText(5), "Ziegler-Nichols - motnja");
  EXPECT_EQ(d.Edit_Sam_Ts->text(), "1");
  EXPECT_EQ(d.ScrollBar_Sam_Robust->value(), 10);
  EXPECT_EQ(d.ScrollBar_Sam_Robust->maximum(), 20);
  EXPECT_EQ(d.ScrollBar_Sam_Robust->pageStep(), 5);
  EXPECT_EQ(d.RadioGroup_Sam_Prikaz->ItemIndex(), 0);
  EXPECT_EQ(d.ComboBox_Sam_TipReg->currentIndex(), -1);
  EXPECT_EQ(d.ComboBox_Sam_TipReg->placeholderText(), "Splošni paralelni (Kp, Ki, Kd)");
  EXPECT_EQ(d.ComboBox_Sam_TipReg->count(), 4);
  EXPECT_EQ(d.Edit_Sam_SkalP->text(), "1");
  EXPECT_EQ(d.Edit_Sam_SkalI->text(), "1");
  EXPECT_EQ(d.Edit_Sam_SkalD->text(), "1");
  EXPECT_EQ(d.RadioGroup_Sam_PID->ItemIndex(), 2);
  EXPECT_FALSE(d.CheckBox_Sam_Cascade->isChecked());
  EXPECT_FALSE(d.CheckBox_Sam_Nalozi->isChecked());
  EXPECT_FALSE(d.CheckBox_Sam_Nalozi->isEnabled());
  EXPECT_TRUE(d.CheckBox_Sam_PorocObd->isChecked());
  EXPECT_TRUE(d.CheckBox_Sam_PorocMod->isChecked());
  EXPECT_TRUE(d.CheckBox_Sam_PorocReg->isChecked());
  EXPECT_EQ(d.Label13->text(), "normal.dot");
}

TEST_F(ExperimentWindow, TheRobustnessLabelFollowsTheSliderUnderBothSeparators) {
  TForm_SamodNastav& d = *windows.SamodNastav;
  EXPECT_EQ(d.Label_Sam_Robust->text(), "1.000");
  d.ScrollBar_Sam_Robust->setValue(0);
  EXPECT_EQ(d.Label_Sam_Robust->text(), "0.100");
  QLocale::setDefault(QLocale(QLocale::Slovenian, QLocale::Slovenia));
  d.ScrollBar_Sam_Robust->setValue(20);
  EXPECT_EQ(d.Label_Sam_Robust->text(), "2,646");
}

TEST_F(ExperimentWindow, ChoosingATemplateShowsItsPathAndCancellingKeepsTheOldOne) {
  TForm_SamodNastav& d = *windows.SamodNastav;
  d.show();
  ui.QueueFileAnswer("/reports/plant.dot");
  QTest::mouseClick(d.Button_Sam_IzberiPredlogo, Qt::LeftButton);
  EXPECT_EQ(d.Label13->text(), "/reports/plant.dot");
  ASSERT_EQ(ui.ShownDialogs.size(), 1u);
  EXPECT_TRUE(ui.ShownDialogs[0].Filter.isEmpty());
  QTest::mouseClick(d.Button_Sam_IzberiPredlogo, Qt::LeftButton);
  EXPECT_EQ(d.Label13->text(), "/reports/plant.dot");
  QTest::mouseClick(d.Button_Sam_OK, Qt::LeftButton);
  EXPECT_FALSE(d.isVisible());
}

namespace {
class PlantExperimentWindow : public AppFixture {
 protected:
  void SetUp() override {
    auto fake = std::make_unique<FakePlant>();
    plant = fake.get();
    opc = std::move(fake);
    windows = CreateApplicationWindows(*opc, clock);
    plant->connected = true;
  }
  FakePlant* plant = nullptr;
};
}  // namespace

TEST_F(PlantExperimentWindow, ARejectedFirstMVWriteShowsItsBoxAndSamplingGoesOn) {
  TEksperiment& w = *windows.Eksperiment;
  ExperimentSetup& setup = w.Run().Setup;
  setup.ItemMV = plant->NewItem("MV");
  setup.ItemU = plant->NewItem("U");
  setup.ItemY1 = plant->NewItem("Y1");
  setup.ItemY2 = plant->NewItem("Y2");
  setup.InitialInput = 12;
  Form().ExperimentTab().RadioRocno->setChecked(true);
  plant->items["MV"]->reject = true;
  w.FormShow();
  // A notice, which holds neither sampling nor drawing.
  EXPECT_EQ(ui.Notices, QStringList{QString::fromUtf8("Točke MV ni bilo mogoče zapisati.")});
  EXPECT_TRUE(ui.Errors.isEmpty());
  EXPECT_TRUE(w.Timer1->isActive());
  EXPECT_EQ(Form().Store().SampleCount, 2);
  EXPECT_EQ(Form().Store().DataColumns[1][1], 0) << "the MV the plant kept";
  plant->items["MV"]->reject = false;
  w.Timer1Timer();
  EXPECT_EQ(Form().Store().SampleCount, 3);
  EXPECT_EQ(w.StatusText(),
            QString::fromUtf8("  Napak: 1, zadnja: Točke MV ni bilo mogoče zapisati."));
  EXPECT_EQ(plant->writes, (std::vector<RecordedWrite>{{"MV", 12, false}}));
  w.EndExperiment();
  EXPECT_FALSE(w.Timer1->isActive());
  EXPECT_EQ(Form().StatusText(), QString::fromUtf8("Napak med eksperimentom: 1."));
}

// A write the plant keeps refusing is told once, and the ticks go on.
TEST_F(PlantExperimentWindow, AWriteRefusedAgainAndAgainIsToldOnceAndSamplingGoesOn) {
  TEksperiment& w = *windows.Eksperiment;
  ExperimentSetup& setup = w.Run().Setup;
  setup.ItemMV = plant->NewItem("MV");
  setup.SamplePeriodMs = 50;
  Form().ExperimentTab().RadioRocno->setChecked(true);
  w.FormShow();
  w.Timer1->stop();
  plant->items["MV"]->reject = true;
  for (double mv : {20.0, 30.0, 40.0}) {
    w.Run().ValueTyped(mv);  // each tick's write is rejected
    w.Timer1Timer();
  }
  EXPECT_EQ(ui.Notices, QStringList{QString::fromUtf8("Točke MV ni bilo mogoče zapisati.")});
  EXPECT_EQ(Form().Store().SampleCount, 5);
  EXPECT_TRUE(ui.Errors.isEmpty());
  w.EndExperiment();
}

TEST_F(PlantExperimentWindow, PreparationAndEndPutTheControllerIntoTheRequestedStates) {
  TEksperiment& w = *windows.Eksperiment;
  ExperimentSetup& setup = w.Run().Setup;
  setup.ItemMV = plant->NewItem("MV");
  setup.SingleRASwitch = true;
  setup.ItemRA = plant->NewItem("RA");
  setup.ManualValue = 1;
  setup.ClosedLoopDuring = false;
  setup.ClosedLoopAfter = true;
  Prepare(w, true);
  EXPECT_TRUE(ui.Notices.isEmpty()) << "the MV item reports Good quality at once";
  EXPECT_EQ(plant->writes, (std::vector<RecordedWrite>{{"RA", 1, true}}));
  w.FormShow();
  w.EndExperiment();
  w.EndExperiment();  // a second end writes nothing more
  EXPECT_EQ(plant->writes,
            (std::vector<RecordedWrite>{{"RA", 1, true}, {"RA", 0, true}}));
}

// The simulated process (gain 1, a lag of about 9.5 samples, noise 0.2) stepped from U 0 to
// 10 at 20 s: the model beside the charts grows with the response and says when it is enough.
TEST_F(ExperimentWindow, TheLiveModelFollowsASimulatedStepAndSaysWhenItIsEnough) {
  Window().Run().Setup.InitialInput = 10;  // at rest: U 0
  TEksperiment& w = StartManualRun(1000);
  // The window seeds the simulated noise afresh for every run; one seed keeps this record
  // the same from run to run.
  w.Run().Sim.Seed(UniformRandom::DefaultSeed);
  LiveModelPanel& p = *w.LiveModelView;
  EXPECT_EQ(p.Label_Live_State->text(), "Čakam na stopnico in odziv nanjo.");
  Ticks(20);
  Type("20");
  for (int k = 0; k < 150 && !p.Model().Settled(); ++k) {
    Ticks(1);
    WaitForJobs();
    Pass();
  }
  ASSERT_TRUE(p.Model().Settled());
  const LiveModelFit& f = p.Model().Latest();

  EXPECT_EQ(p.Label_Live_Kind->text(), "Vrsta: samoizravnalni");
  EXPECT_NEAR(f.Gain, 1.0, 0.05);
  EXPECT_NEAR(f.FinalValue(), 30.0, 0.5);
  EXPECT_TRUE(p.Label_Live_Gain->text().startsWith("K: "))
      << p.Label_Live_Gain->text().toStdString();
  EXPECT_TRUE(
      p.Label_Live_State->text().startsWith("Odziv se je umiril — podatkov je dovolj (od t = "))
      << p.Label_Live_State->text().toStdString();
  // No earlier than the lag's 2 % (20 + 1 + 9.5 ln 50 ≈ 58 s), within two lags after it.
  EXPECT_GE(p.Model().SettledAt(), 58.0);
  EXPECT_LE(p.Model().SettledAt(), 58.0 + 2 * 9.5);
  EXPECT_GT(p.ModelSeries->Count(), 20);  // the model's curve over the measured one
  w.EndExperiment();
}

// The envelope in the window: the sample that crosses the limit ends the run, the plant's
// MV and the controller's mode go back as they were before it, and the engineer is told.
TEST_F(PlantExperimentWindow, ATripEndsTheRunAndPutsMVAndTheModeBack) {
  TEksperiment& w = *windows.Eksperiment;
  ExperimentSetup& setup = w.Run().Setup;
  setup.ItemMV = plant->NewItem("MV");
  setup.ItemY1 = plant->NewItem("Y1");
  setup.SingleRASwitch = true;
  setup.ItemRA = plant->NewItem("RA");
  setup.ManualValue = 0;
  setup.InitialInput = 45;
  setup.Envelope.Y1Max = 85;
  plant->items["MV"]->value = 40;
  plant->items["RA"]->value = 1;  // automatic before the run
  plant->items["Y1"]->value = 80;
  Form().ExperimentTab().RadioRocno->setChecked(true);
  ASSERT_EQ(Prepare(w, true), "");
  w.FormShow();
  w.Timer1->stop();
  plant->items["Y1"]->value = 90;
  w.Timer1Timer();
  EXPECT_FALSE(w.Run().Running());
  EXPECT_EQ(ui.Notices, QStringList{QString::fromUtf8(
                            "Poizkus je ustavljen: Y1 nad 85.0 pri 1.0 s (varnostna meja). MV in "
                            "način regulatorja sta vrnjena v stanje pred poizkusom.")});
  EXPECT_EQ(plant->writes,
            (std::vector<RecordedWrite>{
                {"RA", 0, true}, {"MV", 45, false}, {"MV", 40, false}, {"RA", 1, true}}));
  EXPECT_TRUE(Form().StatusText().startsWith(
      QString::fromUtf8("Varnostna meja je ustavila poizkus: Y1 nad 85.0 pri 1.0 s.")))
      << Form().StatusText().toStdString();
}

TEST_F(PlantExperimentWindow, ALimitBrokenAtTheStartRefusesTheRunWithNothingWritten) {
  TEksperiment& w = *windows.Eksperiment;
  ExperimentSetup& setup = w.Run().Setup;
  setup.ItemMV = plant->NewItem("MV");
  setup.ItemY1 = plant->NewItem("Y1");
  setup.SingleRASwitch = true;
  setup.ItemRA = plant->NewItem("RA");
  setup.Envelope.Y1Min = 10;
  plant->items["Y1"]->value = 5;
  EXPECT_EQ(Prepare(w, true),
            "Eksperiment se ni začel: Y1 (5.0) je že pod varnostno mejo 10.0. V obrat ni bilo nič "
            "zapisano.");
  EXPECT_TRUE(plant->writes.empty());
}
