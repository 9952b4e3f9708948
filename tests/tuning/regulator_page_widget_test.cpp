#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <filesystem>
#include <map>

#include "charts/VorChart.h"
#include "data/NumberFormat.h"
#include "data/TextFile.h"
#include "data/ui/ProcessingPage.h"
#include "experiment/ui/ExperimentPage.h"
#include "support/AppFixture.h"
#include "opc/ui/RadioGroup.h"
#include "opc/ui/OpcPage.h"
#include "tuning/ControllerLoad.h"
#include "report/ui/ReportPage.h"
#include "tuning/RobustProposal.h"
#include "tuning/ui/RegulatorPage.h"

namespace {

// A plant connection whose controller items record what is written to them.
struct WriteLog {
  std::vector<std::string> Entries;  // "id=value" or "id=int 0"
};

class RecordingItem final : public OpcItem {
 public:
  RecordingItem(std::string id, WriteLog& log, int& quality) : id_(std::move(id)), log_(log), quality_(quality) {}
  const std::string& ItemId() const override { return id_; }
  double Value() const override { return value_; }
  int Quality() const override { return quality_; }
  void Write(double v) override {
    log_.Entries.push_back(id_ + "=" + std::to_string(v));
    value_ = v;
  }
  void WriteInteger(int v) override {
    log_.Entries.push_back(id_ + "=int " + std::to_string(v));
    value_ = v;
  }

 private:
  double value_ = 0;
  std::string id_;
  WriteLog& log_;
  int& quality_;
};

class RecordingGroup final : public OpcGroup {
 public:
  RecordingGroup(std::string name, WriteLog& log, int& quality) : name_(std::move(name)), log_(log), quality_(quality) {}
  const std::string& Name() const override { return name_; }
  void SetDeadBand(double) override {}
  void SetUpdateRateMs(int) override {}
  OpcItemPtr AddItem(const std::string& id) override {
    ++Added;
    return std::make_shared<RecordingItem>(id.empty() ? "item" + std::to_string(Added) : id, log_,
                                           quality_);
  }
  void RemoveAllItems() override { ++Cleared; }
  int Added = 0, Cleared = 0;

 private:
  std::string name_;
  WriteLog& log_;
  int& quality_;
};

class RecordingClient final : public OpcClient {
 public:
  std::vector<std::string> ListServers() override { return {}; }
  void Connect(const std::string&, const std::string&) override {}
  void Disconnect() override {}
  bool IsConnected() const override { return true; }
  OpcServerState ServerState() const override { return OpcServerState::Running; }
  OpcGroup& AddGroup(const std::string& name) override {
    return groups_.try_emplace(name, name, Log, Quality).first->second;
  }
  std::vector<std::string> BrowseItemIds() override { return {}; }
  void SetDisconnectHandler(std::function<void()>) override {}
  WriteLog Log;
  int Quality = OpcQualityBad;

 private:
  std::map<std::string, RecordingGroup> groups_;
};

class RegulatorTab : public ::testing::Test {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    windows = CreateApplicationWindows(client, clock);
    MeasurementStore& s = Form().Store();
    s.InnerGain = 2, s.InnerTimeConstant = 20, s.InnerDeadTime = 5;
    s.OuterGain = 1.5, s.OuterTimeConstant = 40, s.OuterDeadTime = 8;
    s.SampleTime = 0.5;
    for (int row : {7, 8, 9})
      Form().OpcTab().OPCTabela->item(row, 0)->setText(QStringLiteral("PID").mid(row - 7, 1));
  }
  void TearDown() override {
    AppFixture::WaitForJobs();
    QLocale::setDefault(QLocale::system());
  }
  TForm1& Form() { return *windows.Form1; }
  RegulatorPage& Page() { return Form().RegulatorTab(); }

  FakeUiServices ui;
  ManualClock clock;
  RecordingClient client;
  ApplicationWindows windows;
};

}  // namespace

TEST_F(RegulatorTab, StartsWithTheDefaultsAndTheFiveTitledSeries) {
  RegulatorPage& p = Page();
  EXPECT_EQ(p.ComboBox1->count(), 9);  // six rules, the empty entry, two integrating rules
  EXPECT_EQ(p.ComboBox1->currentText(), "Metoda provršin - sledenje");
  EXPECT_EQ(p.ComboBox1->itemText(6), " ");
  EXPECT_EQ(p.ScrollBar_Robust->value(), 10);
  EXPECT_EQ(p.ScrollBar_Robust->maximum(), 20);
  EXPECT_EQ(p.ComboBox_Regulator->currentText(), "Splošni paralelni (Kp, Ki, Kd)");
  EXPECT_EQ(p.RadioGroup_IzbiraTipaReg->ItemIndex(), 2);
  EXPECT_EQ(p.RadioGroup_Motnja->ItemIndex(), 0);
  EXPECT_EQ(p.Edit_Vzorcenje->text(), "1");
  EXPECT_EQ(p.Label_Priporocljiv->text(), "0");
  EXPECT_EQ(p.Edit_Reg_ScaleP->text(), "1");
  EXPECT_EQ(p.Edit_Reg_Kp->text(), "0");
  EXPECT_EQ(p.Label_Reg_Name_Kd->text(), "Kd:");
  EXPECT_EQ(p.Button16->text(), "Naloži v regulator");
  EXPECT_EQ(p.Chart1->Title(), "Odprtozančni (OZ) in zaprtozančni (ZZ) odzivi");
  ASSERT_EQ(p.Chart1->SeriesCount(), 5);
  EXPECT_EQ(p.LineSeries3->Series()->name(), "ZZ Odziv I");
  EXPECT_EQ(p.LineSeries3->Color(), QColor(0x80, 0x40, 0x00));  // 16512 as 0x00BBGGRR
  EXPECT_EQ(p.LineSeries3->Series()->pen().style(), Qt::DashLine);
  EXPECT_EQ(p.Series5->Series()->name(), "ZZ Odziv P");
  EXPECT_EQ(p.Series3->Series()->name(), "ZZ odziv PI");
  EXPECT_EQ(p.Series3->Series()->pen().style(), Qt::DashDotLine);
  EXPECT_EQ(p.Series4->Series()->name(), "ZZ odziv PID");
  EXPECT_EQ(p.Series4->Series()->pen().style(), Qt::DashDotDotLine);
  EXPECT_EQ(p.LineSeries4->Series()->name(), "OZ Odziv");
  EXPECT_NE(Form().findChild<QLineEdit*>("Edit_Reg_Kd"), nullptr);
}

TEST_F(RegulatorTab, ComputeButtonShowsTheTabTheSampleTimeSummaryPanelAndCurves) {
  Page().Button_PIDClick();
  RegulatorPage& p = Page();
  EXPECT_EQ(Form().PageControl1->currentIndex(), 4);
  EXPECT_EQ(p.Edit_Vzorcenje->text(), "0.5");
  EXPECT_EQ(p.Label_PI_Kp->text(), "0.8587");
  EXPECT_EQ(p.Label_Kp_Cascade->text(), "0");
  EXPECT_EQ(p.Edit_Reg_Kp->text(), "0.8587");
  EXPECT_EQ(p.Edit_Reg_Ki->text(), "0.042848");
  EXPECT_EQ(p.Edit_Reg_Kd->text(), "");
  EXPECT_TRUE(p.Edit_Reg_Kd->isHidden());
  EXPECT_EQ(p.LineSeries4->Count(), 301);
  EXPECT_LE(p.Chart1->LeftAxisMaximum(), 2.2 + 1e-12);
  if (std::getenv("VORTUNER_SCREENSHOT")) {
    Form().resize(897, 580);
    Form().show();
    QTest::qWait(200);
    Form().grab().save(QString::fromLocal8Bit(std::getenv("VORTUNER_SCREENSHOT")));
  }
}

TEST_F(RegulatorTab, TheSliderRedrawsAtOnceAndThePanelFollowsIt) {
  Page().Button_PIDClick();
  RegulatorPage& p = Page();
  const QList<QPointF> before = p.Series3->Points();
  p.ScrollBar_Robust->setValue(0);
  EXPECT_EQ(p.Label_PI_Kp->text(), "0.08587");
  EXPECT_NE(p.Series3->Points(), before);
  // The panel is what a load writes: it shows the summary's new parameters.
  EXPECT_EQ(p.Edit_Reg_Kp->text(), "0.08587");
  EXPECT_EQ(p.Edit_Reg_Ki->text(), p.Label_PI_Ti->text());
  // While the scheduler fills the controls nothing recomputes.
  Form().Store().TuningEventsSuppressed = true;
  p.ComboBox1->setCurrentIndex(6);
  EXPECT_EQ(p.Label_PI_Kp->text(), "0.08587");
  Form().Store().TuningEventsSuppressed = false;
  p.ComboBox1->setCurrentIndex(5);
  EXPECT_EQ(p.Label_Kp_P->text(), "0.20000");
  EXPECT_EQ(p.Edit_Reg_Kp->text(), "0.1800");
}

TEST_F(RegulatorTab, ABadSamplingTimeKeepsTheChartAndShowsTheConversionError) {
  Page().Button_PIDClick();
  RegulatorPage& p = Page();
  const int points = p.Series3->Count();
  p.Edit_Vzorcenje->setText("abc");
  // The labels change, then the conversion error ends the handler.
  EXPECT_THROW(p.ComboBox1->setCurrentIndex(5), ConversionError);
  EXPECT_EQ(p.Label_PI_Kp->text(), "1.800");
  p.Edit_Vzorcenje->setFocus();
  QTest::keyClick(p.Edit_Vzorcenje, Qt::Key_Return);
  ASSERT_FALSE(ui.Errors.isEmpty());
  EXPECT_EQ(ui.Errors.last(), "»abc« ni veljavno število.");
  EXPECT_EQ(p.Series3->Count(), points);
}

TEST_F(RegulatorTab, NoSamplingTimeOrAZeroGainLeavesTheChartAndSaysWhy) {
  RegulatorPage& p = Page();
  p.Edit_Vzorcenje->setText("0");  // no valid sampling time entered yet
  p.RecomputeTuningFromControls();
  EXPECT_EQ(p.Series3->Count(), 0);
  EXPECT_TRUE(Form().StatusText().contains("čas vzorčenja"));
  p.Edit_Vzorcenje->setText("1");
  p.RecomputeTuningFromControls();
  EXPECT_EQ(p.Series3->Count(), 151);
  // The reason is gone; what stays is the warning about this model's fragile PID proposal,
  // as the report's box and the command line say it.
  EXPECT_TRUE(Form().StatusText().startsWith("Opozorilo: regulator PID (Ms 2."));
  EXPECT_TRUE(Form().StatusText().endsWith(
      ") ima Ms nad 2: zanka je krhka; premaknite drsnik proti \"Robustno\"."));
  Form().Store().InnerGain = 0;
  p.RecomputeTuningFromControls();
  EXPECT_EQ(p.Series3->Count(), 151);
  EXPECT_TRUE(Form().StatusText().contains("ojačenje"));
}

TEST_F(RegulatorTab, ControllerFileSavesAndLoadsEveryTextAndIndex) {
  for (const char* locale : {"en_US", "sl_SI"}) {
    QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
    const std::string path =
        (std::filesystem::temp_directory_path() / ("regtab_" + std::to_string(::getpid()) + ".vtc")).string();
    RegulatorPage& p = Page();
    p.Edit_Vzorcenje->setText(QLocale().toString(0.25));
    p.ComboBox1->setCurrentIndex(3);
    p.ScrollBar_Robust->setValue(14);
    p.RadioGroup_Motnja->SetItemIndex(1);
    p.ComboBox_Regulator->setCurrentIndex(2);
    p.RadioGroup_IzbiraTipaReg->SetItemIndex(3);
    p.Edit_Reg_ScaleP->setText("2");
    p.Edit_Reg_ScaleD->setText("0");
    p.CheckBox_CascadeReg->setChecked(true);
    Form().Store().InnerGain = 1.23456789012345678;
    ui.QueueFileAnswer(QString::fromStdString(path));
    QTest::mouseClick(p.Button9, Qt::LeftButton);
    ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("|").toStdString();
    EXPECT_EQ(ui.ShownDialogs.back().Filter, "Controller settings (*.vtc)|*.vtc|All files (*.*)|*.*");
    EXPECT_EQ(ui.ShownDialogs.back().DefaultExtension, "vtc");

    // Change everything, then load the file back.
    p.Edit_Vzorcenje->setText("9");
    p.ComboBox1->setCurrentIndex(0);
    p.ScrollBar_Robust->setValue(2);
    p.RadioGroup_Motnja->SetItemIndex(0);
    p.ComboBox_Regulator->setCurrentIndex(0);
    p.RadioGroup_IzbiraTipaReg->SetItemIndex(0);
    p.Edit_Reg_ScaleP->setText("1");
    p.CheckBox_CascadeReg->setChecked(false);
    Form().Store().InnerGain = 7;
    ui.QueueFileAnswer(QString::fromStdString(path));
    QTest::mouseClick(p.Button8, Qt::LeftButton);
    ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("|").toStdString();
    EXPECT_EQ(p.Edit_Vzorcenje->text(), QLocale().toString(0.25));
    EXPECT_EQ(p.ComboBox1->currentIndex(), 3);
    EXPECT_EQ(p.ScrollBar_Robust->value(), 14);
    EXPECT_EQ(p.RadioGroup_Motnja->ItemIndex(), 1);
    EXPECT_EQ(p.ComboBox_Regulator->currentIndex(), 2);
    EXPECT_EQ(p.RadioGroup_IzbiraTipaReg->ItemIndex(), 3);
    EXPECT_EQ(p.Edit_Reg_ScaleP->text(), "2");
    EXPECT_EQ(p.Edit_Reg_ScaleD->text(), "0");
    EXPECT_TRUE(p.CheckBox_CascadeReg->isChecked());
    EXPECT_NEAR(Form().Store().InnerGain, 1.2345678901235, 1e-13);
    // The recomputation ran with the loaded settings: cascade, method 3, PID in form 2.
    EXPECT_NE(p.Label_Kp_Cascade->text(), "0");
    EXPECT_EQ(p.Label_Reg_Name_Kd->text(), "Td:");
    EXPECT_EQ(p.Label_LabOjacSekv->text(), "Maks. ojač. sekv.:");

    // A short file changes nothing.
    std::vector<std::string> lines = ReadTextLines(path);
    lines.resize(20);
    WriteTextLines(path, lines);
    ui.QueueFileAnswer(QString::fromStdString(path));
    QTest::mouseClick(p.Button8, Qt::LeftButton);
    ASSERT_EQ(ui.Errors.size(), 1);
    EXPECT_EQ(ui.Errors[0], "List index out of bounds (21)");
    EXPECT_NEAR(Form().Store().InnerGain, 1.2345678901235, 1e-13);
    ui.Errors.clear();
    std::filesystem::remove(path);
  }
}

TEST_F(RegulatorTab, LoadIntoTheControllerWaitsForGoodQualityThenWritesPIAndD) {
  Page().Button_PIDClick();  // PI: Kp and Ki shown, Kd empty
  RegulatorPage& p = Page();
  p.Edit_Reg_Kp->setText("0.859");
  QTimer::singleShot(0, [this] { client.Quality = OpcQualityGood; });
  QTest::mouseClick(p.Button16, Qt::LeftButton);
  AppFixture::Settle(Form());
  ASSERT_TRUE(ui.Messages.isEmpty());
  ASSERT_EQ(client.Log.Entries.size(), 3u);
  EXPECT_EQ(client.Log.Entries[0], "P=0.859000");
  EXPECT_EQ(client.Log.Entries[1], "I=0.042848");
  EXPECT_EQ(client.Log.Entries[2], "D=0.000000");  // an unused term receives 0
  EXPECT_TRUE(p.Button16->isEnabled());
  EXPECT_EQ(Form().StatusText(), "Regulator ima zdaj P = 0.859, I = 0.042848, D = 0.");
}

TEST_F(RegulatorTab, LoadIntoTheControllerGivesUpAfterTenSecondsWithoutWriting) {
  Page().Button_PIDClick();
  QTimer::singleShot(0, [this] { clock.AdvanceMs(ControllerQualityWaitMs); });
  QTest::mouseClick(Page().Button16, Qt::LeftButton);
  AppFixture::Settle(Form());
  EXPECT_TRUE(client.Log.Entries.empty());
  ASSERT_EQ(ui.Messages.size(), 1);
  EXPECT_TRUE(ui.Messages[0].contains("ni dosegel dobre kakovosti"));
}

TEST_F(RegulatorTab, ClosingTheProgramDuringTheLoadEndsTheWaitWithoutWritingOrABox) {
  Page().Button_PIDClick();
  // The item never turns Good and the clock stands: only the close can end the wait
  // before its bound of 13 s of real time.
  QTimer::singleShot(0, [this] {
    QTimer::singleShot(0, [this] { Form().close(); });
    QTest::mouseClick(Page().Button16, Qt::LeftButton);
  });
  QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });  // the wait went on
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_TRUE(client.Log.Entries.empty());
  EXPECT_TRUE(ui.Messages.isEmpty());
}

TEST_F(RegulatorTab, ATextThatIsNotANumberIsNeverWritten) {
  client.Quality = OpcQualityGood;
  Page().Edit_Reg_Kp->setText("1.5");
  Page().Edit_Reg_Ki->setText("x");
  QTest::mouseClick(Page().Button16, Qt::LeftButton);
  AppFixture::Settle(Form());
  EXPECT_TRUE(client.Log.Entries.empty());
  ASSERT_EQ(ui.Errors.size(), 1);
  EXPECT_EQ(ui.Errors[0], "»x« ni veljavno število.");
}

TEST_F(RegulatorTab, UnderADecimalCommaEveryShownNumberUsesTheComma) {
  QLocale::setDefault(QLocale(QLocale::Slovenian, QLocale::Slovenia));
  Form().Store().SampleTime = 0.25;
  Page().Button_PIDClick();
  RegulatorPage& p = Page();
  EXPECT_EQ(p.Edit_Vzorcenje->text(), "0,25");
  EXPECT_EQ(p.Label_PI_Kp->text(), "0,8587");
  EXPECT_EQ(p.Label_PI_Ti->text(), "0,042848");
  EXPECT_EQ(p.Edit_Reg_Kp->text(), "0,8587");
  EXPECT_EQ(p.Series3->Count(), 601);
  // The typed scale is read with the comma too.
  p.Edit_Reg_ScaleP->setText("0,5");
  QTest::keyClick(p.Edit_Reg_ScaleP, Qt::Key_Return);
  EXPECT_TRUE(ui.Errors.isEmpty());
  EXPECT_EQ(p.Edit_Reg_Kp->text(), "0,4294");
}

TEST_F(RegulatorTab, InCascadeTheSequencerGainDividesTheGainsAndAFlatTableCountsAsOne) {
  ExperimentPage& e = Form().ExperimentTab();
  auto setRow = [&e](int row, const char* in, const char* out) {
    e.StringGrid_Sekvencer->setItem(row, 0, new QTableWidgetItem(QString::fromLatin1(in)));
    e.StringGrid_Sekvencer->setItem(row, 1, new QTableWidgetItem(QString::fromLatin1(out)));
  };
  setRow(0, "0", "0");
  setRow(1, "50", "20");
  setRow(2, "100", "100");
  e.CheckBox_Sekvencer->setChecked(true);
  Form().ProcessingTab().Label_MinY1->setText("10");
  Form().ProcessingTab().Label_MaksY1->setText("30");
  RegulatorPage& p = Page();
  p.ComboBox1->setCurrentIndex(5);
  const QString singleKp = p.Edit_Reg_Kp->text();
  EXPECT_EQ(p.Label_OjacSekv->text(), "");  // single loop: no sequencer
  p.CheckBox_CascadeReg->setChecked(true);
  EXPECT_EQ(p.Label_LabOjacSekv->text(), "Maks. ojač. sekv.:");
  EXPECT_EQ(p.Label_OjacSekv->text(), "1.6000");
  const double cascKp = Form().Store().Tuning.CascKpPI * Form().Store().Tuning.RobustnessFactor;
  EXPECT_EQ(p.Edit_Reg_Kp->text(), QString::number(cascKp / 1.6, 'f', 3));
  // A flat characteristic: gain 1 and a note in the status bar.
  setRow(1, "50", "0");
  setRow(2, "100", "0");
  p.ComboBox_Regulator->setCurrentIndex(1);
  EXPECT_EQ(p.Label_OjacSekv->text(), "1.0000");
  EXPECT_EQ(p.Edit_Reg_Kp->text(), QString::number(cascKp, 'f', 3));
  EXPECT_TRUE(Form().StatusText().contains("sekvencerja"));
  EXPECT_NE(singleKp, p.Edit_Reg_Kp->text());
}

TEST_F(RegulatorTab, RobustnessFiguresFollowTheSliderTheSamplingTimeAndWarnInRed) {
  RegulatorPage& p = Page();
  p.Button_PIDClick();
  EXPECT_TRUE(p.Label_Robust_PI->text().startsWith("Ms 1.59 Ar 3.15 "));
  // The panel shows the PI proposal itself, so its figures are the PI's.
  EXPECT_EQ(p.Label_Robust_Reg->text(), p.Label_Robust_PI->text());
  // One figure, from the numbers shown (which a load writes), to the last digit.
  ASSERT_TRUE(p.Robustness() && p.Robustness()->Scaled);
  EXPECT_EQ(p.Robustness()->PI.Ms, p.Robustness()->Scaled->Ms);
  EXPECT_NE(p.Robustness()->PID.Ms, p.Robustness()->Scaled->Ms);
  EXPECT_TRUE(p.Label_Robust_PI->styleSheet().isEmpty());
  // The report takes the table of the figures the tab shows.
  const std::vector<std::array<std::string, 4>> rows = Form().ReportTab().InputsFromTabs().Robustness;
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[3][0], "PI regulator");
  EXPECT_TRUE(p.Label_Robust_PI->text().startsWith(QString::fromStdString("Ms " + rows[3][1])));
  const QString slow = p.Label_Robust_PI->text();
  p.ScrollBar_Robust->setValue(0);
  EXPECT_NE(p.Label_Robust_PI->text(), slow);
  // The panel follows the slider, and its figures with it.
  EXPECT_EQ(p.Label_Robust_Reg->text(), p.Label_Robust_PI->text());
  // A longer sampling time changes the loop of the panel's controller too.
  const QString kp = p.Edit_Reg_Kp->text();
  p.Edit_Vzorcenje->setText("2");
  QTest::keyClick(p.Edit_Vzorcenje, Qt::Key_Return);
  EXPECT_NE(p.Label_Robust_Reg->text(), slow);
  EXPECT_EQ(p.Edit_Reg_Kp->text(), kp);

  // Without dead time the Ziegler-Nichols gains at the fast end make every loop unstable.
  Form().Store().InnerDeadTime = 0;
  p.ScrollBar_Robust->setValue(20);
  p.ComboBox1->setCurrentIndex(5);
  for (QLabel* l : {p.Label_Robust_I, p.Label_Robust_P, p.Label_Robust_PI, p.Label_Robust_PID,
                    p.Label_Robust_Reg}) {
    EXPECT_EQ(l->text(), "nestabilno") << l->objectName().toStdString();
    EXPECT_TRUE(l->styleSheet().contains("color")) << l->objectName().toStdString();
    EXPECT_TRUE(l->toolTip().contains("nestabilna")) << l->objectName().toStdString();
  }
}

TEST_F(RegulatorTab, RobustProposalOffersTheRecommendedSamplingAndMovesTheSlider) {
  Page().Button_PIDClick();
  RegulatorPage& p = Page();
  p.Edit_Vzorcenje->setText("5");
  QTest::keyClick(p.Edit_Vzorcenje, Qt::Key_Return);
  const QString recommended = p.Label_Priporocljiv->text();
  EXPECT_EQ(p.Label_Vzorcenje_Opozorilo->text(),
            "Čas vzorčenja 5 s je daljši od priporočenega (" + recommended + " s).");
  ui.YesNoAnswer = true;
  QTest::mouseClick(p.Button_RobustniPredlog, Qt::LeftButton);
  ASSERT_EQ(ui.Questions.size(), 1);
  EXPECT_TRUE(ui.Questions[0].endsWith("Uporabim priporočeni čas vzorčenja " + recommended + " s?"));
  EXPECT_EQ(p.Edit_Vzorcenje->text(), recommended);

  // The panel shows the proposal at the new position, with the figures the search found.
  RobustProposalRequest r;
  r.SampleTime = Form().Store().ClosedLoopSampleTime;
  r.Panel.Type = 2;
  const RobustProposal expected = FindRobustPosition(Form().Store(), r, '.');
  ASSERT_TRUE(expected.Position);
  EXPECT_EQ(p.ScrollBar_Robust->value(), *expected.Position);
  EXPECT_EQ(Form().StatusText(), QString::fromStdString(expected.Text));
  EXPECT_EQ(p.Label_Robust_Reg->text(),
            QString::fromStdString(FormatRobustness(expected.Figures, '.').Line));
  EXPECT_EQ(p.Edit_Reg_Kp->text(), p.Label_PI_Kp->text());

  p.Edit_MaxMs->setText("2.5");
  QTest::mouseClick(p.Button_RobustniPredlog, Qt::LeftButton);
  EXPECT_EQ(Form().StatusText(), "Največji Ms mora biti število od 1.2 do 2.");
}
