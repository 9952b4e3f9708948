// Automatic experiments from their start time to their files, against the built-in
// simulated plant server on the test's clock: two queued experiments run and are
// post-processed without a click, and a folder that disappears during a run stops the
// queue at that entry with one error box and a status bar that names the step.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTimer>
#include <QtTest/QTest>
#include <chrono>
#include <filesystem>
#include <functional>

#include "charts/VorChart.h"
#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "data/ui/ProcessingPage.h"
#include "data/ui/ShownNumbers.h"
#include "experiment/PostProcessingChain.h"
#include "experiment/ui/ChainChartImages.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "experiment/ui/TForm_SamodNastav.h"
#include "forms/FormHelpers.h"
#include "model/IdentifyModel.h"
#include "model/TModel.h"
#include "model/ui/ModelPage.h"
#include "opc/LocalOpcClient.h"
#include "opc/SimulatedPlantServer.h"
#include "opc/ui/OpcPage.h"
#include "report/DocxCheck.h"
#include "report/ZipPackage.h"
#include "report/ui/ReportPage.h"
#include "support/AppFixture.h"
#include "tuning/TRegulator.h"
#include "tuning/ui/RegulatorPage.h"

namespace {

namespace id = SimulatedPlantItems;
const QDate Today(2026, 12, 7);

class AutomaticExperiment : public AppFixture {
 protected:
  void SetUp() override {
    opc = CreateLocalOpcClient(clock);
    windows = CreateApplicationWindows(*opc, clock);
    ASSERT_TRUE(folder.isValid());
    const std::int64_t ms = QDateTime(Today, QTime(10, 0, 0)).toMSecsSinceEpoch();
    clock.SetNow(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)));

    OpcPage& opcPage = Form().OpcTab();
    QTest::mouseClick(opcPage.PoveziOPCStreznik, Qt::LeftButton);
    ASSERT_TRUE(opc->IsConnected());
    const std::pair<int, const char*> items[] = {{0, id::MV},      {2, id::U},
                                                 {4, id::Y1},      {5, id::Y2},
                                                 {11, id::Manual}, {12, id::Auto}};
    for (const auto& [row, itemId] : items) opcPage.OPCTabela->item(row, 0)->setText(itemId);
    opcPage.OPCTabela->item(4, 1)->setText("Temperatura");

    // 30 s at MV 10, then 10 up for 120 s and back down for 120 s, sampled every second.
    ExperimentPage& page = Form().ExperimentTab();
    page.DateTimePicker1->setDate(Today);
    page.RadioAvtomatsko->setChecked(true);
    page.CasVzorcenjaEdit->setText("1");
    page.ZacetniVhodEdit->setText("10");
    page.CasCakanjaEdit->setText("30");
    page.VelikostStopniceEdit->setText("10");
    page.CasStopniceEdit->setText("120");
    page.SteviloStopnicEdit->setText("1");
    page.CheckBox_ObeSmeri->setChecked(true);

    // While the experiment window stands, each pass of the event loop is one sampling
    // period of the program's clock and one sample.
    QObject::connect(&driver, &QTimer::timeout, [this] {
      clock.AdvanceMs(1000);
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
  std::string File(const char* label, const char* extension) {
    return folder.filePath(QString::fromLatin1(label)).toStdString() + extension;
  }
  void Activate(const char* label, const char* start) {
    Page().CajtZacetka->setText(QString::fromLatin1(start));
    ui.QueueFileAnswer(QString::fromStdString(File(label, ".vtx")));
    QTest::mouseClick(Page().AktivirajEksperiment, Qt::LeftButton);
  }
  void SchedulerTick() {
    QMetaObject::invokeMethod(&Page(), [this] { Page().Timer_ExperimentSchedulerTimer(); },
                              Qt::QueuedConnection);
    QCoreApplication::sendPostedEvents(&Page(), QEvent::MetaCall);
    Settle(Form());  // the run it started, its chain and the queue after it
  }
  // The text of a report's main part.
  QString DocumentText(const char* label) {
    for (const ZipPart& part : ReadZipParts(File(label, ".docx")))
      if (part.Name == "word/document.xml") return QString::fromStdString(part.Bytes);
    return QString();
  }
  QStringList Labels() {
    const QString text = Page().SeznamCakajocihEkspOznaka->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
  }

  QTemporaryDir folder;
  QTimer driver;
  int ticks = 0;
  std::function<void()> during;
};

TEST_F(AutomaticExperiment, TwoQueuedExperimentsEndAsFilesThatAgree) {
  Activate("prvi", "10:00:05");
  Activate("drugi", "10:00:06");
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  clock.AdvanceMs(6000);
  SchedulerTick();
  SchedulerTick();
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_TRUE(Labels().isEmpty());
  EXPECT_FALSE(Form().Timer_ExperimentScheduler->isActive());
  EXPECT_TRUE(
      Form().StatusText().startsWith("Samodejni poizkus \"drugi\" je obdelan: drugi.vtd, "
                                     "drugi.vtm, drugi.vtc, drugi.docx, drugi-opozorila.txt ("))
      << Form().StatusText().toStdString();
  // The warnings of the report's box, each once: this plant's PID proposal is fragile.
  EXPECT_EQ(Form().StatusText().count("Opozorilo: regulator PID (Ms "), 1)
      << Form().StatusText().toStdString();

  for (const char* label : {"prvi", "drugi"}) {
    SCOPED_TRACE(label);
    for (const char* extension : {".vtx", ".vtd", ".vtm", ".vtc", ".docx"})
      EXPECT_TRUE(std::filesystem::exists(File(label, extension))) << extension;

    // The model file is what a fresh identification of the data file gives.
    auto store = std::make_unique<MeasurementStore>();
    const DataFileTexts texts = TObdelava::ReadDataFile(File(label, ".vtd"), *store, '.');
    EXPECT_EQ(store->SampleCount, 273);  // the first sample, 30 s waiting, 2 x 120 s, the end
    TObdelava::ConditionSignals(*store, SignalColumns{},
                                TObdelava::ParseConditioning(texts.FilterTime,
                                                             texts.ActuatorMaximum,
                                                             texts.ActuatorMinimum,
                                                             texts.FullStrokeTime, '.'));
    IdentifyModel(*store, std::stoi(texts.WindowStart), std::stoi(texts.WindowEnd));
    const std::string again = File(label, "_again.vtm");
    TModel::SaveModelFile(again, *store, '.');
    EXPECT_EQ(ReadTextLines(again), ReadTextLines(File(label, ".vtm")));
    EXPECT_NEAR(store->InnerGain, 0.8, 0.08);

    EXPECT_EQ(docxcheck::PackageProblems(File(label, ".docx")), std::vector<std::string>{});

    const ControllerSettings vtc = TRegulator::LoadControllerSettings(File(label, ".vtc"), '.');
    EXPECT_EQ(FormatGeneral(vtc.InnerGain, 14), FormatGeneral(store->InnerGain, 14));
    EXPECT_EQ(vtc.Type, 2);
  }
  // The last report says what the tabs show after its experiment.
  const QString document = DocumentText("drugi");
  const QString shown[] = {QString::fromUtf8("Poročilo o eksperimentu"),
                           QString::fromUtf8("OPC Strežnik: ") + Form().OpcTab().ComboBox2->currentText(),
                           "Temperatura",
                           "Maksimum: " + Form().ProcessingTab().Label_MaksY1->text(),
                           "Ocenjeno ojačenje: " + Form().ModelTab().Edit_Gain->text(),
                           Form().RegulatorTab().Label_PI_Kp->text(),
                           QString::fromUtf8("Skaliran P člen: ") + Form().RegulatorTab().Edit_Reg_Kp->text()};
  for (const QString& text : shown)
    EXPECT_TRUE(document.contains(text.toHtmlEscaped())) << text.toStdString();

  std::vector<std::string> images;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path().toStdString()))
    if (entry.path().filename().string().rfind("kavrin", 0) == 0)
      images.push_back(entry.path().filename().string());
  EXPECT_TRUE(images.empty());
}

TEST_F(AutomaticExperiment, AFolderGoneDuringTheRunStopsTheQueueAtThatStep) {
  Activate("prvi", "10:00:05");
  Activate("drugi", "10:00:06");
  clock.AdvanceMs(6000);
  during = [this] {
    if (ticks == 3) QDir(folder.path()).removeRecursively();
  };
  SchedulerTick();
  // Told by a notice that holds nothing, and by the list and the status bar.
  ASSERT_EQ(ui.Notices.size(), 1) << ui.Notices.join("; ").toStdString();
  EXPECT_TRUE(ui.Notices[0].contains("prvi.vtd")) << ui.Notices[0].toStdString();
  EXPECT_TRUE(ui.Errors.isEmpty());
  EXPECT_EQ(Labels(), QStringList({"prvi (ustavljen)", "drugi"}));
  EXPECT_FALSE(Form().Timer_ExperimentScheduler->isActive());
  const QString status = Form().StatusText();
  EXPECT_TRUE(status.startsWith("Čakalna vrsta je ustavljena pri eksperimentu \"prvi\""))
      << status.toStdString();
  EXPECT_TRUE(status.contains("korak \"zapis merilnih podatkov\"")) << status.toStdString();
}

TEST_F(AutomaticExperiment, ChartsOfTabsNeverOpenedExportAsTheyAreShown) {
  // A model and a tuned loop, as a run's chain leaves them, before anyone opened the tabs.
  Activate("prvi", "10:00:05");
  clock.AdvanceMs(6000);
  SchedulerTick();
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  Form().show();
  QTemporaryDir hidden, shown;
  ChainChartImages images(Form());
  const bool outer = false;
  const auto exportBoth = [&](const QTemporaryDir& dir) {
    images.ExportModelImage(dir.path().toStdString(), Form().Store(), outer);
    images.ExportResponseImage(dir.path().toStdString(), nullptr);
  };
  exportBoth(hidden);
  Form().PageControl1->setCurrentIndex(TabModel);
  Form().PageControl1->setCurrentIndex(TabRegulator);
  QCoreApplication::processEvents();
  exportBoth(shown);
  for (ReportImage image : {ReportImage::Model, ReportImage::Responses}) {
    const QImage a(QString::fromStdString(ReportImagePath(hidden.path().toStdString(), image)));
    const QImage b(QString::fromStdString(ReportImagePath(shown.path().toStdString(), image)));
    ASSERT_FALSE(a.isNull());
    EXPECT_EQ(a, b) << ReportImageFile(image);
  }
}

TEST_F(AutomaticExperiment, ATuningWithoutIdentificationUsesTheModelNamedAtActivation) {
  TForm_SamodNastav& dialog = *windows.SamodNastav;
  dialog.CheckBox_Sam_PorocMod->setChecked(false);
  // A fresh program holds no model: the activation is refused, nothing is saved.
  Page().CajtZacetka->setText("10:00:05");
  QTest::mouseClick(Page().AktivirajEksperiment, Qt::LeftButton);
  EXPECT_EQ(ui.Messages, QStringList{QString::fromUtf8(NoHeldModelMessage)});
  EXPECT_TRUE(ui.ShownDialogs.empty());
  EXPECT_TRUE(Labels().isEmpty());

  // A model file loaded on the "Model" tab is the one the entry keeps.
  auto model = std::make_unique<MeasurementStore>();
  model->SampleTime = 1;
  model->InnerGain = 2;
  model->InnerTimeConstant = 30;
  model->InnerDeadTime = 3;
  const std::string modelFile = File("obrat", ".vtm");
  TModel::SaveModelFile(modelFile, *model, '.');
  ui.QueueFileAnswer(QString::fromStdString(modelFile));
  Form().ModelTab().Button_Nalozi_Model->click();
  ui.ShownDialogs.clear();
  Activate("drugi", "10:00:05");
  const std::string source = "datoteka modela \"" + modelFile + "\"";
  EXPECT_EQ(Form().StatusText().toStdString(),
            "Eksperiment \"drugi\" bo regulator nastavil na modelu: " + source + ".");
  // A later identification does not change what the entry tunes on.
  Form().Store().InnerGain = 99;
  Form().Store().ModelSource = "drug model";
  clock.AdvanceMs(6000);
  SchedulerTick();
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
  EXPECT_FALSE(std::filesystem::exists(File("drugi", ".vtm")));
  const ControllerSettings vtc = TRegulator::LoadControllerSettings(File("drugi", ".vtc"), '.');
  EXPECT_EQ(vtc.InnerGain, 2);
  EXPECT_EQ(vtc.InnerTimeConstant, 30);
  // The lists of the dialog had no selection: the first method and form, stored and shown.
  EXPECT_EQ(vtc.Method, 0);
  EXPECT_EQ(vtc.Form, 0);
  EXPECT_EQ(Form().RegulatorTab().ComboBox1->currentIndex(), 0);
  EXPECT_EQ(Form().RegulatorTab().ComboBox_Regulator->currentIndex(), 0);
  EXPECT_TRUE(DocumentText("drugi").contains(
      QString::fromStdString(ModelSourceNote(source)).toHtmlEscaped()))
      << DocumentText("drugi").left(2000).toStdString();
}

// A new activation while an entry stands stopped asks about it; by default the entry
// stays stopped and the plant gets not a single write.
TEST_F(AutomaticExperiment, ANewActivationLeavesAStoppedEntryStoppedWithoutAWriteToThePlant) {
  windows.SamodNastav->Label13->setText(folder.filePath("manjka.dotx"));
  Activate("pokvarjen", "10:00:05");
  clock.AdvanceMs(6000);
  SchedulerTick();
  ASSERT_EQ(Labels(), QStringList{"pokvarjen (ustavljen)"});
  const std::string log =
      QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
          .filePath("plant-writes.log")
          .toStdString();
  const std::size_t written = ReadTextLines(log).size();
  ASSERT_GT(written, 1u);  // the run itself wrote to the plant, and the log says so
  const int ran = ticks;

  windows.SamodNastav->Label13->setText("normal.dot");
  Activate("novi", "18:00:00");
  EXPECT_EQ(ui.Questions.size(), 1);
  for (int i = 0; i < 3; ++i) {
    clock.AdvanceMs(500);
    SchedulerTick();
  }
  EXPECT_EQ(ticks, ran);
  EXPECT_EQ(ReadTextLines(log).size(), written);
  EXPECT_EQ(Labels(), QStringList({"pokvarjen (ustavljen)", "novi"}));
}

// Losing the link at the 40th sample, or having none at all, leaves a record that is
// not the plant's: the data file says where the simulation took over, the images stay,
// and the entry stops before the model with the reason.
TEST_F(AutomaticExperiment, ASimulatedRecordOfAPlantRunStopsItsEntryBeforeTheModel) {
  for (const bool linkLost : {true, false}) {
    SCOPED_TRACE(linkLost ? "link lost" : "no connection");
    const char* label = linkLost ? "izgubljena" : "brez";
    if (!linkLost) {
      ui.Errors.clear();
      ui.Notices.clear();
      Page().SeznamCakajocihEkspCas->setTextCursor(
          QTextCursor(Page().SeznamCakajocihEkspCas->document()));
      QTest::keyClick(Page().SeznamCakajocihEkspCas, Qt::Key_Delete);
      ASSERT_TRUE(Labels().isEmpty());
    }
    QTime start = LocalNow(Form().SystemClock()).time().addSecs(5);
    Activate(label, start.toString("HH:mm:ss").toLatin1().constData());
    ASSERT_EQ(Labels(), QStringList{label});
    if (!linkLost) {
      opc->Disconnect();
      ui.Notices.clear();  // the OPC tab's notice of the loss, before the run
    }
    ticks = 0;
    // Lost after 39 samples, so the 40th is the first the simulation makes. The charts
    // mark that moment with a vertical line while it is in view.
    QList<QPointF> marker;
    during = [this, linkLost, &marker] {
      Window().Timer1->stop();  // the samples are the test's alone
      if (linkLost && opc->IsConnected() && Form().Store().SampleCount == 40) opc->Disconnect();
      if (Form().Store().SampleCount == 60) marker = Window().SimulationMarkers[2]->Points();
    };
    clock.AdvanceMs(6000);
    SchedulerTick();
    during = nullptr;

    const RunFindings& findings = Window().Run().Findings;
    EXPECT_EQ(findings.FirstSimulatedSample, linkLost ? 40 : 1);
    const double at = linkLost ? 39 : 0;
    ASSERT_EQ(marker.size(), 2);
    EXPECT_EQ(marker[0].x(), at);
    EXPECT_EQ(marker[1].x(), at);
    EXPECT_LT(marker[0].y(), marker[1].y());
    auto store = std::make_unique<MeasurementStore>();
    TObdelava::ReadDataFile(File(label, ".vtd"), *store, '.');
    EXPECT_EQ(store->SampleCount, 273);
    const std::string mark = linkLost ? " (simulacija od 39.0 s)" : " (simulacija)";
    EXPECT_TRUE(store->ColumnNames[1].ends_with(mark)) << store->ColumnNames[1];
    for (const char* extension : {".vtm", ".vtc", ".docx"})
      EXPECT_FALSE(std::filesystem::exists(File(label, extension))) << extension;
    EXPECT_TRUE(std::filesystem::exists(File(label, "-opozorila.txt")));
    EXPECT_TRUE(
        std::filesystem::exists(ReportImagePath(folder.path().toStdString(), ReportImage::TimeY1)));
    EXPECT_EQ(Labels(), QStringList{QString::fromLatin1(label) + " (ustavljen)"});
    EXPECT_FALSE(Form().Timer_ExperimentScheduler->isActive());

    const QString reason =
        linkLost ? "zapis je simuliran od 39.0 s (vzorec 40) naprej, ker je bila povezava s "
                   "strežnikom izgubljena; ni obdelan kot zapis obrata. Regulator je ostal v "
                   "ročnem načinu."
                 : "povezava s strežnikom ni bila vzpostavljena, zato je zapis simuliran; ni "
                   "obdelan kot zapis obrata.";
    EXPECT_TRUE(Form().StatusText().endsWith(
        "korak \"izvor zapisa\" (" + QString::fromStdString(File(label, ".vtd")) + "): " + reason))
        << Form().StatusText().toStdString();
    // Told at once and at the end which state the controller was left in.
    const QString lost =
        "Povezava s strežnikom je bila izgubljena od 39.0 s (vzorec 40): zapis se "
        "od tam nadaljuje s simulacijo procesa, v obrat se nič več ne piše. "
        "Regulator je ostal v ročnem načinu.";
    EXPECT_EQ(ui.Notices, linkLost ? QStringList({lost, reason}) : QStringList{reason});
    EXPECT_EQ(findings.ControllerLeft, linkLost ? "Regulator je ostal v ročnem načinu." : "");
    if (linkLost) {
      EXPECT_EQ(Window().StatusText(),
                "  Opozorilo: povezava s strežnikom je izgubljena od 39.0 s "
                "(vzorec 40)! Simulacija v teku, v obrat se nič ne piše.");
      // A report the engineer makes of the record says on its first page from where it
      // is simulated.
      ui.QueueFileAnswer(folder.filePath("rocno"));
      QTest::mouseClick(Form().ReportTab().Button_Naredi_porocilo, Qt::LeftButton);
      EXPECT_TRUE(DocumentText("rocno").contains(
          "Opozorilo: zapis je simuliran od 39.0 s naprej (vgrajena simulacija procesa)"))
          << DocumentText("rocno").left(3000).toStdString();
    }
  }
}

}  // namespace
