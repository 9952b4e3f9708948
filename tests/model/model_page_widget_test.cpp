#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <algorithm>

#include "charts/VorChart.h"
#include "data/TextFile.h"
#include "data/ui/ProcessingPage.h"
#include "model/IntegratingTestData.h"
#include "model/ModelTestData.h"
#include "model/ui/ModelPage.h"
#include "support/AppFixture.h"
#include "tuning/ui/RegulatorPage.h"

namespace {

class ModelTab : public AppFixture, public ::testing::WithParamInterface<QLocale::Language> {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(GetParam()));
    AppFixture::SetUp();
  }
  void TearDown() override {
    WaitForJobs();
    QLocale::setDefault(QLocale::c());
  }

  ModelPage& Page() { return Form().ModelTab(); }
  QString Num(const char* pointText) {  // "2.000" in the locale's separator
    return QString::fromLatin1(pointText).replace('.', QLocale().decimalPoint());
  }

  // The worked example's record in the store as an experiment leaves it (window 1..200),
  // identified by the "Izračun modela" button of the "Obdelava" tab.
  void IdentifyWorkedExample() {
    auto record = modeltest::MakeStore({});
    Form().Store() = *record;
    Form().ProcessingTab().ConditionAfterExperiment();
    ASSERT_EQ(Form().ProcessingTab().ScrollBar4->value(), 200);
    QTest::mouseClick(Form().ProcessingTab().Button_IzracunModela, Qt::LeftButton);
    ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("\n").toStdString();
  }
  bool Visible(QLabel* image) { return !image->isHidden(); }
};

}  // namespace

TEST_P(ModelTab, IdentificationShowsTheModelItsClassAndTheChart) {
  IdentifyWorkedExample();
  EXPECT_EQ(Form().PageControl1->currentIndex(), 3);
  // K = 1.99526, T = 19.3832, L = 6 s, r = 0.011574
  EXPECT_EQ(Page().Edit_Gain->text(), Num("1.995"));
  EXPECT_EQ(Page().Edit_Delay->text(), Num("6.0"));
  EXPECT_EQ(Page().Edit_Time->text(), Num("19.38"));
  EXPECT_EQ(Page().Label_Rel_Pogresek->text(), Num("0.01157"));
  EXPECT_EQ(Page().Label_Kvaliteta->text(), "Dobra");
  EXPECT_TRUE(Visible(Page().Image_Quality_Yellow));
  EXPECT_FALSE(Visible(Page().Image_Quality_Green));
  EXPECT_FALSE(Visible(Page().Image_Quality_Orange));
  EXPECT_FALSE(Visible(Page().Image_Quality_Red));
  EXPECT_EQ(Page().Chart_Model->SeriesAt(0).Count(), 200);
  EXPECT_EQ(Page().Chart_Model->SeriesAt(1).Count(), 200);
  EXPECT_EQ(Page().Chart_Model->Title(), QString::fromUtf8("Odprtozančni odziv procesa"));
  // No outer measurement: the outer model is zero, so the sampling is "too sparse" for it.
  EXPECT_EQ(Form().StatusText(), QString::fromUtf8("Opozorilo: Vzorčenje je preredko"));
}

TEST_P(ModelTab, ADriftBeforeTheStepIsNamedInTheStatusBar) {
  auto record = modeltest::MakeStore({});
  for (int k = 1; k <= 200; ++k) record->DataColumns[5][k] += 0.03 * std::min(k, 19);
  Form().Store() = *record;
  Form().ProcessingTab().ConditionAfterExperiment();
  QTest::mouseClick(Form().ProcessingTab().Button_IzracunModela, Qt::LeftButton);
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("\n").toStdString();
  EXPECT_TRUE(Form().StatusText().startsWith(
      QString::fromUtf8("Opozorilo: Y1 se je pred skokom MV spreminjal (") + Num("0.066") + " → "))
      << Form().StatusText().toStdString();
}

TEST_P(ModelTab, OuterSwitchShowsFiveDecimalsThereAndFourBackOnTheInnerModel) {
  IdentifyWorkedExample();
  const QString innerStd = Page().Label_STD->text();
  Page().CheckBox_Model_Outer->setChecked(true);
  EXPECT_EQ(Page().Edit_Gain->text(), Num("0.000"));
  EXPECT_EQ(Page().Label_Rel_Pogresek->text(), Num("1.00000"));
  EXPECT_EQ(Page().Label_Kvaliteta->text(), "Slaba");
  EXPECT_TRUE(Visible(Page().Image_Quality_Red));
  Page().CheckBox_Model_Outer->setChecked(false);
  EXPECT_EQ(Page().Label_STD->text().size(), innerStd.size() - 1);
  EXPECT_EQ(Page().Label_Kvaliteta->text(), "Dobra");
  EXPECT_EQ(Page().Chart_Model->SeriesAt(1).Points()[199].y(),
            Form().Store().InnerModelResponse[200]);
}

TEST_P(ModelTab, ApplyUsesTheValuesAsShownInTheEdits) {
  IdentifyWorkedExample();
  const double shownGain = QLocale().toDouble(Page().Edit_Gain->text());
  const double shownTime = QLocale().toDouble(Page().Edit_Time->text());
  QTest::mouseClick(Page().Button_Uporabi_Model, Qt::LeftButton);
  const MeasurementStore& s = Form().Store();
  EXPECT_EQ(s.InnerGain, shownGain);
  EXPECT_EQ(s.InnerTimeConstant, shownTime);
  EXPECT_EQ(s.InnerDeadTime, 6.0);
  EXPECT_EQ(Page().Label_Rel_Pogresek->text().size(), 6);  // four decimals
  // A model far off the measurement falls into the worst class.
  Page().Edit_Gain->setText(Num("0.5"));
  QTest::mouseClick(Page().Button_Uporabi_Model, Qt::LeftButton);
  EXPECT_EQ(Page().Label_Kvaliteta->text(), "Slaba");
  EXPECT_TRUE(Visible(Page().Image_Quality_Red));
  EXPECT_FALSE(Visible(Page().Image_Quality_Yellow));
  Page().Edit_Gain->setText("abc");
  QTest::mouseClick(Page().Button_Uporabi_Model, Qt::LeftButton);
  ASSERT_EQ(ui.Errors.size(), 1);
  EXPECT_EQ(ui.Errors[0], "»abc« ni veljavno število.");
}

TEST_P(ModelTab, SaveAndLoadThroughTheDialogsRestoreTheModel) {
  IdentifyWorkedExample();
  QTemporaryDir dir;
  const QString path = dir.filePath("model.vtm");
  ui.QueueFileAnswer(path);
  QTest::mouseClick(Page().Button_Shrani_Model, Qt::LeftButton);
  ASSERT_EQ(ui.ShownDialogs.size(), 1u);
  EXPECT_EQ(ui.ShownDialogs[0].Filter, "Vor Tuner Model (*.vtm)|*.vtm|All files (*.*)|*.*");
  EXPECT_EQ(ui.ShownDialogs[0].DefaultExtension, "vtm");
  const MeasurementStore saved = Form().Store();
  Form().Store() = MeasurementStore{};
  Page().Edit_Gain->clear();
  ui.QueueFileAnswer(QString());  // a cancelled dialog changes nothing
  QTest::mouseClick(Page().Button_Nalozi_Model, Qt::LeftButton);
  EXPECT_EQ(Form().Store().ModelWindowSamples, 0);
  ui.QueueFileAnswer(path);
  QTest::mouseClick(Page().Button_Nalozi_Model, Qt::LeftButton);
  EXPECT_EQ(ui.ShownDialogs.back().Filter, "Vor Tuner Models (*.vtm)|*.vtm|All files|*.*");
  EXPECT_TRUE(ui.Errors.isEmpty());
  EXPECT_EQ(Form().Store().ModelWindowSamples, 200);
  EXPECT_NEAR(Form().Store().InnerGain, saved.InnerGain, 1e-12);
  EXPECT_EQ(Form().Store().InnerDelaySamples, 6);
  EXPECT_EQ(Page().Edit_Gain->text(), Num("1.995"));
  EXPECT_EQ(Page().Label_Kvaliteta->text(), "Dobra");
  EXPECT_EQ(Page().Chart_Model->SeriesAt(0).Count(), 200);

  // A bad data line shows the error box and leaves the model as it was.
  auto lines = ReadTextLines(path.toStdString());
  lines[40] = "1\t2\t3\tx\t5\t6\t7";
  WriteTextLines(path.toStdString(), lines);
  ui.QueueFileAnswer(path);
  QTest::mouseClick(Page().Button_Nalozi_Model, Qt::LeftButton);
  ASSERT_EQ(ui.Errors.size(), 1);
  EXPECT_EQ(ui.Errors[0], "»x« ni veljavno število.");
  EXPECT_EQ(Form().Store().ModelWindowSamples, 200);
}

// A tank level: the program shows the integrating model and says why; "Vrsta procesa"
// switches to the first-order fit and back; "Izračun PID parametrov" then proposes the
// SIMC rule with the six first-order rules disabled.
TEST_P(ModelTab, LevelRecordShowsTheIntegratingModelAndTheKindCanBeOverridden) {
  modeltest::LevelRecord level;
  auto record = modeltest::MakeLevelStore(level);
  Form().Store() = *record;
  Form().ProcessingTab().ConditionAfterExperiment();
  QTest::mouseClick(Form().ProcessingTab().Button_IzracunModela, Qt::LeftButton);
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("\n").toStdString();
  EXPECT_EQ(Page().ComboBox_VrstaProcesa->currentText(), "integrirni");
  EXPECT_EQ(Page().Edit_Gain->text(), Num("0.02"));
  EXPECT_EQ(Page().Edit_Delay->text(), Num("8.0"));
  EXPECT_EQ(Page().Label_Kvaliteta->text(), "Zelo dobra");
  EXPECT_TRUE(Page().Label_VrstaRazlog->text().contains(QString::fromUtf8("pet dolžin okna")));
  Page().ComboBox_VrstaProcesa->setCurrentIndex(0);
  Page().ComboBox_VrstaProcesaChange();
  EXPECT_EQ(Form().Store().InnerKind, ProcessKind::SelfRegulating);
  EXPECT_NE(Page().Edit_Gain->text(), Num("0.02"));
  EXPECT_TRUE(Page().Label_VrstaRazlog->text().contains("uporabnik"));
  Page().ComboBox_VrstaProcesa->setCurrentIndex(1);
  Page().ComboBox_VrstaProcesaChange();
  QTest::mouseClick(Page().Button_PID, Qt::LeftButton);
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("\n").toStdString();
  RegulatorPage& r = Form().RegulatorTab();
  EXPECT_EQ(r.ComboBox1->currentText(), "SIMC - integrirni proces");
  auto* items = qobject_cast<QStandardItemModel*>(r.ComboBox1->model());
  EXPECT_FALSE(items->item(0)->isEnabled());
  EXPECT_TRUE(items->item(0)->text().endsWith("(ni za integrirni proces)"));
  EXPECT_EQ(r.Label_PI_Kp->text(), Num("3.125"));  // 1/(k'(tauC + L)), tauC = L = 8 s
  EXPECT_TRUE(r.ScrollBar_Robust->toolTip().contains(QString::fromUtf8("τc = 8 s")));
}

INSTANTIATE_TEST_SUITE_P(PointAndComma, ModelTab,
                         ::testing::Values(QLocale::English, QLocale::Slovenian));
