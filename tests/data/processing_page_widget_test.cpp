#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest/QTest>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "charts/VorChart.h"
#include "data/TextFile.h"
#include "data/ui/ProcessingPage.h"
#include "data/ui/TForm_Histogram.h"
#include "data/ui/TForm_Obdelava_Large.h"
#include "support/AppFixture.h"

namespace {

class ProcessingPageTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    dir = std::filesystem::temp_directory_path() /
          ("vortuner_page_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    QLocale::setDefault(QLocale::c());
    std::filesystem::remove_all(dir);
  }
  ProcessingPage& Page() { return Form().ProcessingTab(); }
  QString Path(const char* name) const { return QString::fromStdString((dir / name).string()); }

  // What an experiment leaves: n samples at 0.5 s, MV steps 20 -> 60 at sample 50,
  // U copies MV, Y1 and Y2 respond, columns 2 and 4 copy 1 and 3.
  void RecordExperiment(int n) {
    MeasurementStore& s = Form().Store();
    s.SampleCount = n;
    s.SampleTime = 0.5;
    s.ColumnCount = 6;
    for (int k = 1; k <= n; ++k) {
      s.TimeColumn[k] = (k - 1) * 0.5;
      const double mv = k < 50 ? 20 : 60;
      const double y = k < 52 ? 10 : 10 + 8 * (1 - std::exp(-(k - 52) / 20.0));
      const double col[7] = {0, mv, mv, mv, mv, y, 2 * y};
      for (int c = 1; c <= 6; ++c) s.DataColumns[c][k] = col[c];
    }
    const char* names[7] = {"", "Ventil", "Ventil", "Izhod", "Izhod", "Temperatura", "Tlak"};
    for (int c = 1; c <= 6; ++c) s.ColumnNames[c] = names[c];
    Page().ConditionAfterExperiment();
  }

  std::filesystem::path dir;
};

}  // namespace

TEST_F(ProcessingPageTest, AfterAnExperimentTheChartsShowTheWholeRecord) {
  RecordExperiment(200);
  ProcessingPage& p = Page();
  EXPECT_EQ(p.ScrollBar3->value(), 1);
  EXPECT_EQ(p.ScrollBar4->value(), 200);
  EXPECT_EQ(p.LineSeries6->Count(), 200);
  EXPECT_EQ(p.Series2->Count(), 200);
  EXPECT_EQ(p.LineSeries5->Count(), 200);
  EXPECT_EQ(p.Series2->Points().last(), QPointF(99.5, p.Series2->Points().last().y()));
  EXPECT_EQ(p.Label_MaksMV1->text(), "60");
  EXPECT_EQ(p.Label_MinMV1->text(), "20");
  EXPECT_EQ(p.Label_MVDescription->text(), "Ventil");
  EXPECT_EQ(p.Label22->text(), "Izhod");
  EXPECT_EQ(p.Label20->text(), "Temperatura");
  EXPECT_EQ(p.Label68->text(), "Tlak");
  EXPECT_EQ(p.Edit_Stolpec_U->text(), "3");
  EXPECT_EQ(p.Edit_Stolpec_Y1->text(), "6");
  EXPECT_EQ(p.Label_Ts->text(), "0.5");
  EXPECT_EQ(p.Label_Ns->text(), "200");
  // The left axis stands 10 % beyond the extremes: 20..60 -> 16..64.
  EXPECT_DOUBLE_EQ(p.Chart_MV->LeftAxisMinimum(), 16);
  EXPECT_DOUBLE_EQ(p.Chart_MV->LeftAxisMaximum(), 64);
  EXPECT_TRUE(p.Chart2->isVisibleTo(&p));
  EXPECT_TRUE(p.Label_STDY1->text().toDouble() > 0);
}

TEST_F(ProcessingPageTest, StatisticsShowEightSignificantDigitsInTheSystemSeparator) {
  RecordExperiment(200);
  QLocale::setDefault(QLocale(QLocale::Slovenian, QLocale::Slovenia));
  Page().RedrawSignals();
  const QString std = Page().Label_STDY1->text();
  EXPECT_TRUE(std.contains(',')) << std.toStdString();
  EXPECT_EQ(std.size(), 9) << std.toStdString();  // "3,xxxxxxx": 8 digits and the comma
}

TEST_F(ProcessingPageTest, MovingTheWindowSelectorsRedrawsAndKeepsStartBeforeEnd) {
  RecordExperiment(300);
  ProcessingPage& p = Page();
  p.ScrollBar3->setValue(40);  // as a drag does
  EXPECT_EQ(p.LineSeries6->Count(), 261);
  EXPECT_EQ(p.Label_MinMV1->text(), "20");
  EXPECT_EQ(p.ScrollBar4->minimum(), 50);
  p.ScrollBar4->setValue(45);  // below the end's minimum: held at 50
  EXPECT_EQ(p.ScrollBar4->value(), 50);
  EXPECT_EQ(p.Series1->Count(), 11);
  EXPECT_EQ(p.ScrollBar3->maximum(), 40);
  // Whatever the order of changes, 1 <= start < end <= N.
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    QScrollBar* bar = (random() % 2) ? p.ScrollBar3 : p.ScrollBar4;
    bar->setValue(static_cast<int>(random() % 320) - 10);
    ASSERT_GE(p.ScrollBar3->value(), 1);
    ASSERT_LT(p.ScrollBar3->value() + 9, p.ScrollBar4->value());
    ASSERT_LE(p.ScrollBar4->value(), 300);
  }
  p.SetAnalysisWindowStart(500);
  EXPECT_EQ(p.ScrollBar3->value(), p.ScrollBar4->value() - 10);
}

TEST_F(ProcessingPageTest, BeforeAnyDataTheWindowSelectorsAreConsistent) {
  ProcessingPage& p = Page();
  EXPECT_LT(p.ScrollBar3->value(), p.ScrollBar4->value());
  p.ScrollBar4->setValue(1);
  p.ScrollBar3->setValue(5);
  EXPECT_LT(p.ScrollBar3->value(), p.ScrollBar4->value());
  EXPECT_EQ(p.Edit8->text(), "0");
  EXPECT_EQ(p.Edit_Actuator_Maximum->text(), "100");
  EXPECT_EQ(p.Edit_Actuator_Minimum->text(), "0");
  EXPECT_EQ(p.Edit_Actuator_Velocity->text(), "1");
}

TEST_F(ProcessingPageTest, AConstantSignalIsDrawnTenPercentAroundItsValue) {
  RecordExperiment(100);
  MeasurementStore& s = Form().Store();
  for (int k = 1; k <= 100; ++k) s.DataColumns[5][k] = 5;
  QTest::mouseClick(Page().Button_UporabiFilter, Qt::LeftButton);
  EXPECT_DOUBLE_EQ(Page().Chart_Y->LeftAxisMinimum(), 4.9);
  EXPECT_DOUBLE_EQ(Page().Chart_Y->LeftAxisMaximum(), 5.1);
  EXPECT_EQ(Page().Label_STDY1->text(), "0");
}

TEST_F(ProcessingPageTest, ApplyingTheFilterUsesTheEditsAndTheChosenColumns) {
  RecordExperiment(100);
  ProcessingPage& p = Page();
  p.Edit_Actuator_Maximum->setText("50");
  p.ScrollBar2->setValue(6);  // Y1 from the Tlak column
  EXPECT_EQ(p.Label20->text(), "Tlak");
  EXPECT_EQ(p.Edit_Stolpec_Y->text(), "6");
  QTest::mouseClick(p.Button_UporabiFilter, Qt::LeftButton);
  EXPECT_EQ(p.Label_MaksU1->text(), "50");
  EXPECT_EQ(p.Label_MinY1->text(), "20");
  // A text that is not a number ends the handler with the conversion error.
  p.Edit8->setText("abc");
  QTest::mouseClick(p.Button_UporabiFilter, Qt::LeftButton);
  ASSERT_EQ(ui.Errors.size(), 1);
  EXPECT_EQ(ui.Errors[0], "»abc« ni veljavno število.");
  EXPECT_EQ(p.Label_MaksU1->text(), "50");
  // A typed column number moves its selector.
  p.Edit8->setText("0");
  p.Edit_Stolpec_U->setText("1");
  emit p.Edit_Stolpec_U->editingFinished();
  EXPECT_EQ(p.ScrollBar1->value(), 1);
  EXPECT_EQ(p.Label22->text(), "Ventil");
}

TEST_F(ProcessingPageTest, RightClickShowsTheHistogramAndDoubleClickTheLargeView) {
  RecordExperiment(200);
  ProcessingPage& p = Page();
  Form().show();
  QTest::mousePress(p.Chart_U->viewport(), Qt::RightButton, {}, QPoint(50, 50));
  TForm_Histogram& h = *windows.Histogram;
  EXPECT_TRUE(h.isVisible());
  EXPECT_EQ(h.Chart1->Title(), "Histogram izhoda regulatorja");
  EXPECT_EQ(h.Chart1->BarCount(), 20);
  EXPECT_EQ(Form().Store().HistogramCounts[1] + Form().Store().HistogramCounts[20], 200);
  h.close();
  QTest::mousePress(p.Chart_Y->viewport(), Qt::RightButton, {}, QPoint(50, 50));
  EXPECT_TRUE(h.isVisible());
  EXPECT_EQ(h.Chart1->Title(), "Histogram meritve 1");

  QTest::mouseDClick(p.Chart2->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
  TForm_Obdelava_Large& large = *windows.ObdelavaLarge;
  EXPECT_TRUE(large.isVisible());
  EXPECT_EQ(large.Chart1->Title(), "Meritev 2");
  EXPECT_EQ(large.Series1->Count(), 200);
  const auto& y2 = Form().Store().Y2Conditioned;
  const double mx = *std::max_element(&y2[1], &y2[201]), mn = *std::min_element(&y2[1], &y2[201]);
  EXPECT_DOUBLE_EQ(large.Chart1->LeftAxisMinimum(), mn - 0.1 * (mx - mn));
  EXPECT_DOUBLE_EQ(large.Chart1->LeftAxisMaximum(), mx + 0.1 * (mx - mn));
  h.close();
  large.close();
}

TEST_F(ProcessingPageTest, SaveThenLoadRestoresWindowConditioningAndDescriptions) {
  RecordExperiment(300);
  ProcessingPage& p = Page();
  p.Edit8->setText("1.5");
  p.Edit_Actuator_Maximum->setText("80");
  p.Edit_Actuator_Minimum->setText("10");
  p.Edit_Actuator_Velocity->setText("12.5");
  QTest::mouseClick(p.Button_UporabiFilter, Qt::LeftButton);
  p.ScrollBar3->setValue(30);
  p.ScrollBar4->setValue(250);
  ui.QueueFileAnswer(Path("run.vtd"));
  QTest::mouseClick(p.Button_ShraniVDatoteko, Qt::LeftButton);
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join(' ').toStdString();
  EXPECT_EQ(ui.ShownDialogs.back().Filter,
            "Measured Data (*.vtd)|*.vtd|Data files (*.txt, *.dat)|*.txt; *.dat|All files|*.*");
  EXPECT_EQ(ui.ShownDialogs.back().DefaultExtension, "vtd");
  const QString maxY1 = p.Label_MaksY1->text();

  // Another record in between, then the file back.
  RecordExperiment(50);
  ui.QueueFileAnswer(Path("run.vtd"));
  QTest::mouseClick(p.Button_NaloziIzDatoteke, Qt::LeftButton);
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join(' ').toStdString();
  EXPECT_EQ(p.ScrollBar3->value(), 30);
  EXPECT_EQ(p.ScrollBar4->value(), 250);
  EXPECT_EQ(p.Edit8->text(), "1.5");
  EXPECT_EQ(p.Edit_Actuator_Maximum->text(), "80");
  EXPECT_EQ(p.Edit_Actuator_Minimum->text(), "10");
  EXPECT_EQ(p.Edit_Actuator_Velocity->text(), "12.5");
  EXPECT_EQ(p.Label_MVDescription->text(), "Ventil");
  EXPECT_EQ(p.Label20->text(), "Temperatura");
  EXPECT_EQ(p.Label68->text(), "Tlak");
  EXPECT_EQ(p.Label_Ns->text(), "300");
  EXPECT_EQ(p.Label_Ime->text(), Path("run.vtd"));
  EXPECT_EQ(p.Label_MaksY1->text(), maxY1);
  EXPECT_EQ(p.LineSeries5->Count(), 221);
}

TEST_F(ProcessingPageTest, ALoggerFileWithFewerThanSixColumnsHidesTheY2Chart) {
  RecordExperiment(100);
  std::vector<std::string> lines{"07.12.2026;", "", "A;B;C;D;", "", ""};
  for (int i = 0; i < 40; ++i)
    lines.push_back("10:00:" + std::to_string(10 + i) + ";1" + std::to_string(i) + ";20;30;40;");
  WriteTextLines((dir / "log.txt").string(), lines);
  ui.QueueFileAnswer(Path("log.txt"));
  ProcessingPage& p = Page();
  QTest::mouseClick(p.Button_NaloziIzDatoteke, Qt::LeftButton);
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join(' ').toStdString();
  EXPECT_FALSE(p.Chart2->isVisibleTo(&p));
  EXPECT_EQ(p.Label68->text(), "");
  EXPECT_EQ(p.ScrollBar5->maximum(), 4);
  EXPECT_EQ(p.ScrollBar5->value(), 4);
  EXPECT_EQ(p.Edit_Stolpec_Y1->text(), "4");
  EXPECT_EQ(p.Label_Ts->text(), "1");
  EXPECT_EQ(p.Label_Ns->text(), "39");
  EXPECT_EQ(p.Label_Datum->text(), "07.12.2026");
  EXPECT_EQ(p.Label_Ura->text(), "10:00:10");
  EXPECT_EQ(p.Edit_Actuator_Velocity->text(), "100");
  EXPECT_EQ(p.Label_MVDescription->text(), "A");
  // The next experiment brings the Y2 chart back.
  RecordExperiment(100);
  EXPECT_TRUE(p.Chart2->isVisibleTo(&p));
}

// After a longer record a file of one sample must not show a window reaching into the
// old record's second sample: the window is 1..1, maximum and minimum 0.
TEST_F(ProcessingPageTest, AOneSampleFileGetsTheWindowOfThatSample) {
  RecordExperiment(100);
  WriteTextLines((dir / "one.vtd").string(),
                 {"VORTuner Mesurements", "V1.0", "7.12.2026", "10:00:00", "1", "1", "1", "2", "0",
                  "100", "0", "1", "MV", "MV", "U", "U", "Y1", "Y2", "0\t42\t42\t43\t43\t44\t45"});
  ui.QueueFileAnswer(Path("one.vtd"));
  ProcessingPage& p = Page();
  QTest::mouseClick(p.Button_NaloziIzDatoteke, Qt::LeftButton);
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join(' ').toStdString();
  EXPECT_EQ(p.ScrollBar3->value(), 1);
  EXPECT_EQ(p.ScrollBar4->value(), 1);
  EXPECT_EQ(p.ScrollBar4->maximum(), 1);
  EXPECT_EQ(p.LineSeries6->Count(), 1);
  EXPECT_EQ(p.Label_MaksMV1->text(), "0");
  EXPECT_EQ(p.Label_MinMV1->text(), "0");
}

TEST_F(ProcessingPageTest, ABadFileShowsTheErrorAndKeepsTheRecordOnTheCharts) {
  RecordExperiment(120);
  WriteTextLines((dir / "bad.vtd").string(),
                 {"VORTuner Mesurements", "V1.0", "d", "t", "x", "3"});
  ui.QueueFileAnswer(Path("bad.vtd"));
  QTest::mouseClick(Page().Button_NaloziIzDatoteke, Qt::LeftButton);
  ASSERT_EQ(ui.Errors.size(), 1);
  EXPECT_EQ(Form().Store().SampleCount, 120);
  EXPECT_EQ(Page().LineSeries6->Count(), 120);
  // A cancelled dialog changes nothing.
  ui.QueueFileAnswer(QString());
  QTest::mouseClick(Page().Button_NaloziIzDatoteke, Qt::LeftButton);
  EXPECT_EQ(ui.Errors.size(), 1);
  EXPECT_EQ(Form().Store().SampleCount, 120);
}

TEST_F(ProcessingPageTest, AFileSavedUnderADecimalCommaLoadsUnderADecimalPoint) {
  QLocale::setDefault(QLocale(QLocale::Slovenian, QLocale::Slovenia));
  RecordExperiment(120);
  ProcessingPage& p = Page();
  p.Edit8->setText("0,75");
  p.Edit_Actuator_Velocity->setText("2,5");
  QTest::mouseClick(p.Button_UporabiFilter, Qt::LeftButton);
  const QString stdU = p.Label_STDU1->text();
  EXPECT_EQ(p.Label_Ts->text(), "0,5");
  ui.QueueFileAnswer(Path("comma.vtd"));
  QTest::mouseClick(p.Button_ShraniVDatoteko, Qt::LeftButton);
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join(' ').toStdString();
  EXPECT_EQ(ReadTextLines((dir / "comma.vtd").string())[4], "0,5");

  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  ui.QueueFileAnswer(Path("comma.vtd"));
  QTest::mouseClick(p.Button_NaloziIzDatoteke, Qt::LeftButton);
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join(' ').toStdString();
  EXPECT_EQ(p.Label_Ts->text(), "0.5");
  EXPECT_EQ(p.Edit8->text(), "0.75");
  EXPECT_EQ(p.Edit_Actuator_Velocity->text(), "2.5");
  QString expected = stdU;
  EXPECT_EQ(p.Label_STDU1->text(), expected.replace(',', '.'));
}

TEST_F(ProcessingPageTest, SavingWritesTheChosenColumnsWithMVAndUTwice) {
  RecordExperiment(20);
  MeasurementStore& s = Form().Store();
  for (int c = 1; c <= 6; ++c) s.DataColumns[c][1] = c * 1.5;
  ProcessingPage& p = Page();
  p.ScrollBar_MV->setValue(2);
  p.ScrollBar1->setValue(4);
  ui.QueueFileAnswer(Path("cols.vtd"));
  QTest::mouseClick(p.Button_ShraniVDatoteko, Qt::LeftButton);
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join(' ').toStdString();
  const std::vector<std::string> lines = ReadTextLines((dir / "cols.vtd").string());
  ASSERT_EQ(lines.size(), 38u);
  EXPECT_EQ(lines[18], "0\t3\t3\t6\t6\t7.5\t9");
  EXPECT_EQ(lines[12], "Ventil");  // column 2's description, twice
  EXPECT_EQ(lines[14], "Izhod");
}

TEST_F(ProcessingPageTest, SavingWithoutARecordSaysSoAndShowsNoDialog) {
  QTest::mouseClick(Page().Button_ShraniVDatoteko, Qt::LeftButton);
  EXPECT_TRUE(ui.ShownDialogs.empty());
  ASSERT_EQ(ui.Messages.size(), 1);
  EXPECT_EQ(ui.Messages[0], "Ni podatkov za shranjevanje.");
}
