// The program on the node-opcua test plant as an engineer uses it: the server's address
// typed and connected, a manual experiment recording the step response, P, I and D loaded
// into the controller, and the server killed in the middle of a run.
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "charts/VorChart.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "opc/PlantOpcClient.h"
#include "opc/UaOpcClient.h"
#include "opc/peer/UaPeer.h"
#include "opc/ui/OpcPage.h"
#include "support/AppFixture.h"
#include "support/LatencyProxy.h"
#include "tuning/ui/RegulatorPage.h"

namespace {

class UaPlant : public AppFixture {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    opc = CreatePlantOpcClient(clock, "");
    windows = CreateApplicationWindows(*opc, clock);
    probe = &opc->AddGroup("Probe");
    probe->SetUpdateRateMs(0);
  }
  void TearDown() override {
    WaitForJobs();
    QLocale::setDefault(QLocale::system());
  }
  OpcPage& Opc() { return Form().OpcTab(); }
  TEksperiment& Window() { return *windows.Eksperiment; }
  MeasurementStore& Store() { return Form().Store(); }
  double Column(int column, int sample) { return Store().DataColumns[column][sample]; }
  double PlantValue(const char* nodeId) { return probe->AddItem(nodeId)->Value(); }
  // The plant is shared by the tests of this server and runs in real time: put it in
  // manual at MV 10 and wait until Y1 rests at 2 * 10, so a step starts from rest.
  void PlantAtRestAtMv10() {
    probe->AddItem("ns=2;s=RA")->WriteInteger(0);
    probe->AddItem("ns=2;s=MV")->Write(10);
    for (int i = 0; i < 300 && std::abs(PlantValue("ns=2;s=Y1") - 20) > 0.2; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  // The address typed into the server list, "Poveži" clicked.
  void ConnectTo(const std::string& url) {
    Opc().ComboBox2->setCurrentText(QString::fromStdString(url));
    QTest::mouseClick(Opc().PoveziOPCStreznik, Qt::LeftButton);
    Settle(Form());  // the connect is a job: its end comes back to the window
    ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
    ASSERT_TRUE(opc->IsConnected()) << Opc().Label54->text().toStdString() << " "
                                    << Opc().ComboBox2->currentText().toStdString() << " "
                                    << ui.Messages.join("|").toStdString();
    EXPECT_EQ(Opc().Label54->text(), "teče");
    EXPECT_FALSE(Opc().PoveziOPCStreznik->isEnabled());
  }
  void AssignLoop() {
    const std::pair<int, const char*> rows[] = {
        {0, "ns=2;s=MV"}, {2, "ns=2;s=U"}, {4, "ns=2;s=Y1"}, {5, "ns=2;s=Y2"},
        {7, "ns=2;s=P"},  {8, "ns=2;s=I"}, {9, "ns=2;s=D"},  {11, "ns=2;s=Manual"},
        {12, "ns=2;s=Auto"}};
    for (const auto& [row, id] : rows) Opc().OPCTabela->item(row, 0)->setText(id);
  }
  // A manual experiment at the sampling time of 50 ms from MV 10; drive runs once the
  // experiment window shows, then "Konec eksperimenta"; returns when the run has ended.
  void RunManualExperiment(const std::function<void()>& drive) {
    ExperimentPage& page = Form().ExperimentTab();
    page.RadioRocno->setChecked(true);
    page.CasVzorcenjaEdit->setText("0.05");
    page.ZacetniVhodEdit->setText("10");
    bool driven = false;
    std::function<void()> poll = [&] {
      if (!Window().isVisible()) {
        QTimer::singleShot(5, poll);
        return;
      }
      Window().Timer1->stop();  // the test gives the ticks
      drive();
      driven = true;
      QTest::mouseClick(Window().KonecEksperimenta, Qt::LeftButton);
    };
    QTimer::singleShot(0, poll);
    QTest::mouseClick(page.AktivirajEksperiment, Qt::LeftButton);
    Settle(Form());
    QElapsedTimer waited;
    waited.start();
    while (!driven && waited.elapsed() < 20000) Pass();
    Settle(Form());
    EXPECT_TRUE(driven);
  }
  // One sampling tick, 50 ms later on the program's clock and on the plant's.
  void Tick() {
    clock.AdvanceMs(50);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    QMetaObject::invokeMethod(&Window(), [this] { Window().Timer1Timer(); }, Qt::QueuedConnection);
    QCoreApplication::sendPostedEvents(&Window(), QEvent::MetaCall);
  }
  // The PID of a model of the plant on the Regulator tab, ready for "Naloži v regulator".
  RegulatorPage& TunedRegulator() {
    Store().InnerGain = 2, Store().InnerTimeConstant = 2, Store().InnerDeadTime = 0.2;
    Store().SampleTime = 0.05;
    RegulatorPage& regulator = Form().RegulatorTab();
    regulator.Button_PIDClick();
    return regulator;
  }
  void TypeMV(const char* text) {
    Window().VrednostVhodaEdit->setText(text);
    Window().VrednostVhodaEditKeyPress();
  }
  // A value on the plant read past the relay (a client of its own, on the plant's port).
  double DirectValue(const char* nodeId, const std::string& url = UaPeerUrl()) {
    if (!direct) {
      direct = CreateUaOpcClient(systemClock);
      direct->Connect(url, "");
      directGroup = &direct->AddGroup("Direct");
      directGroup->SetUpdateRateMs(0);
    }
    return directGroup->AddItem(nodeId)->Value();
  }
  // Whether the window answers: a timer every 40 ms that notes the longest gap between
  // its ticks (a blocked window shows the whole wait) and runs what the test asks.
  struct Answering {
    QTimer timer;
    QElapsedTimer elapsed;
    qint64 longestGapMs = 0, lastMs = 0;
    int ticks = 0;
    void Start(const std::function<void()>& each) {
      QObject::connect(&timer, &QTimer::timeout, [this, each] {
        longestGapMs = std::max(longestGapMs, elapsed.elapsed() - lastMs);
        lastMs = elapsed.elapsed();
        ++ticks;
        each();
      });
      elapsed.start();
      timer.start(40);
    }
  };
  // A manual run from MV 10 through the relay, on the window's own pace, ended with
  // "Konec eksperimenta" 300 ms into the stall; during the end the window is watched and
  // the end asked for again.
  void EndDuringStall(LatencyProxy& proxy, int stallMs, Answering& answering, int& secondClicks) {
    RunManualExperiment([&] {
      Window().Timer1->start();
      QTest::qWait(1000);
      proxy.Stall(stallMs);
      QTest::qWait(300);
      answering.Start([&] {
        // The window has closed at once; its end, waiting for the plant, is under way.
        if (Window().isVisible() || !Window().InFlight()) return;
        Window().EndExperiment();
        ++secondClicks;
      });
    });
    answering.timer.stop();
  }
  // Every sample of the record on the nominal grid of 50 ms, the ones of the stall held.
  void ExpectWholeRecord(int atLeast) {
    const int n = Store().SampleCount;
    EXPECT_GE(n, atLeast);
    for (int k = 1; k <= n; ++k) ASSERT_NEAR(Store().TimeColumn[k], 0.05 * (k - 1), 1e-9) << k;
    EXPECT_GE(Window().Run().Findings.HeldSamples, 4);  // the 300 ms of the stall before the end
    EXPECT_EQ(Window().Run().Findings.SimulatedSamples, 0);
  }

  OpcGroup* probe = nullptr;
  SystemClock systemClock;
  std::unique_ptr<OpcClient> direct;
  OpcGroup* directGroup = nullptr;
};

TEST_F(UaPlant, AManualExperimentRecordsTheStepResponseAndPidIsLoaded) {
  ConnectTo(UaPeerUrl());
  AssignLoop();
  PlantAtRestAtMv10();
  // The plant is sampled on the sampler's clock; the window draws what has arrived.
  int periodsAtEnd = 0;
  RunManualExperiment([&] {
    for (int i = 0; i < 10; ++i) Tick();
    TypeMV("20");
    for (int i = 0; i < 40; ++i) Tick();  // 2 s of the plant at MV 20
    periodsAtEnd = static_cast<int>(Window().Run().Sampler().ElapsedUs() / 50'000) + 1;
  });
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  // The server sampled every period; the run's end took the periods up to the click.
  EXPECT_EQ(Window().Run().Sampler().Mode(), SamplingMode::Subscription);
  const int n = Store().SampleCount;
  ASSERT_GE(n, periodsAtEnd);  // every period whose deadline had passed at the end
  ASSERT_GE(n, 45);
  int step = 0;  // the first sample at MV 20; every one before at 10, every one after at 20
  for (int k = 1; k <= n && step == 0; ++k)
    if (Column(1, k) == 20) step = k;
  ASSERT_GE(step, 10);
  for (int k = 1; k <= n; ++k) EXPECT_EQ(Column(1, k), k < step ? 10 : 20) << k;
  // The plant's actuator followed MV in manual, and Y1 rose towards 2 * 20 with its
  // time constant of 2 s.
  EXPECT_EQ(Column(3, n), 20);
  EXPECT_GT(Column(5, n), Column(5, step) + 5);
  for (int k = step + 3; k <= n; ++k) EXPECT_GE(Column(5, k), Column(5, k - 1)) << k;
  EXPECT_EQ(PlantValue("ns=2;s=MV"), 20);
  EXPECT_EQ(PlantValue("ns=2;s=RA"), 1);  // automatic after the run, the default

  // The model's tuning loaded into the plant's controller.
  ASSERT_TRUE(opc->IsConnected());
  ASSERT_TRUE(IsGoodQuality(probe->AddItem("ns=2;s=P")->Quality()));
  RegulatorPage& regulator = TunedRegulator();
  const QString kp = regulator.Edit_Reg_Kp->text(), ki = regulator.Edit_Reg_Ki->text();
  QTest::mouseClick(regulator.Button16, Qt::LeftButton);
  Settle(Form());
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_DOUBLE_EQ(PlantValue("ns=2;s=P"), kp.toDouble());
  EXPECT_DOUBLE_EQ(PlantValue("ns=2;s=I"), ki.toDouble());
  EXPECT_EQ(PlantValue("ns=2;s=D"), 0);
}

TEST_F(UaPlant, AServerKilledMidRunLeavesTheRunOnTheSimulationWithEverySample) {
  PrivateUaPeer peer;
  ConnectTo(peer.Url());
  AssignLoop();
  Form().ExperimentTab().ReconnectTime = "0";  // the link given up at once, as before reconnects
  int periodsAtEnd = 0;
  RunManualExperiment([&] {
    for (int i = 0; i < 10; ++i) Tick();
    peer.Kill();
    TypeMV("30");
    for (int i = 0; i < 20; ++i) Tick();
    // The periods whose deadlines have passed when "Konec eksperimenta" is clicked (the
    // grid begins once the sampler has settled how it samples).
    periodsAtEnd = static_cast<int>(Window().Run().Sampler().ElapsedUs() / 50'000) + 1;
  });
  QCoreApplication::processEvents();  // the loss was reported on the sampler's thread
  // Told at once, once: where the simulation took over and that the controller switched
  // to manual for the run could not be put back into automatic.
  ASSERT_EQ(ui.Notices.size(), 1) << ui.Notices.join("; ").toStdString();
  EXPECT_TRUE(ui.Notices[0].startsWith("Povezava s strežnikom je bila izgubljena od 0."))
      << ui.Notices[0].toStdString();
  EXPECT_TRUE(ui.Notices[0].contains("(vzorec ")) << ui.Notices[0].toStdString();
  EXPECT_TRUE(ui.Notices[0].endsWith("Regulator je ostal v ročnem načinu."))
      << ui.Notices[0].toStdString();
  EXPECT_EQ(Window().Run().Findings.ControllerLeft, "Regulator je ostal v ročnem načinu.");
  EXPECT_TRUE(QString::fromStdString(Store().ColumnNames[1]).contains(" (simulacija od 0."))
      << Store().ColumnNames[1];
  EXPECT_TRUE(Form().StatusText().contains("Regulator je ostal v ročnem načinu."));
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_EQ(Opc().Label54->text(), "ustavljen");
  EXPECT_TRUE(Opc().PoveziOPCStreznik->isEnabled());  // to connect again
  const int n = Store().SampleCount;
  ASSERT_GE(n, periodsAtEnd);  // no sample lost
  ASSERT_GE(n, 25);
  int step = 0;
  for (int k = 1; k <= n && step == 0; ++k)
    if (Column(1, k) == 30) step = k;
  ASSERT_GE(step, 10);
  for (int k = 1; k <= n; ++k) EXPECT_EQ(Column(1, k), k < step ? 10 : 30) << k;
  // After the loss the simulated process answered the step.
  EXPECT_NE(Column(5, n), Column(5, step));
  EXPECT_GT(Window().Run().Findings.FirstSimulatedSample, 10);  // where the simulation took over
  // The charts mark that moment with a vertical line.
  const QList<QPointF> marker = Window().SimulationMarkers[2]->Points();
  ASSERT_EQ(marker.size(), 2);
  EXPECT_EQ(marker[0].x(), Window().Run().Findings.FirstSimulatedTime);
  EXPECT_EQ(marker[1].x(), marker[0].x());
}

// A stall past the client's time-out during a run: the link is lost, the OPC tab says so,
// and the run makes the link again on its own; the tab then says the link as it is now.
TEST_F(UaPlant, AfterTheRunMadeTheLostLinkAgainTheOpcTabSaysItIsConnected) {
  PrivateUaPeer peer;  // the lost link's session goes with it
  LatencyProxy proxy(std::stoi(peer.Url().substr(peer.Url().rfind(':') + 1)));
  ConnectTo(proxy.Url());
  AssignLoop();
  const auto waitFor = [](const std::function<bool()>& done, int ms) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < ms) Pass();
    return done();
  };
  QString stateLost;
  bool lost = false, back = false;
  RunManualExperiment([&] {
    Window().Timer1->start();  // the window's own pace
    QTest::qWait(500);
    proxy.Stall(7000);
    lost = waitFor(
        [&] { return Opc().PoveziOPCStreznik->text() == QString::fromUtf8("Poveži znova"); },
        12000);
    stateLost = Opc().Label54->text();
    back = waitFor([&] { return Opc().Label54->text() == QString::fromUtf8("teče"); }, 15000);
  });
  ASSERT_TRUE(lost);
  EXPECT_EQ(stateLost, QString::fromUtf8("ustavljen"));
  ASSERT_TRUE(back) << Opc().Label54->text().toStdString();
  EXPECT_EQ(Opc().PoveziOPCStreznik->text(), QString::fromUtf8("Poveži"));
  EXPECT_FALSE(Opc().PoveziOPCStreznik->isEnabled()) << "connected to a running server";
  EXPECT_TRUE(opc->IsConnected());
  const RunFindings& f = Window().Run().Findings;
  EXPECT_EQ(f.Reconnects, 1);
  EXPECT_EQ(f.SimulatedSamples, 0);
  EXPECT_TRUE(ui.Notices.contains(QString::fromUtf8(ReconnectedText)))
      << ui.Notices.join("; ").toStdString();
}

// Y2 on an item the server samples at most once a second: said before the run starts
// (a notice that holds nothing), the run goes on, and the same is in its findings.
TEST_F(UaPlant, APeriodShorterThanTheServerSamplesIsSaidBeforeTheRunAndInItsFindings) {
  ConnectTo(UaPeerUrl());
  AssignLoop();
  Opc().OPCTabela->item(5, 0)->setText("ns=2;s=Types.Refusing");
  QStringList noticesAtStart;
  RunManualExperiment([&] {
    noticesAtStart = ui.Notices;
    for (int i = 0; i < 10; ++i) Tick();
  });
  const QString said = QString::fromUtf8(
      "Čas vzorčenja 0.05 s je krajši od intervala, v katerem vzorči strežnik (1000 ms); del "
      "vzorcev bo zadržanih (ponovljenih).");
  EXPECT_EQ(noticesAtStart, QStringList{said});
  EXPECT_EQ(ui.Notices, QStringList{said});
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_TRUE(Form().StatusText().contains(said)) << Form().StatusText().toStdString();
  EXPECT_GE(Store().SampleCount, 10);
}

// The plant stops answering for 4 s in the middle of a run: the window keeps drawing
// (held samples, marked, once the sampler has waited its hold for the stall's first
// periods), says the plant is late, and the run goes on with the plant.
TEST_F(UaPlant, DuringAStallTheExperimentWindowKeepsDrawingAndSaysThePlantIsLate) {
  LatencyProxy proxy(std::stoi(ReadPort(UaPeerDir() + "/port")));
  proxy.SetLatency(40, 10);
  ConnectTo(proxy.Url());
  AssignLoop();
  QString statusDuring;
  int pointsBefore = 0, pointsDuring = 0;
  RunManualExperiment([&] {
    Window().Timer1->start();  // the window's own pace
    QTest::qWait(1000);
    proxy.Stall(4000);
    pointsBefore = Window().Series2->Count();
    QTest::qWait(2500);
    pointsDuring = Window().Series2->Count();
    statusDuring = Window().StatusText();
    if (const char* dir = std::getenv("VORTUNER_SCREENSHOT_DIR"))
      Window().grab().save(QString::fromLocal8Bit(dir) + "/experiment-stalled.png");
    QTest::qWait(3000);
  });
  EXPECT_GE(pointsDuring, pointsBefore + 20) << "the chart moves on held samples";
  EXPECT_TRUE(statusDuring.contains(QString::fromUtf8("obrat ne odgovarja pravočasno")))
      << statusDuring.toStdString();
  const RunFindings& f = Window().Run().Findings;
  // Every period of the stall (more on a busy machine) but its last HoldUs: those the
  // server's queue delivers as the stall ends, the plant's values at their source times.
  EXPECT_GE(f.HeldSamples, 76 - Window().Run().Sampler().HoldUs() / 50'000);
  EXPECT_EQ(f.SimulatedSamples, 0);
  EXPECT_TRUE(Form().StatusText().contains(QString::fromUtf8("Zadržanih vzorcev: ")))
      << Form().StatusText().toStdString();
}

TEST_F(UaPlant, TheWindowAnswersClicksDuringAStalledConnectAndPrekliciGivesUp) {
  LatencyProxy proxy(std::stoi(ReadPort(UaPeerDir() + "/port")));
  proxy.Stall(4000);  // the server says nothing for 4 s
  QElapsedTimer elapsed;
  elapsed.start();
  int answered = 0;
  qint64 longestGapMs = 0, lastMs = 0;
  QString stateDuring;
  bool prekliciShown = false;
  // A click every 40 ms on another tab of the window, the state read, "Prekliči" after 1 s.
  QTimer clicker;
  QObject::connect(&clicker, &QTimer::timeout, [&] {
    longestGapMs = std::max(longestGapMs, elapsed.elapsed() - lastMs);
    lastMs = elapsed.elapsed();
    Opc().OPCTabela->setCurrentCell(answered % 5, 0);
    ++answered;
    stateDuring = Opc().Label54->text();
    prekliciShown = !Opc().PrekliciPovezovanje->isHidden();
    if (elapsed.elapsed() > 1000) QTest::mouseClick(Opc().PrekliciPovezovanje, Qt::LeftButton);
  });
  clicker.start(40);
  Form().show();
  Opc().ComboBox2->setCurrentText(QString::fromStdString(proxy.Url()));
  QTest::mouseClick(Opc().PoveziOPCStreznik, Qt::LeftButton);
  Settle(Form());
  clicker.stop();
  EXPECT_LT(elapsed.elapsed(), 2000) << "Prekliči ended the wait";
  EXPECT_GE(answered, 20);
  // A blocked window would show the whole 4 s; the clicks every 40 ms come at most a
  // scheduling delay late (under 100 ms on a quiet machine, more on a loaded one).
  EXPECT_LT(longestGapMs, 500);
  EXPECT_TRUE(prekliciShown);
  EXPECT_EQ(stateDuring, QString::fromUtf8("povezovanje …"));
  EXPECT_EQ(Opc().Label54->text(), "preklicano");
  EXPECT_FALSE(opc->IsConnected());
  // The connect given up is cut short, not waited for: "Poveži" is there again well
  // before the 4 s stall ends.
  QElapsedTimer back;
  back.start();
  QTRY_VERIFY_WITH_TIMEOUT(Opc().PoveziOPCStreznik->isEnabled(), 8000);
  EXPECT_LT(back.elapsed(), 1000);
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
}

// "Prekini" while the upkeep's probe waits on a server that has stopped answering: the
// link ends at once, and the probe it cuts short is no lost link to tell.
TEST_F(UaPlant, PrekiniDuringAStalledProbeEndsTheLinkAtOnceWithNoLossTold) {
  PrivateUaPeer peer;  // the session the cut link leaves ends with the test
  LatencyProxy proxy(std::stoi(peer.Url().substr(peer.Url().rfind(':') + 1)));
  ConnectTo(proxy.Url());
  std::this_thread::sleep_for(std::chrono::milliseconds(3200));  // quiet past the idle probe's 3 s
  proxy.Stall(5000);
  opc->KeepAlive();  // the probe goes out, and waits
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  QElapsedTimer elapsed;
  elapsed.start();
  QTest::mouseClick(Opc().PrekiniOPCStreznik, Qt::LeftButton);
  EXPECT_LT(elapsed.elapsed(), 1000);
  QTest::qWait(300);
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_EQ(Opc().Label54->text(), "ustavljen");
  EXPECT_TRUE(Opc().PoveziOPCStreznik->isEnabled());
  EXPECT_EQ(Opc().PoveziOPCStreznik->text(), QString::fromUtf8("Poveži"));
  EXPECT_TRUE(ui.Messages.isEmpty()) << ui.Messages.join("|").toStdString();
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
}

// The probe finds the link cut, and the window hears of it only after the engineer has
// pressed "Prekini": the link was ended by the engineer, no box tells of a loss.
TEST_F(UaPlant, ALossReportedAfterPrekiniIsNotTold) {
  PrivateUaPeer peer;  // the session the cut link leaves ends with the test
  LatencyProxy proxy(std::stoi(peer.Url().substr(peer.Url().rfind(':') + 1)));
  ConnectTo(proxy.Url());
  std::this_thread::sleep_for(std::chrono::milliseconds(3200));
  proxy.Cut();
  opc->KeepAlive();  // the probe finds the link lost, on its thread; the report is queued
  for (int i = 0; i < 100 && opc->IsConnected(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_FALSE(opc->IsConnected());
  Opc().PrekiniOPCStreznikClick();  // before the window has taken the queued report
  QTest::qWait(300);
  EXPECT_EQ(Opc().Label54->text(), "ustavljen");
  EXPECT_TRUE(Opc().PoveziOPCStreznik->isEnabled());
  EXPECT_EQ(Opc().PoveziOPCStreznik->text(), QString::fromUtf8("Poveži"));
  EXPECT_TRUE(ui.Messages.isEmpty()) << ui.Messages.join("|").toStdString();
  EXPECT_FALSE(Form().StatusText().contains(QString::fromUtf8("prekinjena")));
}

// The link stalls for 4 s while P, I and D are loaded: the window repaints and answers
// clicks meanwhile, "Prekliči" gives the load up, and nothing is written.
TEST_F(UaPlant, TheWindowAnswersClicksDuringAStalledControllerLoadAndPrekliciGivesUp) {
  LatencyProxy proxy(std::stoi(ReadPort(UaPeerDir() + "/port")));
  ConnectTo(proxy.Url());
  AssignLoop();
  probe->AddItem("ns=2;s=P")->Write(1.5);
  RegulatorPage& regulator = TunedRegulator();
  ASSERT_NE(regulator.Edit_Reg_Kp->text().toDouble(), 1.5);
  Form().show();
  QPushButton other(QStringLiteral("drugo"), &Form());  // any other button of the window
  other.show();
  int clicked = 0;
  QObject::connect(&other, &QPushButton::clicked, [&] { ++clicked; });
  QElapsedTimer elapsed;
  qint64 longestGapMs = 0, lastMs = 0;
  QString loadText;
  bool prekliciShown = false;
  QTimer clicker;
  QObject::connect(&clicker, &QTimer::timeout, [&] {
    longestGapMs = std::max(longestGapMs, elapsed.elapsed() - lastMs);
    lastMs = elapsed.elapsed();
    QTest::mouseClick(&other, Qt::LeftButton);
    if (elapsed.elapsed() > 1000) {
      QTest::mouseClick(regulator.Button_PrekliciNalaganje, Qt::LeftButton);
      return;
    }
    // What the load's own second shows, before "Prekliči" is pressed.
    loadText = regulator.Button16->text();
    prekliciShown = regulator.Button_PrekliciNalaganje->isVisible();
  });
  proxy.Stall(4000);
  elapsed.start();
  clicker.start(40);
  QTest::mouseClick(regulator.Button16, Qt::LeftButton);
  // The load is a job: the window goes on until "Prekliči" gives it up.
  QTRY_VERIFY_WITH_TIMEOUT(regulator.Button16->text() == QString::fromUtf8("preklicano …"), 3000);
  clicker.stop();
  EXPECT_LT(elapsed.elapsed(), 2000) << "Prekliči ended the wait";
  EXPECT_GE(clicked, 20);
  EXPECT_LT(longestGapMs, 500);  // a blocked window would show the whole stall
  EXPECT_EQ(loadText, QString::fromUtf8("nalaganje …"));
  EXPECT_TRUE(prekliciShown);
  EXPECT_FALSE(regulator.Button16->isEnabled());  // until the load given up has ended
  QTRY_VERIFY_WITH_TIMEOUT(regulator.Button16->isEnabled(), 8000);
  EXPECT_EQ(regulator.Button16->text(), QString::fromUtf8("Naloži v regulator"));
  EXPECT_FALSE(regulator.Button_PrekliciNalaganje->isVisible());
  EXPECT_EQ(Form().StatusText(),
            QString::fromUtf8("Nalaganje preklicano: parametri niso bili zapisani v regulator."));
  EXPECT_EQ(PlantValue("ns=2;s=P"), 1.5);
  EXPECT_TRUE(ui.Messages.isEmpty()) << ui.Messages.join("; ").toStdString();
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
}

// "Konec eksperimenta" 0,3 s into a stall of 4 s (shorter than the client's time-out of
// 5 s): the window answers meanwhile and a second click changes nothing; the record keeps
// every period; once the stall is over the switch back to automatic reaches the plant.
TEST_F(UaPlant, EndingARunDuringAStallKeepsTheWindowAnsweringAndTheSwitchFollowsTheStall) {
  LatencyProxy proxy(std::stoi(ReadPort(UaPeerDir() + "/port")));
  ConnectTo(proxy.Url());
  AssignLoop();
  Answering answering;
  int secondClicks = 0;
  EndDuringStall(proxy, 4000, answering, secondClicks);
  EXPECT_LT(answering.longestGapMs, 500) << "a blocked window shows the rest of the stall";
  EXPECT_GE(answering.ticks, 20);
  EXPECT_GE(secondClicks, 10);
  EXPECT_FALSE(Window().isVisible());
  ExpectWholeRecord(20);
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_TRUE(opc->IsConnected());
  EXPECT_EQ(DirectValue("ns=2;s=RA"), 1);  // automatic after the run, once the stall was over
  EXPECT_FALSE(Form().StatusText().contains(QString::fromUtf8("Regulator je ostal")))
      << Form().StatusText().toStdString();
}

// The stall outlasts the client's time-out: the link is lost while the run ends. The
// engineer is told that the controller stayed in manual, and nothing more is written,
// also after the stall. (A plant of the test's own: the session the lost link leaves on
// the server goes with it.)
TEST_F(UaPlant, AStallPastTheTimeOutWhileTheRunEndsLeavesTheControllerInManualAndSaysSo) {
  PrivateUaPeer peer;
  LatencyProxy proxy(std::stoi(peer.Url().substr(peer.Url().rfind(':') + 1)));
  ConnectTo(proxy.Url());
  AssignLoop();
  Answering answering;
  int secondClicks = 0;
  EndDuringStall(proxy, 6500, answering, secondClicks);
  QCoreApplication::processEvents();
  EXPECT_LT(answering.longestGapMs, 500);
  EXPECT_GE(answering.ticks, 20);
  EXPECT_FALSE(Window().isVisible());
  ExpectWholeRecord(20);
  EXPECT_FALSE(opc->IsConnected());
  const QString left = QString::fromUtf8("Regulator je ostal v ročnem načinu.");
  ASSERT_EQ(ui.Notices.size(), 1) << ui.Notices.join("; ").toStdString();
  EXPECT_EQ(ui.Notices[0], QString::fromUtf8("Povezava s strežnikom je bila izgubljena ob koncu "
                                             "eksperimenta: v obrat se nič več ne piše. ") +
                               left);
  EXPECT_TRUE(Form().StatusText().contains(left)) << Form().StatusText().toStdString();
  // What waited in the relay has gone on by now: still manual at MV 10.
  const qint64 sinceStallMs = 300 + answering.elapsed.elapsed();
  std::this_thread::sleep_for(std::chrono::milliseconds(std::max<qint64>(0, 7500 - sinceStallMs)));
  EXPECT_EQ(DirectValue("ns=2;s=RA", peer.Url()), 0);
  EXPECT_EQ(DirectValue("ns=2;s=MV"), 10);
  direct.reset();  // before its plant goes
}

// "Prekliči" while the load's writes wait on a stalled server (P on the plant, its answer
// held in the relay, I and D still to go): the set ends whole once the stall is over, the
// read-back waits for the values as long as an uncancelled one, and the outcome is told.
TEST_F(UaPlant, ACancelDuringTheLoadsWritesLetsTheSetEndWholeAndTellsIt) {
  LatencyProxy proxy(std::stoi(ReadPort(UaPeerDir() + "/port")));
  proxy.SetLatency(200, 0);  // an answer is 100 ms on its way: time to stall it
  ConnectTo(proxy.Url());
  AssignLoop();
  for (const char* id : {"ns=2;s=P", "ns=2;s=I", "ns=2;s=D"}) probe->AddItem(id)->Write(0.5);
  RegulatorPage& regulator = TunedRegulator();
  const double kp = regulator.Edit_Reg_Kp->text().toDouble(),
               ki = regulator.Edit_Reg_Ki->text().toDouble();
  ASSERT_NE(kp, 0.5);
  ASSERT_NE(ki, 0.5);
  ASSERT_EQ(DirectValue("ns=2;s=P"), 0.5);
  // The stall starts when the plant holds the new P: the write's answer waits in the relay.
  std::atomic<bool> stalled = false, stop = false;
  std::string watchError;  // an exception must not leave the watching thread
  std::thread watch([&] {
    try {
      SystemClock own;
      auto client = CreateUaOpcClient(own);
      client->Connect(UaPeerUrl(), "");
      OpcGroup& g = client->AddGroup("Watch");
      g.SetUpdateRateMs(0);
      const OpcItemPtr p = g.AddItem("ns=2;s=P");
      while (!stop && p->Value() == 0.5) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } catch (const std::exception& e) {
      watchError = e.what();
    }
    proxy.Stall(3000);
    stalled = true;
  });
  Form().show();
  Answering answering;
  bool cancelled = false;
  double iWhenCancelled = -1;
  answering.Start([&] {
    if (!stalled || cancelled) return;
    QTest::qWait(200);
    iWhenCancelled = DirectValue("ns=2;s=I");
    cancelled = true;
    QTest::mouseClick(regulator.Button_PrekliciNalaganje, Qt::LeftButton);
  });
  QTest::mouseClick(regulator.Button16, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(cancelled, 10000);
  stop = true;
  watch.join();
  ASSERT_EQ(watchError, "");
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(iWhenCancelled, 0.5) << "the cancel came after P, before I";
  EXPECT_EQ(regulator.Button16->text(), QString::fromUtf8("preklicano …"));
  QTRY_VERIFY_WITH_TIMEOUT(regulator.Button16->isEnabled(), 10000);
  answering.timer.stop();
  EXPECT_LT(answering.longestGapMs, 500);
  EXPECT_EQ(regulator.Button16->text(), QString::fromUtf8("Naloži v regulator"));
  EXPECT_FALSE(regulator.Button_PrekliciNalaganje->isVisible());
  EXPECT_TRUE(regulator.Button_PovrniPrejsnje->isEnabled());  // the load written can be undone
  EXPECT_EQ(DirectValue("ns=2;s=P"), kp);
  EXPECT_EQ(DirectValue("ns=2;s=I"), ki);
  EXPECT_EQ(DirectValue("ns=2;s=D"), 0);
  const QString told = Form().StatusText();
  EXPECT_TRUE(told.startsWith(QString::fromUtf8(
      "Preklic je prišel med zapisovanjem, ki se je izteklo: Regulator ima zdaj P = ")))
      << told.toStdString();
  EXPECT_TRUE(told.endsWith(QString::fromUtf8(", D = 0."))) << told.toStdString();
  EXPECT_TRUE(ui.Messages.isEmpty()) << ui.Messages.join("; ").toStdString();
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
}

TEST_F(UaPlant, ALoadWithoutAConnectionSaysSoAtOnce) {
  AssignLoop();
  RegulatorPage& regulator = TunedRegulator();
  QElapsedTimer elapsed;
  elapsed.start();
  QTest::mouseClick(regulator.Button16, Qt::LeftButton);
  Settle(Form());
  EXPECT_LT(elapsed.elapsed(), 1000);
  ASSERT_EQ(ui.Messages.size(), 1);
  EXPECT_EQ(ui.Messages[0], QString::fromUtf8("Povezava s strežnikom ni vzpostavljena: v obrat se "
                                              "nič ne piše. Parametri niso bili zapisani v "
                                              "regulator."));
  EXPECT_TRUE(regulator.Button16->isEnabled());
}

}  // namespace

TEST_F(UaPlant, TheSecuredPlantAsksAboutItsCertificateAndForALoginThenConnects) {
  // The program's certificate store in a folder of the test's own.
  const std::string data = ::testing::TempDir() + "vortuner-data-" + std::to_string(::getpid());
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  Opc().VarnostComboBox->setCurrentText(QString::fromUtf8("podpis in šifriranje"));
  Opc().ComboBox2->setCurrentText(QString::fromStdString(UaSecurePeerUrl()));
  ui.LoginUser = UaSecurePeerUser;
  ui.LoginPassword = UaSecurePeerPassword;

  ui.TrustAnswer = 2;  // "Zavrni"
  QTest::mouseClick(Opc().PoveziOPCStreznik, Qt::LeftButton);
  Settle(Form());
  ASSERT_EQ(ui.TrustQuestions.size(), 1);
  // The certificate is decided before any password is asked: a refused server gets none.
  EXPECT_TRUE(ui.LoginQuestions.isEmpty());
  const QString question = ui.TrustQuestions[0];
  for (const char* part : {"Subjekt: ", "URI aplikacije: urn:vortuner:test-plant", "Veljavno do: ",
                           "Prstni odtis SHA-1: "})
    EXPECT_TRUE(question.contains(QString::fromUtf8(part))) << question.toStdString();
  ASSERT_EQ(ui.Errors.size(), 1);
  EXPECT_TRUE(ui.Errors[0].startsWith(QString::fromUtf8("Potrdilo strežnika ni zaupanja vredno (prstni odtis ")))
      << ui.Errors[0].toStdString();
  EXPECT_FALSE(opc->IsConnected());

  ui.TrustAnswer = 1;  // "Samo tokrat"
  ui.LoginPassword = "napačno";
  QTest::mouseClick(Opc().PoveziOPCStreznik, Qt::LeftButton);
  Settle(Form());
  ASSERT_EQ(ui.Errors.size(), 2);
  EXPECT_EQ(ui.Errors[1], QString::fromUtf8("Strežnik je zavrnil uporabniško ime ali geslo (BadUserAccessDenied)."))
      << ui.Errors[1].toStdString();
  EXPECT_EQ(ui.TrustQuestions.size(), 2);
  EXPECT_EQ(ui.LoginQuestions.size(), 1);  // asked at each connect once trusted, never remembered

  ui.Errors.clear();
  ui.LoginPassword = UaSecurePeerPassword;
  ConnectTo(UaSecurePeerUrl());
  EXPECT_EQ(ui.TrustQuestions.size(), 3);  // trusted once only: asked again
  EXPECT_TRUE(std::isfinite(PlantValue("nsu=urn:vortuner:plant;s=Y1")));
  Opc().PrekiniOPCStreznikClick();
  for (const auto& f : std::filesystem::recursive_directory_iterator(data))
    if (f.is_regular_file()) {
      std::ifstream in(f.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_EQ(bytes.find(UaSecurePeerPassword), std::string::npos) << f.path();
    }
  ::unsetenv("XDG_DATA_HOME");
  std::filesystem::remove_all(data);
}

namespace {
// P, I and D of a plant set by an operator: a client of its own on that plant's address.
void SetOnPlant(const std::string& url, double p, double i, double d) {
  SystemClock own;
  auto client = CreateUaOpcClient(own);
  client->Connect(url, "");
  OpcGroup& g = client->AddGroup("Operator");
  g.SetUpdateRateMs(0);
  g.AddItem("ns=2;s=P")->Write(p);
  g.AddItem("ns=2;s=I")->Write(i);
  g.AddItem("ns=2;s=D")->Write(d);
}
std::array<double, 3> HeldOnPlant(const std::string& url) {
  SystemClock own;
  auto client = CreateUaOpcClient(own);
  client->Connect(url, "");
  OpcGroup& g = client->AddGroup("Look");
  g.SetUpdateRateMs(0);
  return {g.AddItem("ns=2;s=P")->Value(), g.AddItem("ns=2;s=I")->Value(),
          g.AddItem("ns=2;s=D")->Value()};
}
}  // namespace

// With VORTUNER_SCREENSHOT_DIR set, the main window as the engineer sees it at that moment.
static void MainWindowShot(QWidget& form, const char* name) {
  if (const char* dir = std::getenv("VORTUNER_SCREENSHOT_DIR"))
    form.grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

// Loaded on server B, connected to server A: "Povrni prejšnje" writes nothing into A. Back
// on B after an operator changed P, it lists the three columns and asks before writing.
TEST_F(UaPlant, AnUndoBelongsToItsServerAndAsksOverAnOperatorsChange) {
  PrivateUaPeer a;
  SetOnPlant(a.Url(), 2.22, 22.2, 0.222);
  SetOnPlant(UaPeerUrl(), 7.77, 77.7, 0.777);
  ConnectTo(UaPeerUrl());
  AssignLoop();
  RegulatorPage& regulator = TunedRegulator();
  const QString kp = regulator.Edit_Reg_Kp->text();
  QTest::mouseClick(regulator.Button16, Qt::LeftButton);
  Settle(Form());
  ASSERT_TRUE(regulator.Button_PovrniPrejsnje->isEnabled());

  Opc().PrekiniOPCStreznikClick();
  ConnectTo(a.Url());
  const int questions = ui.Questions.size();
  QTest::mouseClick(regulator.Button_PovrniPrejsnje, Qt::LeftButton);
  Settle(Form());
  ASSERT_EQ(ui.Messages.size(), 1);
  EXPECT_TRUE(ui.Messages[0].startsWith(QString::fromUtf8("»Povrni prejšnje« velja za strežnik ")))
      << ui.Messages[0].toStdString();
  EXPECT_EQ(ui.Questions.size(), questions);  // refused before any question
  MainWindowShot(Form(), "undo-on-another-server");
  EXPECT_EQ(HeldOnPlant(a.Url()), (std::array<double, 3>{2.22, 22.2, 0.222}));

  // The same server again: the undo is still there. An operator has set P since.
  Opc().PrekiniOPCStreznikClick();
  ConnectTo(UaPeerUrl());
  SetOnPlant(UaPeerUrl(), 9.99, HeldOnPlant(UaPeerUrl())[1], 0);
  ASSERT_TRUE(regulator.Button_PovrniPrejsnje->isEnabled());
  ui.YesNoAnswer = true;
  QTest::mouseClick(regulator.Button_PovrniPrejsnje, Qt::LeftButton);
  Settle(Form());
  ASSERT_EQ(ui.Questions.size(), questions + 2) << ui.Questions.join("|").toStdString();
  EXPECT_TRUE(ui.Questions[questions].startsWith(
      QString::fromUtf8("Povrnem regulator na vrednosti pred zadnjim nalaganjem?")));
  const QString columns = ui.Questions[questions + 1];
  EXPECT_TRUE(
      columns.contains(QString::fromUtf8("Točka\tpred nalaganjem\tzapisalo nalaganje\tzdaj")))
      << columns.toStdString();
  EXPECT_TRUE(columns.contains(QString::fromUtf8("»ns=2;s=P« (P)\t7.77\t%1\t9.99")
                                   .arg(QString::number(kp.toDouble(), 'g', 10))))
      << columns.toStdString();
  EXPECT_EQ(HeldOnPlant(UaPeerUrl()), (std::array<double, 3>{7.77, 77.7, 0.777}));
  EXPECT_FALSE(regulator.Button_PovrniPrejsnje->isEnabled());
}

// The link cut when the plant holds the new P and the I write is on its way: the message
// says what was written, what not and what is unknown, in red until the engineer acts;
// on the next connect to that server the items are read and what they hold is said.
TEST_F(UaPlant, ALinkLostBetweenThePAndIWritesIsToldPerItemAndReadBackOnReconnect) {
  LatencyProxy proxy(std::stoi(ReadPort(UaPeerDir() + "/port")));
  proxy.SetLatency(400, 0);  // a request 200 ms on its way: time to cut behind the P write
  ConnectTo(proxy.Url());
  AssignLoop();
  SetOnPlant(UaPeerUrl(), 0.5, 0.5, 0.5);
  RegulatorPage& regulator = TunedRegulator();
  const QString kp = regulator.Edit_Reg_Kp->text();
  std::atomic<bool> stop = false;
  std::thread watch([&] {
    SystemClock own;
    auto client = CreateUaOpcClient(own);
    client->Connect(UaPeerUrl(), "");
    OpcGroup& g = client->AddGroup("Watch");
    g.SetUpdateRateMs(0);
    const OpcItemPtr p = g.AddItem("ns=2;s=P");
    while (!stop && p->Value() == 0.5) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // P's answer is back 200 ms after the plant took it; the I request is then in the relay.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    proxy.Cut();
  });
  QTest::mouseClick(regulator.Button16, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(regulator.Button16->isEnabled(), 15000);
  stop = true;
  watch.join();
  const QString told = Form().StatusAlarm();
  EXPECT_TRUE(told.startsWith(QString::fromUtf8(
      "Povezava s strežnikom je bila prekinjena med zapisom v točko »ns=2;s=I« (")))
      << told.toStdString();
  EXPECT_TRUE(told.endsWith(QString::fromUtf8(
      "Zapisano: »ns=2;s=P« (P člen regulatorja). Ni zapisano: »ns=2;s=D« (D člen "
      "regulatorja). Ni znano, ali je zapisano: »ns=2;s=I« (I člen regulatorja). Kaj točke "
      "hranijo, bo prebrano ob ponovni povezavi s strežnikom.")))
      << told.toStdString();
  EXPECT_TRUE(Form().findChild<QLabel*>("StatusBarAlarm")->isVisibleTo(&Form()));
  MainWindowShot(Form(), "set-cut-between-p-and-i");
  EXPECT_TRUE(ui.Messages.isEmpty()) << ui.Messages.join("|").toStdString();
  EXPECT_EQ(HeldOnPlant(UaPeerUrl())[2], 0.5);

  proxy.Restore();
  Opc().PrekiniOPCStreznikClick();
  ConnectTo(proxy.Url());
  QTRY_VERIFY_WITH_TIMEOUT(Form().StatusAlarm().contains(QString::fromUtf8("Po ponovni")), 10000);
  const std::array<double, 3> held = HeldOnPlant(UaPeerUrl());
  EXPECT_TRUE(Form().StatusAlarm().endsWith(
      QString::fromUtf8(" Po ponovni povezavi točke hranijo: »ns=2;s=P« = %1, »ns=2;s=I« = %2, "
                        "»ns=2;s=D« = 0.5.")
          .arg(QString::number(kp.toDouble(), 'g', 10), QString::number(held[1], 'g', 10))))
      << Form().StatusAlarm().toStdString();
  EXPECT_EQ(held[0], kp.toDouble());
  MainWindowShot(Form(), "set-cut-read-back-on-reconnect");
}

// An address typed into the server field, connected: it is the entry selected, the
// settings' server (the file's first line, the run's check) and the report's.
TEST_F(UaPlant, AnAddressTypedAndConnectedIsTheServerTheSettingsAndTheReportName) {
  const QString url = QString::fromStdString(UaPeerUrl());
  ASSERT_GT(Opc().ComboBox2->count(), 0);
  Opc().ComboBox2->setCurrentIndex(0);
  ConnectTo(UaPeerUrl());
  EXPECT_EQ(Opc().ComboBox2->itemText(Opc().ComboBox2->currentIndex()), url);
  EXPECT_EQ(Opc().ConnectedServer(), url);
  EXPECT_EQ(Form().ExperimentTab().SettingsFromControls().ServerName, url.toStdString());
  EXPECT_EQ(Opc().ComboBox2->currentText(), url);  // what the report names
}
