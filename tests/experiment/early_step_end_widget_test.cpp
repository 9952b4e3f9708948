// "Končaj stopnico, ko se odziv umiri" on the "Eksperiment" tab, and the experiment window's
// forecast against the envelope: shown as it comes, and the automatic step ended before the
// crossing on a plant whose process runs away.
#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "FakePlant.h"
#include "experiment/SettingsFile.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/LiveModelPanel.h"
#include "experiment/ui/TEksperiment.h"
#include "support/AppFixture.h"

namespace {

class EarlyEndWindow : public AppFixture {
 protected:
  void SetUp() override {
    auto fake = std::make_unique<FakePlant>();
    plant = fake.get();
    opc = std::move(fake);
    windows = CreateApplicationWindows(*opc, clock);
    plant->connected = true;
    QLocale::setDefault(QLocale(QLocale::Slovenian, QLocale::Slovenia));  // decimal comma
  }
  void TearDown() override {
    WaitForJobs();
    QLocale::setDefault(QLocale::c());
  }
  ExperimentPage& Page() { return Form().ExperimentTab(); }
  FakePlant* plant = nullptr;
};

}  // namespace

TEST_F(EarlyEndWindow, TheOptionGoesWithTheAutomaticStepsAndFollowsTheFile) {
  QCheckBox* box = Page().findChild<QCheckBox*>("CheckBox_KoncajObUmiritvi");
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text(), QString::fromUtf8("Končaj stopnico, ko se odziv umiri"));
  EXPECT_FALSE(box->isChecked());
  EXPECT_TRUE(box->isEnabled());
  Page().RadioRocno->setChecked(true);
  EXPECT_FALSE(box->isEnabled()) << "a manual run has no sequence to shorten";
  Page().RadioAvtomatsko->setChecked(true);
  EXPECT_TRUE(box->isEnabled());
  Page().CheckBox_NePisi->setChecked(true);
  EXPECT_FALSE(box->isEnabled()) << "recording only steps nothing";
  Page().CheckBox_NePisi->setChecked(false);

  ExperimentSettings s = Page().SettingsFromControls();
  s.EndStepWhenSettled = true;
  Page().LoadSettingsFromList(SettingsLines(s));
  EXPECT_TRUE(box->isChecked());
  EXPECT_TRUE(Page().SettingsFromControls().EndStepWhenSettled);
  // A file from before the option: off.
  std::vector<std::string> older = SettingsLines(s);
  older.resize(SettingsLine::EndStepWhenSettled);
  Page().LoadSettingsFromList(older);
  EXPECT_FALSE(box->isChecked());
}

// The runaway process (Y1 climbs at 0.1 per s for each % of MV above 40) stepped from MV 40
// to 50 after 10 s: the window says where Y1 is heading once the model can tell, and the
// step ends there, long before Y1 reaches 85; the engineer is told why.
TEST_F(EarlyEndWindow, TheForecastIsShownAndTheStepEndsBeforeTheCrossing) {
  TEksperiment& w = *windows.Eksperiment;
  ExperimentSetup& setup = w.Run().Setup;
  setup.ItemMV = plant->NewItem("MV");
  setup.ItemY1 = plant->NewItem("Y1");
  setup.InitialInput = 40;
  setup.WaitTime = 10;
  setup.StepSize = 10;
  setup.StepDuration = 120;
  setup.Separator = ',';
  setup.Envelope.Y1Max = 85;
  setup.EndStepWhenSettled = true;
  plant->items["MV"]->value = 40;
  plant->items["Y1"]->value = 50;
  Page().RadioAvtomatsko->setChecked(true);
  w.Run().PrepareAutomaticPhases();
  const char* shots = std::getenv("VORTUNER_SCREENSHOT_DIR");
  if (shots)
    w.show();  // shown on a screen: the run begins as the window shows
  else
    w.FormShow();
  w.Timer1->stop();
  LiveModelPanel& p = *w.LiveModelView;
  EXPECT_EQ(p.Label_Live_Forecast->text(), "");
  QString forecast;
  bool shot = false;
  for (int k = 0; k < 60 && w.Run().Running(); ++k) {
    plant->items["Y1"]->value += 0.1 * (plant->items["MV"]->value - 40);
    w.Timer1Timer();
    if (forecast.isEmpty()) forecast = p.Label_Live_Forecast->text();
    WaitForJobs();
    Pass();
    if (forecast.isEmpty()) forecast = p.Label_Live_Forecast->text();
    if (!forecast.isEmpty() && !shot && shots) {
      shot = true;
      QTest::qWait(300);
      w.grab().save(QString::fromLocal8Bit(shots) + "/experiment-forecast.png");
    }
  }
  EXPECT_TRUE(
      QRegularExpression(QString::fromUtf8("^Y1 bo po napovedi dosegel mejo 85,0 čez ≈ [0-9]+ s$"))
          .match(forecast)
          .hasMatch())
      << forecast.toStdString();
  Settle(Form());
  EXPECT_FALSE(w.Run().Running());
  ASSERT_EQ(w.Run().Findings.EarlyEnds.size(), 1u);
  EXPECT_FALSE(w.Run().Findings.Trip);
  EXPECT_LT(plant->items["Y1"]->value, 85 - 10);
  EXPECT_EQ(plant->items["MV"]->value, 40) << "MV back where the run began";
  ASSERT_FALSE(ui.Notices.isEmpty());
  EXPECT_TRUE(
      ui.Notices.last().startsWith(QString::fromUtf8("Stopnica 1 je končana predčasno pri ")))
      << ui.Notices.last().toStdString();
  EXPECT_TRUE(p.Label_Live_Step->text().contains(QString::fromUtf8("ker bi Y1 po napovedi")))
      << p.Label_Live_Step->text().toStdString();
}
