// A manual experiment over OPC against the simulated plant server: the step response
// recorded in columns 1-6, the fall-back to the simulation when the MV item's quality
// does not come (which leaves the plant untouched), errors that neither stop sampling
// nor pile up boxes, and plant values that are not numbers.
#include <QCheckBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "experiment/ExperimentRun.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "opc/ItemBrowserAnswer.h"
#include "opc/LocalOpcClient.h"
#include "opc/SimulatedPlantServer.h"
#include "opc/ui/OpcPage.h"
#include "support/AppFixture.h"

namespace {

namespace id = SimulatedPlantItems;

// The simulated plant, with writes that the test can make the server reject, a log of
// the writes it accepted, and items that the test makes read as another value or
// vanish (bad quality).
class RejectingPlantServer final : public LocalOpcServer {
 public:
  explicit RejectingPlantServer(const Clock& clock) : plant_(clock) {}
  OpcServerState State() const override { return plant_.State(); }
  std::vector<std::string> ItemIds() const override { return plant_.ItemIds(); }
  std::optional<LocalOpcItemInfo> Find(const std::string& itemId) const override {
    if (Vanished.count(itemId)) return std::nullopt;
    return plant_.Find(itemId);
  }
  double Read(const std::string& itemId) override {
    const double value = plant_.Read(itemId);
    const auto it = Reads.find(itemId);
    return it == Reads.end() ? value : it->second;
  }
  bool Write(const std::string& itemId, double value) override {
    if (RejectWrites || !plant_.Write(itemId, value)) return false;
    Written.push_back(itemId);
    return true;
  }
  bool SetWritable(const std::string& itemId, bool writable) {
    return plant_.SetWritable(itemId, writable);
  }
  bool RejectWrites = false;
  std::vector<std::string> Written;
  std::map<std::string, double> Reads;
  std::set<std::string> Vanished;

 private:
  SimulatedPlantServer plant_;
};

class OpcExperiment : public AppFixture {
 protected:
  void SetUp() override {
    opc = CreateLocalOpcClient(
        clock, {{SimulatedPlantServerName, [this] {
                   auto server = std::make_unique<RejectingPlantServer>(clock);
                   plant = server.get();
                   return server;
                 }}});
    windows = CreateApplicationWindows(*opc, clock);
    ASSERT_TRUE(folder.isValid());
    ui.QueueFileAnswer(folder.filePath("poizkus.vtx"));
    QTest::mouseClick(Opc().PoveziOPCStreznik, Qt::LeftButton);
    ASSERT_TRUE(opc->IsConnected());
    probe = &opc->AddGroup("Probe");
  }
  OpcPage& Opc() { return Form().OpcTab(); }
  TEksperiment& Window() { return *windows.Eksperiment; }
  MeasurementStore& Store() { return Form().Store(); }
  double Column(int column, int sample) { return Store().DataColumns[column][sample]; }
  double PlantValue(const char* itemId) { return probe->AddItem(itemId)->Value(); }

  // The OPC table as an engineer fills it: MV picked through the browser, the other
  // items typed; the controller switched by its two items.
  void AssignItems(const QString& mvItem, bool switchItems = true) {
    Opc().OPCTabela->setCurrentCell(0, 0);
    ASSERT_TRUE(WithItemBrowser([&] { QTest::mouseClick(Opc().IzberiAjtemKnof, Qt::LeftButton); },
                                [&](SelectOpcItemDialog& d) {
                                  if (!mvItem.isEmpty()) PickItem(d, mvItem);
                                }));
    if (mvItem != id::MV) Opc().OPCTabela->item(0, 0)->setText(mvItem);
    const std::pair<int, const char*> typed[] = {
        {2, id::U}, {4, id::Y1}, {5, id::Y2}, {11, id::Manual}, {12, id::Auto}};
    for (const auto& [row, itemId] : typed)
      if (switchItems || row < 11) Opc().OPCTabela->item(row, 0)->setText(itemId);
    Opc().OPCTabela->item(4, 1)->setText("Temperatura");
  }

  // "Aktiviraj eksperiment" for a manual experiment with a sampling time of 1 s from
  // MV 10; drive runs once the experiment window shows, then "Konec eksperimenta".
  // The page set for a manual run at 1 s from MV 10.
  ExperimentPage& ManualPage() {
    ExperimentPage& page = Form().ExperimentTab();
    page.RadioRocno->setChecked(true);
    page.CasVzorcenjaEdit->setText("1");
    page.ZacetniVhodEdit->setText("10");
    return page;
  }
  void RunManualExperiment(const std::function<void()>& drive) {
    ExperimentPage& page = ManualPage();
    bool driven = false;
    std::function<void()> poll = [&] {
      if (!Window().isVisible()) {
        QTimer::singleShot(5, poll);
        return;
      }
      Window().Timer1->stop();  // the test gives the ticks, on the injected clock
      shownAtMs = clock.TickCountMs();
      drive();
      driven = true;
      QTest::mouseClick(Window().KonecEksperimenta, Qt::LeftButton);
    };
    QTimer::singleShot(0, poll);
    QTest::mouseClick(page.AktivirajEksperiment, Qt::LeftButton);
    QElapsedTimer waited;
    waited.start();
    while (!driven && waited.elapsed() < 10000) Pass();
    Settle(Form());
    EXPECT_TRUE(driven);
    EXPECT_FALSE(Window().isVisible());
  }
  // One sampling-timer tick, a sampling period later, through the event loop as the
  // timer delivers it (so an error escaping it reaches the error box).
  void Tick() {
    clock.AdvanceMs(1000);
    QMetaObject::invokeMethod(&Window(), [this] { Window().Timer1Timer(); }, Qt::QueuedConnection);
    QCoreApplication::sendPostedEvents(&Window(), QEvent::MetaCall);
  }
  void TypeMV(const char* text) {
    Window().VrednostVhodaEdit->setText(text);
    Window().VrednostVhodaEditKeyPress();
  }

  QTemporaryDir folder;
  RejectingPlantServer* plant = nullptr;
  OpcGroup* probe = nullptr;
  std::int64_t shownAtMs = 0;
};

TEST_F(OpcExperiment, AManualExperimentRecordsThePlantsStepResponse) {
  AssignItems(id::MV);
  ASSERT_EQ(Opc().ItemId(0), "Plant.MV");
  double raDuringRun = -1;
  RunManualExperiment([&] {
    raDuringRun = PlantValue(id::RA);
    for (int i = 0; i < 30; ++i) Tick();  // samples 2..31 at MV 10
    TypeMV("20");
    for (int i = 0; i < 100; ++i) Tick();  // samples 32..131 at MV 20
  });
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_TRUE(ui.Messages.isEmpty()) << ui.Messages.join("; ").toStdString();
  EXPECT_EQ(Window().StatusText(), "  ");

  ASSERT_EQ(Store().SampleCount, 131);
  EXPECT_EQ(Store().ColumnCount, 6);
  EXPECT_EQ(Store().SampleTime, 1.0);
  EXPECT_EQ(Store().ColumnNames[5], "Temperatura");
  for (int k = 1; k <= 131; ++k) {
    EXPECT_DOUBLE_EQ(Store().TimeColumn[k], k - 1.0) << k;
    EXPECT_EQ(Column(1, k), k <= 31 ? 10 : 20) << k;
    EXPECT_EQ(Column(2, k), Column(1, k)) << k;
    EXPECT_EQ(Column(4, k), Column(3, k)) << k;
  }
  // The plant got the step: its actuator moved, Y1 answered after its dead time of 5 s
  // with its time constant of 20 s, and Y2 followed Y1.
  EXPECT_EQ(PlantValue(id::MV), 20);
  EXPECT_EQ(Column(3, 31), 10);
  EXPECT_EQ(Column(3, 40), 20);
  for (int k = 1; k <= 36; ++k) EXPECT_NEAR(Column(5, k), 28, 0.5) << k;
  EXPECT_NEAR(Column(5, 31 + 5 + 20), 28 + 8 * (1 - std::exp(-1.0)), 0.5);
  EXPECT_NEAR(Column(5, 131), 28 + 8 * (1 - std::exp(-95.0 / 20)), 0.4);
  EXPECT_NEAR(Column(6, 40), 38, 0.3);
  EXPECT_GT(Column(6, 131), 41);
  // Manual during the run (written at the start), automatic after it (the default);
  // MV written once, when it changed (the start value 10 was the plant's already).
  EXPECT_EQ(raDuringRun, 0);
  EXPECT_EQ(PlantValue(id::RA), 1);
  EXPECT_EQ(plant->Written, (std::vector<std::string>{id::Manual, id::MV, id::Auto}));
}

TEST_F(OpcExperiment, RecordOnlyWritesNothingToThePlant) {
  AssignItems(id::MV);
  Form().ExperimentTab().CheckBox_NePisi->setChecked(true);
  RunManualExperiment([&] {
    TypeMV("30");
    for (int i = 0; i < 12; ++i) Tick();
  });
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_TRUE(plant->Written.empty());
  EXPECT_EQ(Store().SampleCount, 13);
  EXPECT_EQ(Column(1, 13), 10);  // the plant's own MV, read: not the 30 typed
  EXPECT_EQ(Column(3, 13), 10);  // the plant's own actuator, read
  EXPECT_NEAR(Column(5, 13), 28, 0.5);
}

TEST_F(OpcExperiment, APlantWithoutSwitchItemsRunsTheExperimentWithoutSwitching) {
  AssignItems(id::MV, false);
  RunManualExperiment([&] {
    TypeMV("15");
    for (int i = 0; i < 12; ++i) Tick();
  });
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_EQ(Store().SampleCount, 13);
  EXPECT_EQ(Column(1, 13), 15);
  EXPECT_EQ(PlantValue(id::MV), 15);
  EXPECT_EQ(PlantValue(id::RA), 0);
}

TEST_F(OpcExperiment, AWrongMvItemSimulatesTheRunAndLeavesThePlantsControllerAlone) {
  AssignItems("Plant.Valve");  // no such item
  Form().OpcTab().OPCTabela->item(0, 1)->setText("Ventil");
  // The plant's controller runs in automatic; a manual experiment would switch it to
  // manual for the run and back to automatic after it.
  probe->AddItem(id::Auto)->WriteInteger(1);
  plant->Written.clear();
  // The wait keeps processing events; each pass lets 10 ms of the injected clock go by.
  QTimer clockDriver;
  QObject::connect(&clockDriver, &QTimer::timeout, [this] { clock.AdvanceMs(10); });
  clockDriver.start(0);
  const std::int64_t startMs = clock.TickCountMs();
  double raDuringRun = -1;
  QString statusDuringRun;
  RunManualExperiment([&] {
    clockDriver.stop();
    for (int i = 0; i < 9; ++i) Tick();
    raDuringRun = PlantValue(id::RA);
    statusDuringRun = Window().StatusText();
  });
  EXPECT_GE(shownAtMs - startMs, 3000);
  EXPECT_LE(shownAtMs - startMs, 3100);
  // Connected: the notice says what is wrong with the item, not that the link is missing.
  EXPECT_EQ(ui.Notices, QStringList{QString::fromUtf8(
                            "Točka MV »Plant.Valve« ne obstaja na strežniku. Aktivirana je "
                            "simulacija procesa; v obrat se nič ne piše.")});
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  // Nothing reached the plant: no switching at the start or the end, no MV.
  EXPECT_TRUE(plant->Written.empty()) << plant->Written.front();
  EXPECT_EQ(raDuringRun, 1);
  EXPECT_EQ(PlantValue(id::RA), 1);
  EXPECT_TRUE(Window().Run().FellBackToSimulation());
  // The record says what it is: the window while running, the main window after it,
  // and the MV column's description that the data file carries.
  EXPECT_TRUE(statusDuringRun.contains(QString::fromUtf8("točka MV"))) << statusDuringRun.toStdString();
  EXPECT_TRUE(Form().StatusText().contains("zapis je simuliran")) << Form().StatusText().toStdString();
  EXPECT_EQ(Store().ColumnNames[1], "Ventil (simulacija)");
  // The built-in simulated process: U = MV - 10 = 0, Y1 near 20, Y2 near 30.
  ASSERT_EQ(Store().SampleCount, 10);
  for (int k = 1; k <= 10; ++k) {
    EXPECT_EQ(Column(1, k), 10);
    EXPECT_EQ(Column(3, k), 0);
    EXPECT_NEAR(Column(5, k), 20, 1.2);
    EXPECT_NEAR(Column(6, k), 30, 0.6);
  }
  // The next run reaches the plant: the status bar no longer calls the record simulated.
  Opc().OPCTabela->item(0, 0)->setText(id::MV);
  ui.QueueFileAnswer(folder.filePath("poizkus2.vtx"));
  RunManualExperiment([&] { Tick(); });
  EXPECT_FALSE(Window().Run().FellBackToSimulation());
  EXPECT_EQ(Form().StatusText(), "");
}

TEST_F(OpcExperiment, AReadOnlyMvStartsNoRunAndSwitchesNothing) {
  AssignItems(id::MV);
  plant->SetWritable(id::MV, false);
  Store().SampleCount = 42;  // the record of an earlier run
  const double manual = PlantValue(id::Manual);
  ExperimentPage& page = Form().ExperimentTab();
  page.RadioRocno->setChecked(true);
  page.CasVzorcenjaEdit->setText("1");
  page.ZacetniVhodEdit->setText("10");
  QTest::mouseClick(page.AktivirajEksperiment, Qt::LeftButton);
  Settle(Form());
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(ui.Notices, QStringList{QString::fromUtf8(
                            "Eksperiment ni začet: Točka »Plant.MV« (MV) je samo za branje. V "
                            "obrat ni bilo nič zapisano.")});
  EXPECT_TRUE(plant->Written.empty());
  clock.AdvanceMs(2000);
  EXPECT_EQ(PlantValue(id::Manual), manual);  // the controller was not switched
  EXPECT_EQ(Store().SampleCount, 42);
}

TEST_F(OpcExperiment, ErrorsWhileSamplingNeitherStopTheRecordNorPileUpBoxes) {
  AssignItems(id::MV);
  QString statusUnderBox;
  RunManualExperiment([&] {
    for (int i = 0; i < 3; ++i) Tick();  // samples 1-4 at MV 10
    plant->RejectWrites = true;
    TypeMV("20");
    Tick();  // the first rejection shows its box
    Tick();  // the same error again: the status bar only
    // A box of another kind stands over the window: ticks go on beneath it, and the
    // errors meanwhile go to the status bar and a notice each.
    QDialog box(&Window());
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    Tick();
    TypeMV("abc");
    statusUnderBox = Window().StatusText();
    box.hide();
    plant->RejectWrites = false;
    for (int i = 0; i < 5; ++i) Tick();  // MV 20 reaches the plant
  });
  EXPECT_EQ(ui.Notices, QStringList({QString::fromUtf8("Točke Plant.MV ni bilo mogoče zapisati."),
                                     QString::fromUtf8("»abc« ni veljavno število.")}));
  EXPECT_TRUE(ui.Errors.isEmpty());
  EXPECT_TRUE(statusUnderBox.contains(QString::fromUtf8("»abc« ni veljavno število.")))
      << statusUnderBox.toStdString();
  // Every tick took its sample, one second apart; the rejected ticks recorded the MV
  // that the plant kept.
  ASSERT_EQ(Store().SampleCount, 12);
  for (int k = 1; k <= 12; ++k) EXPECT_EQ(Store().TimeColumn[k], k - 1.0) << k;
  EXPECT_EQ(Column(1, 4), 10);
  EXPECT_EQ(Column(1, 5), 10);
  EXPECT_EQ(Column(1, 7), 10);
  EXPECT_EQ(Column(1, 8), 20);
  EXPECT_EQ(PlantValue(id::MV), 20);
  EXPECT_TRUE(Form().StatusText().contains("Napak med eksperimentom: 4."))
      << Form().StatusText().toStdString();
}

// The server refuses the switch back to automatic at the run's end: the window closes
// all the same with the record whole, and the engineer is told the controller stayed in
// manual (a box, the main window's status bar).
TEST_F(OpcExperiment, ARefusedSwitchAfterTheRunClosesTheWindowAndSaysTheControllerStayedInManual) {
  AssignItems(id::MV);
  RunManualExperiment([&] {
    for (int i = 0; i < 11; ++i) Tick();
    plant->RejectWrites = true;
  });
  const QString told = QString::fromUtf8(
      "Preklop regulatorja po eksperimentu ni uspel: Točke Controller.Auto ni bilo mogoče "
      "zapisati. Regulator je ostal v ročnem načinu.");
  EXPECT_EQ(ui.Notices, QStringList{told}) << ui.Notices.join("|").toStdString();
  EXPECT_TRUE(Form().StatusText().contains(told)) << Form().StatusText().toStdString();
  EXPECT_EQ(Store().SampleCount, 12);
  EXPECT_EQ(PlantValue(id::RA), 0);
}

// The server refuses the switch to manual that starts the run: the run does not start, and
// the engineer reads why in the program's words.
TEST_F(OpcExperiment, ARefusedSwitchBeforeTheRunSaysSoAndStartsNoRun) {
  AssignItems(id::MV);
  plant->RejectWrites = true;
  QTest::mouseClick(ManualPage().AktivirajEksperiment, Qt::LeftButton);
  Settle(Form());
  EXPECT_FALSE(Window().isVisible());
  const QStringList told = ui.Messages + ui.Errors + ui.Notices;
  ASSERT_EQ(told.size(), 1) << told.join("|").toStdString();
  EXPECT_EQ(told.front().toStdString(), QString::fromUtf8("Preklop regulatorja za eksperiment ni uspel: Točke "
                                            "Controller.Manual ni bilo mogoče zapisati. "
                                            "Eksperiment se ni začel.").toStdString());
  EXPECT_EQ(Store().SampleCount, 0);
}

TEST_F(OpcExperiment, PlantValuesThatAreNotNumbersKeepThePreviousSampleAndAreCounted) {
  AssignItems(id::MV);
  RunManualExperiment([&] {
    for (int i = 0; i < 3; ++i) Tick();  // samples 1-4 valid
    plant->Reads[id::Y1] = std::numeric_limits<double>::quiet_NaN();
    plant->Reads[id::U] = std::numeric_limits<double>::infinity();
    Tick();
    Tick();
    plant->Reads.clear();
    plant->Vanished.insert(id::Y2);  // bad quality
    Tick();
    plant->Vanished.clear();
    for (int i = 0; i < 3; ++i) Tick();
  });
  ASSERT_EQ(Store().SampleCount, 10);
  for (int k = 1; k <= 10; ++k)
    for (int c = 1; c <= 6; ++c) EXPECT_TRUE(std::isfinite(Column(c, k))) << k << "," << c;
  for (int k : {5, 6}) {
    EXPECT_EQ(Column(5, k), Column(5, 4)) << k;
    EXPECT_EQ(Column(3, k), Column(3, 4)) << k;
    EXPECT_EQ(Column(4, k), Column(3, 4)) << k;
  }
  EXPECT_EQ(Column(6, 7), Column(6, 6));
  EXPECT_NE(Column(5, 8), Column(5, 4));  // valid again: the plant's noise
  EXPECT_TRUE(Form().StatusText().contains("Neveljavnih vrednosti iz OPC: 5"))
      << Form().StatusText().toStdString();
}

TEST_F(OpcExperiment, AnAutomaticRunThatFellBackToTheSimulationStopsTheQueue) {
  AssignItems("Plant.Valve");  // no such item: the run simulates on a live connection
  const QDate today(2026, 12, 7);
  clock.SetNow(std::chrono::system_clock::time_point(
      std::chrono::milliseconds(QDateTime(today, QTime(10, 0, 0)).toMSecsSinceEpoch())));
  ExperimentPage& page = Form().ExperimentTab();
  page.RadioAvtomatsko->setChecked(true);
  page.DateTimePicker1->setDate(today);
  page.CajtZacetka->setText("10:00:01");
  page.CasCakanjaEdit->setText("2");
  page.CasStopniceEdit->setText("1");
  QTest::mouseClick(page.AktivirajEksperiment, Qt::LeftButton);
  ASSERT_EQ(page.Queue().Size(), 1u);

  // Every pass of the event loop is 10 ms of the program's clock (the 3 s quality wait
  // ends in test time) and, once the window stands, one sample.
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [this] {
    clock.AdvanceMs(10);
    if (Window().isVisible()) Window().Timer1Timer();
  });
  driver.start(0);
  clock.AdvanceMs(1000);
  QMetaObject::invokeMethod(&page, [&page] { page.Timer_ExperimentSchedulerTimer(); },
                            Qt::QueuedConnection);
  QCoreApplication::sendPostedEvents(&page, QEvent::MetaCall);
  Settle(Form());
  driver.stop();

  EXPECT_FALSE(Window().isVisible());
  ASSERT_EQ(ui.Notices.size(), 1);
  EXPECT_EQ(ui.Notices[0],
            "element MV (\"Plant.Valve\") ni dosegel dobre kakovosti, zato je zapis "
            "simuliran; ni obdelan kot zapis obrata.");
  EXPECT_EQ(page.SeznamCakajocihEkspOznaka->toPlainText(), "poizkus (ustavljen)");
  EXPECT_FALSE(Form().Timer_ExperimentScheduler->isActive());
  EXPECT_TRUE(Form().StatusText().startsWith("Čakalna vrsta je ustavljena pri eksperimentu \"poizkus\""));
}

}  // namespace
