// Automatic experiments from their start time to their files, against the built-in
// simulated plant server on the test's clock: two queued experiments run and are
// post-processed without a click, and a folder that disappears during a run stops the
// queue at that entry with one error box and a status bar that names the step.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTabWidget>
#include <QImage>
#include <QTimer>
#include <QtTest/QTest>
#include <chrono>
#include <filesystem>
#include <functional>

#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "experiment/ui/ChainChartImages.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "model/IdentifyModel.h"
#include "model/TModel.h"
#include "opc/LocalOpcClient.h"
#include "opc/SimulatedPlantServer.h"
#include "opc/ui/OpcPage.h"
#include "report/DocxCheck.h"
#include "report/ZipPackage.h"
#include "data/ui/ProcessingPage.h"
#include "model/ui/ModelPage.h"
#include "tuning/ui/RegulatorPage.h"
#include <QLabel>
#include "tuning/TRegulator.h"
#include "support/AppFixture.h"

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
  EXPECT_TRUE(Form().StatusText().startsWith(
      "Samodejni poizkus \"drugi\" je obdelan: drugi.vtd, drugi.vtm, drugi.vtc, drugi.docx ("))
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
  ASSERT_EQ(ui.Errors.size(), 1) << ui.Errors.join("; ").toStdString();
  EXPECT_TRUE(ui.Errors[0].contains("prvi.vtd")) << ui.Errors[0].toStdString();
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

}  // namespace
