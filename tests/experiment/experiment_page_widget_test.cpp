#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <map>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QtTest/QTest>

#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TForm_SamodNastav.h"
#include "support/AppFixture.h"

namespace {

class Panel : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  }
  ExperimentPage& Page() { return Form().ExperimentTab(); }
  void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
  }
  // Every control the mode rules touch, by name, with its enabled state.
  std::map<QString, bool> States() {
    std::map<QString, bool> out;
    for (const char* name :
         {"CheckBox_Zaprtozancni", "CheckBox_ZZPoPoizkusu", "OhraniZacetniVhod", "Label4", "ZacetniVhodEdit",
          "Label5", "CasCakanjaEdit", "Label6", "VelikostStopniceEdit", "Label7", "CasStopniceEdit", "Label8",
          "SteviloStopnicEdit", "CheckBox_ObeSmeri", "Label3", "CajtZacetka", "DateTimePicker1", "Button10"})
      out[QString::fromLatin1(name)] = Find<QWidget>(name)->isEnabled();
    return out;
  }
  static std::map<QString, bool> AllExcept(std::initializer_list<const char*> disabled,
                                           const std::map<QString, bool>& like) {
    std::map<QString, bool> out = like;
    for (auto& [name, on] : out) on = true;
    for (const char* name : disabled) out[QString::fromLatin1(name)] = false;
    return out;
  }
};

}  // namespace

TEST_F(Panel, StartsInAutomaticModeWithItsDefaultsAndEverythingEnabled) {
  EXPECT_FALSE(Page().RadioRocno->isChecked());
  EXPECT_TRUE(Page().RadioAvtomatsko->isChecked());
  EXPECT_EQ(Page().RadioRocno->text(), "Ročno voden poizkus");
  EXPECT_EQ(Page().CasVzorcenjaEdit->text(), "1");
  EXPECT_FALSE(Page().CheckBox_NePisi->isChecked());
  EXPECT_FALSE(Page().CheckBox_Zaprtozancni->isChecked());
  EXPECT_TRUE(Page().CheckBox_ZZPoPoizkusu->isChecked());
  EXPECT_FALSE(Page().OhraniZacetniVhod->isChecked());
  EXPECT_EQ(Page().ZacetniVhodEdit->text(), "0");
  EXPECT_EQ(Page().CasCakanjaEdit->text(), "0");
  EXPECT_EQ(Page().VelikostStopniceEdit->text(), "0");
  EXPECT_EQ(Page().CasStopniceEdit->text(), "0");
  EXPECT_EQ(Page().SteviloStopnicEdit->text(), "1");
  EXPECT_FALSE(Page().CheckBox_ObeSmeri->isChecked());
  EXPECT_EQ(Page().CajtZacetka->text(), "12:00:00");
  EXPECT_EQ(Page().DateTimePicker1->date(), QDate::currentDate());
  EXPECT_EQ(Page().Edit_MVMax->text(), "100");
  EXPECT_EQ(Page().Edit_MVMin->text(), "0");
  EXPECT_EQ(Page().Edit_MVStep->text(), "1");
  EXPECT_FALSE(Page().CheckBox_Sekvencer->isChecked());
  QTableWidget* grid = Page().StringGrid_Sekvencer;
  EXPECT_EQ(grid->rowCount(), 10);
  EXPECT_EQ(grid->columnCount(), 2);
  EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "Vhod");
  EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), "Izhod");
  EXPECT_EQ(Page().ShraniNastavitve->text(), "Shrani nastavitve");
  EXPECT_EQ(Page().NaloziNastavitve->text(), "Naloži nastavitve");
  EXPECT_EQ(Page().Button10->text(), "Ostale nastavitve samodejnega poizkusa");
  EXPECT_EQ(Page().AktivirajEksperiment->text(), "Aktiviraj eksperiment");
  EXPECT_TRUE(Page().SeznamCakajocihEkspCas->isReadOnly());
  const auto states = States();
  EXPECT_EQ(states, AllExcept({}, states));
}

TEST_F(Panel, ManualModeDisablesTheAutomaticParametersAndAutomaticEnablesThemAgain) {
  const auto all = States();
  Click(Page().RadioRocno);
  ASSERT_TRUE(Page().RadioRocno->isChecked());
  EXPECT_EQ(States(), AllExcept({"Label5", "CasCakanjaEdit", "Label6", "VelikostStopniceEdit", "Label7",
                                 "CasStopniceEdit", "Label8", "SteviloStopnicEdit", "CheckBox_ObeSmeri",
                                 "Label3", "CajtZacetka", "DateTimePicker1", "Button10"},
                                all));
  Click(Page().RadioAvtomatsko);
  EXPECT_EQ(States(), all);
}

TEST_F(Panel, RecordOnlyLeavesWaitingTimeStepDurationAndStartTimeEditable) {
  const auto all = States();
  Click(Page().CheckBox_NePisi);
  ASSERT_TRUE(Page().CheckBox_NePisi->isChecked());
  const auto recordOnly =
      AllExcept({"CheckBox_Zaprtozancni", "CheckBox_ZZPoPoizkusu", "OhraniZacetniVhod", "Label4",
                 "ZacetniVhodEdit", "Label6", "VelikostStopniceEdit", "Label8", "SteviloStopnicEdit",
                 "CheckBox_ObeSmeri"},
                all);
  EXPECT_EQ(States(), recordOnly);
  // A mode click keeps the record-only rule.
  Click(Page().RadioRocno);
  Click(Page().RadioAvtomatsko);
  EXPECT_EQ(States(), recordOnly);
  Click(Page().CheckBox_NePisi);
  EXPECT_EQ(States(), all);
}

TEST_F(Panel, UncheckingRecordOnlyInManualModeRestoresTheManualRules) {
  Click(Page().RadioRocno);
  const auto manual = States();
  Click(Page().CheckBox_NePisi);
  EXPECT_FALSE(Page().CheckBox_Zaprtozancni->isEnabled());
  EXPECT_FALSE(Page().CasCakanjaEdit->isEnabled());
  Click(Page().CheckBox_NePisi);
  EXPECT_EQ(States(), manual);
}

TEST_F(Panel, KeepInitialInputDisablesTheInitialInputUntilAModeButtonRuns) {
  Click(Page().OhraniZacetniVhod);
  EXPECT_FALSE(Page().ZacetniVhodEdit->isEnabled());
  EXPECT_FALSE(Page().Label4->isEnabled());
  Click(Page().RadioRocno);
  EXPECT_TRUE(Page().ZacetniVhodEdit->isEnabled());
  EXPECT_TRUE(Page().OhraniZacetniVhod->isChecked());
  Click(Page().OhraniZacetniVhod);
  Click(Page().OhraniZacetniVhod);
  EXPECT_FALSE(Page().ZacetniVhodEdit->isEnabled());
}

TEST_F(Panel, SettingTheBoxesFromCodeRunsTheSameRules) {
  Page().RadioRocno->setChecked(true);
  EXPECT_FALSE(Page().CasCakanjaEdit->isEnabled());
  Page().CheckBox_NePisi->setChecked(true);
  EXPECT_FALSE(Page().CheckBox_Zaprtozancni->isEnabled());
  Page().RadioAvtomatsko->setChecked(true);
  EXPECT_TRUE(Page().CasCakanjaEdit->isEnabled());
  EXPECT_FALSE(Page().VelikostStopniceEdit->isEnabled());
}

TEST_F(Panel, TheDialogButtonShowsTheDialogWithoutBlocking) {
  Click(Page().Button10);
  EXPECT_TRUE(windows.SamodNastav->isVisible());
  EXPECT_FALSE(windows.SamodNastav->isModal());
}

TEST_F(Panel, SetCurrentTimePutsNowPlus864SecondsIntoTheStartTime) {
  QDateTime base = QDateTime::currentDateTime();
  base.setTime(QTime(9, 59, 55));
  clock.SetNow(std::chrono::system_clock::time_point(std::chrono::milliseconds(base.toMSecsSinceEpoch())));
  Click(Page().Button1);
  EXPECT_EQ(Page().CajtZacetka->text(), "10:00:03");
}
