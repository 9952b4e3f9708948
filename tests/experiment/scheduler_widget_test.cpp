// The waiting list and the scheduler as an engineer meets them: activations queued by
// start time, the scheduler running due experiments on the simulated process one after
// the other without a click, a stalled entry that says why, and deleting entries. The
// program's clock is the test's: nothing here sleeps.
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QtTest/QTest>
#include <chrono>
#include <cstdio>
#include <functional>

#include "charts/VorChart.h"
#include "data/TObdelava.h"
#include "experiment/PostProcessingChain.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "experiment/ui/TForm_SamodNastav.h"
#include "forms/FormHelpers.h"
#include "report/ZipPackage.h"
#include "support/AppFixture.h"

namespace {

const QDate Today(2026, 12, 7);

class Scheduler : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_TRUE(folder.isValid());
    const std::int64_t ms = QDateTime(Today, QTime(10, 0, 0)).toMSecsSinceEpoch();
    clock.SetNow(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)));
    Page().DateTimePicker1->setDate(Today);
    // An automatic experiment of a few samples: 0.1 s waiting, one step of 5 for 0.1 s.
    Page().RadioAvtomatsko->setChecked(true);
    Page().CasVzorcenjaEdit->setText("0.05");
    Page().CasCakanjaEdit->setText("0.1");
    Page().VelikostStopniceEdit->setText("5");
    Page().CasStopniceEdit->setText("0.1");
    // While the experiment window stands, every pass of the event loop is 100 ms of the
    // program's clock and one sample (the quality wait ends in test time too).
    QObject::connect(&driver, &QTimer::timeout, [this] {
      clock.AdvanceMs(100);
      if (Window().isVisible()) {
        ++ticks;
        if (during) during();
        if (Window().isVisible()) Window().Timer1Timer();
      }
    });
    driver.start(0);
  }
  ExperimentPage& Page() { return Form().ExperimentTab(); }
  TEksperiment& Window() { return *windows.Eksperiment; }
  QTimer* SchedulerTimer() { return Form().Timer_ExperimentScheduler; }
  QString Path(const char* label) { return folder.filePath(QString::fromLatin1(label) + ".vtx"); }

  void Activate(const char* label, const char* start) {
    Page().CajtZacetka->setText(QString::fromLatin1(start));
    ui.QueueFileAnswer(label ? Path(label) : QString());
    QTest::mouseClick(Page().AktivirajEksperiment, Qt::LeftButton);
  }
  // One tick of the scheduler, delivered as its timer delivers it (an escaping error
  // reaches the error box).
  void SchedulerTick() {
    QMetaObject::invokeMethod(
        &Page(), [this] { Page().Timer_ExperimentSchedulerTimer(); }, Qt::QueuedConnection);
    QCoreApplication::sendPostedEvents(&Page(), QEvent::MetaCall);
    Settle(Form());  // the run it started, its chain and the queue after it
  }
  QStringList Lines(const QPlainTextEdit* list) {
    return list->toPlainText().isEmpty() ? QStringList() : list->toPlainText().split('\n');
  }
  QStringList Labels() { return Lines(Page().SeznamCakajocihEkspOznaka); }
  void DeleteLine(int line) {
    QPlainTextEdit* list = Page().SeznamCakajocihEkspCas;
    QTextCursor caret(list->document()->findBlockByNumber(line));
    list->setTextCursor(caret);
    QTest::keyClick(list, Qt::Key_Delete);
  }

  QTemporaryDir folder;
  QTimer driver;
  int ticks = 0;
  std::function<void()> during;
};

TEST_F(Scheduler, ActivationsAreQueuedByStartTimeWithEqualStartsInActivationOrder) {
  Activate("prvi10", "10:00:20");
  Activate("devet", "10:00:10");
  Activate("drugi10", "10:00:20");
  EXPECT_EQ(Labels(), QStringList({"devet", "prvi10", "drugi10"}));
  const QString date = DateText(Today);
  EXPECT_EQ(Lines(Page().SeznamCakajocihEkspCas),
            QStringList({date + " 10:00:10", date + " 10:00:20", date + " 10:00:20"}));
  EXPECT_EQ(Page().Queue().Entries()[2].Folder, folder.path().toStdString());
  EXPECT_TRUE(SchedulerTimer()->isActive());
  EXPECT_EQ(SchedulerTimer()->interval(), 500);
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
}

TEST_F(Scheduler, AStartAtThePresentSecondOrACancelledSaveQueuesNothing) {
  Page().CajtZacetka->setText("10:00:00");
  QTest::mouseClick(Page().AktivirajEksperiment, Qt::LeftButton);
  EXPECT_EQ(ui.Messages,
            QStringList{"Naveden čas začetka eksperimenta je bolj zgoden od trenutnega"});
  EXPECT_TRUE(ui.ShownDialogs.empty());  // nothing saved either
  Activate(nullptr, "10:00:05");         // the save dialog cancelled
  EXPECT_EQ(ui.ShownDialogs.size(), 1u);
  EXPECT_TRUE(Page().Queue().Empty());
  EXPECT_TRUE(Labels().isEmpty());
  EXPECT_FALSE(SchedulerTimer()->isActive());
  EXPECT_EQ(Form().StatusText(), "Eksperiment ni aktiviran: nastavitve niso bile shranjene.");
}

TEST_F(Scheduler, TwoDueExperimentsRunOneAfterTheOtherWithoutAClick) {
  Activate("prvi", "10:00:05");
  Activate("drugi", "10:00:05");
  driver.stop();
  SchedulerTick();  // 10:00:00, not yet due
  EXPECT_EQ(Labels().size(), 2);
  clock.AdvanceMs(5000);
  driver.start(0);

  SchedulerTick();
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(Window().windowTitle(), "Eksperiment prvi");
  // The head is done; the second, due meanwhile, waits for the next tick, 500 ms on.
  EXPECT_EQ(Labels(), QStringList{"drugi"});
  EXPECT_TRUE(SchedulerTimer()->isActive());
  const MeasurementStore& store = Form().Store();
  EXPECT_EQ(store.SampleTime, 0.05);
  ASSERT_GE(store.SampleCount, 6);
  EXPECT_EQ(store.DataColumns[1][1], 0);                  // the waiting time at the initial input,
  EXPECT_EQ(store.DataColumns[1][store.SampleCount], 5);  // then one step of 5
  EXPECT_EQ(Form().LastDirectory, folder.path());

  SchedulerTick();
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_EQ(Window().windowTitle(), "Eksperiment drugi");
  EXPECT_TRUE(Labels().isEmpty());
  EXPECT_FALSE(SchedulerTimer()->isActive());
  EXPECT_TRUE(ui.Messages.isEmpty()) << ui.Messages.join("; ").toStdString();
}

TEST_F(Scheduler, SwitchingOverToManualStillEndsInThePostProcessing) {
  Activate("preklop", "10:00:01");
  clock.AdvanceMs(1000);
  during = [this] {
    if (ticks == 2) QTest::mouseClick(Window().RocniAvtomatski, Qt::LeftButton);
    if (ticks == 40) QTest::mouseClick(Window().KonecEksperimenta, Qt::LeftButton);
  };
  SchedulerTick();
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  // The steps stopped at the switch-over, so only "Konec eksperimenta" ended the run;
  // the entry went through the post-processing's call site and left the list.
  EXPECT_EQ(ticks, 40);
  EXPECT_TRUE(Page().RadioRocno->isChecked());
  EXPECT_TRUE(Labels().isEmpty());
  EXPECT_FALSE(SchedulerTimer()->isActive());
}

TEST_F(Scheduler, AnEntryWhoseSettingsFileIsGoneIsSetAsideAndTheNextRunsOnTime) {
  Activate("izgubljen", "10:00:01");
  Activate("naslednji", "10:00:02");
  std::remove(Path("izgubljen").toLocal8Bit().constData());
  clock.AdvanceMs(1000);
  SchedulerTick();
  // It never reached the plant: no box stands in the way of the next entry, the list
  // and the status bar say in the program's language what happened.
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(Labels(), QStringList({"izgubljen (ustavljen)", "naslednji"}));
  EXPECT_EQ(
      Form().StatusText(),
      "Eksperiment \"izgubljen\" (" + Lines(Page().SeznamCakajocihEkspCas)[0] +
          ") ni bil izveden in je izpuščen, čakalna vrsta teče naprej: datoteka nastavitev \"" +
          Path("izgubljen") + "\" ne obstaja.");
  EXPECT_TRUE(SchedulerTimer()->isActive());

  clock.AdvanceMs(1000);  // 10:00:02, the next one's start
  SchedulerTick();
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_EQ(Window().windowTitle(), "Eksperiment naslednji");
  EXPECT_EQ(Labels(), QStringList{"izgubljen (ustavljen)"});
  EXPECT_FALSE(SchedulerTimer()->isActive());  // nothing left to wait for

  DeleteLine(0);
  EXPECT_TRUE(Labels().isEmpty());
}

TEST_F(Scheduler, ADueEntryWaitsBehindAnOpenSaveDialogAndTheFileHoldsItsRecord) {
  Activate("prvi", "10:00:01");
  clock.AdvanceMs(1000);
  SchedulerTick();
  ASSERT_EQ(Labels(), QStringList());
  const int samples = Form().Store().SampleCount;
  Page().VelikostStopniceEdit->setText("7");  // the second record steps by 7, not 5
  Activate("drugi", "10:01:00");
  ASSERT_EQ(Labels(), QStringList{"drugi"});
  clock.AdvanceMs(60000);

  // "Shrani v datoteko" over the first record; the scheduler's ticks come while the
  // dialog stands open.
  const QString saved = folder.filePath("shranjen.vtd");
  ui.QueueFileAnswer(saved);
  ui.WhileOpen = [this] {
    SchedulerTick();
    SchedulerTick();
  };
  Form().findChild<QPushButton*>("Button_ShraniVDatoteko")->click();
  ui.WhileOpen = nullptr;
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_EQ(Form().StatusText(), "Eksperiment \"drugi\" čaka, da se zapre odprto okno programa.");
  EXPECT_EQ(Labels(), QStringList{"drugi"});
  auto file = std::make_unique<MeasurementStore>();
  TObdelava::ReadDataFile(saved.toStdString(), *file, '.');
  EXPECT_EQ(file->SampleCount, samples);
  EXPECT_EQ(file->DataColumns[1][file->SampleCount], 5);

  SchedulerTick();  // the dialog is closed: now it runs
  EXPECT_EQ(Window().windowTitle(), "Eksperiment drugi");
  EXPECT_TRUE(Labels().isEmpty());
  EXPECT_EQ(Form().Store().DataColumns[1][Form().Store().SampleCount], 7);
}

TEST_F(Scheduler, ANewActivationAsksAboutAStoppedEntryAndByDefaultLeavesItStopped) {
  windows.SamodNastav->Label13->setText(folder.filePath("manjka.dotx"));
  Activate("pokvarjen", "10:00:01");
  clock.AdvanceMs(1000);
  SchedulerTick();
  ASSERT_EQ(ui.Notices.size(), 1);
  ASSERT_EQ(Labels(), QStringList{"pokvarjen (ustavljen)"});
  const int ran = ticks;

  windows.SamodNastav->Label13->setText("normal.dot");
  Activate("novi", "18:00:00");
  ASSERT_EQ(ui.Questions.size(), 1);
  EXPECT_TRUE(
      ui.Questions[0].startsWith("Čakalna vrsta je ustavljena pri eksperimentu \"pokvarjen\" (" +
                                 Lines(Page().SeznamCakajocihEkspCas)[0] + "): korak \"poročilo\""))
      << ui.Questions[0].toStdString();
  EXPECT_EQ(ui.Choices[0], QStringList({"Ponovi ga zdaj", "Odstrani ga", "Pusti ga ustavljenega"}));
  // The default: it stays stopped and does not run again; the new one waits for 18:00.
  EXPECT_EQ(Labels(), QStringList({"pokvarjen (ustavljen)", "novi"}));
  for (int i = 0; i < 3; ++i) SchedulerTick();
  EXPECT_EQ(ticks, ran);
  EXPECT_FALSE(Window().isVisible());
  EXPECT_TRUE(SchedulerTimer()->isActive());

  // Asked again at the next activation, the engineer runs it again now: it runs at the
  // next tick, the new entries after it.
  ui.ChoiceAnswer = static_cast<int>(StalledEntryChoice::RunAgain);
  Activate("tretji", "18:00:00");
  EXPECT_EQ(ui.Questions.size(), 1);  // set aside, it no longer holds the queue
  EXPECT_EQ(Labels(), QStringList({"pokvarjen (ustavljen)", "novi", "tretji"}));
}

TEST_F(Scheduler, AStoppedEntryRunsAgainOrGoesOnlyAsTheEngineerAnswers) {
  windows.SamodNastav->Label13->setText(folder.filePath("manjka.dotx"));
  Activate("pokvarjen", "10:00:01");
  clock.AdvanceMs(1000);
  SchedulerTick();
  ASSERT_EQ(Labels(), QStringList{"pokvarjen (ustavljen)"});
  const int ran = ticks;

  ui.ChoiceAnswer = static_cast<int>(StalledEntryChoice::RunAgain);
  Activate("novi", "18:00:00");
  EXPECT_EQ(Labels(), QStringList({"pokvarjen", "novi"}));
  SchedulerTick();  // runs again at once, and stops at the same step
  EXPECT_GT(ticks, ran);
  EXPECT_EQ(ui.Notices.size(), 2);
  EXPECT_EQ(Labels(), QStringList({"pokvarjen (ustavljen)", "novi"}));

  ui.ChoiceAnswer = static_cast<int>(StalledEntryChoice::Remove);
  Activate("zadnji", "18:00:01");
  EXPECT_EQ(Labels(), QStringList({"novi", "zadnji"}));
  EXPECT_EQ(Form().StatusText(), "");
}

TEST_F(Scheduler, ADeliberateSimulationIsProcessedAndSaysSoWithItsWarningsKept) {
  Activate("simulacija", "10:00:01");
  clock.AdvanceMs(1000);
  SchedulerTick();
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  // Nothing took over from a plant: the charts carry no marker.
  EXPECT_TRUE(Window().SimulationMarkers[0]->Points().isEmpty());
  // No server configured: the engineer meant the simulation, the chain processes it and
  // the run's warning stays in the status bar before the chain's line.
  const QString warning = "Opozorilo: zapis je simuliran (povezava s strežnikom ni vzpostavljena).";
  EXPECT_TRUE(
      Form().StatusText().startsWith(warning + "  Samodejni poizkus \"simulacija\" je obdelan"))
      << Form().StatusText().toStdString();
  QString document;
  for (const ZipPart& part : ReadZipParts(folder.filePath("simulacija.docx").toStdString()))
    if (part.Name == "word/document.xml") document = QString::fromStdString(part.Bytes);
  const int title = document.indexOf(QString::fromUtf8("Poročilo o eksperimentu"));
  const int note = document.indexOf(QString::fromUtf8(SimulatedProcessReportNote));
  const int opc = document.indexOf("OPC Nastavitve");
  EXPECT_TRUE(title >= 0 && note > title && opc > note) << title << " " << note << " " << opc;
  EXPECT_TRUE(document.contains(warning));
}

TEST_F(Scheduler, DeleteRemovesTheEntryAtTheCaretAndTheLastOneStopsTheScheduler) {
  Activate("a", "10:01:00");
  Activate("b", "10:02:00");
  Activate("c", "10:03:00");
  QTextCursor second(Page().SeznamCakajocihEkspCas->document()->findBlockByNumber(1));
  Page().SeznamCakajocihEkspCas->setTextCursor(second);
  EXPECT_EQ(Page().SeznamCakajocihEkspOznaka->textCursor().selectedText(), "b");
  DeleteLine(1);
  EXPECT_EQ(Labels(), QStringList({"a", "c"}));
  EXPECT_EQ(Page().Queue().SettingsPath(1), Path("c").toStdString());
  EXPECT_TRUE(SchedulerTimer()->isActive());
  DeleteLine(0);
  EXPECT_TRUE(SchedulerTimer()->isActive());
  DeleteLine(0);
  EXPECT_TRUE(Labels().isEmpty());
  EXPECT_FALSE(SchedulerTimer()->isActive());
}

TEST_F(Scheduler, AFailedActivationChangesNothing) {
  MeasurementStore& store = Form().Store();
  store.SampleCount = 42;
  for (bool manual : {true, false}) {
    (manual ? Page().RadioRocno : Page().RadioAvtomatsko)->setChecked(true);
    Page().Edit_MVMax->setText("sto");
    Activate("slab", "10:00:05");
    ASSERT_EQ(ui.Errors.size(), 1);
    EXPECT_EQ(ui.Errors.takeFirst(), "»sto« ni veljavno število.");
    EXPECT_TRUE(ui.ShownDialogs.empty());
    EXPECT_EQ(store.SampleCount, 42);
    EXPECT_FALSE(Window().isVisible());
    EXPECT_TRUE(Page().Queue().Empty());
    Page().Edit_MVMax->setText("100");
  }
}

}  // namespace
