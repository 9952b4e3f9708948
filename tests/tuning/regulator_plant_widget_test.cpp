// "Naloži v regulator" against the built-in simulated plant server: the shown parameters
// reach the plant's controller (in cascade the outer one), are read back, and then control
// the plant.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <cmath>
#include <map>

#include "opc/LocalOpcClient.h"
#include "opc/SimulatedPlantServer.h"
#include "opc/ui/OpcPage.h"
#include "support/AppFixture.h"
#include "tuning/ui/RegulatorPage.h"

namespace {
class RegulatorOnPlant : public AppFixture {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    opc = CreateLocalOpcClient(clock);
    windows = CreateApplicationWindows(*opc, clock);
  }
  void TearDown() override {
    WaitForJobs();
    QLocale::setDefault(QLocale::system());
  }
  void SetItem(int row, const char* id) {
    Form().OpcTab().OPCTabela->item(row, 0)->setText(QString::fromLatin1(id));
  }
  double Plant(const char* id) {
    if (!checkGroup) checkGroup = &opc->AddGroup("PlantCheck");
    checkGroup->SetUpdateRateMs(0);
    return checkGroup->AddItem(id)->Value();
  }
  OpcGroup* checkGroup = nullptr;
};
}  // namespace

TEST_F(RegulatorOnPlant, APiControllerIsWrittenWithZeroDAndThenControlsThePlant) {
  QTest::mouseClick(Form().OpcTab().PoveziOPCStreznik, Qt::LeftButton);
  ASSERT_TRUE(opc->IsConnected());
  SetItem(7, SimulatedPlantItems::P);
  SetItem(8, SimulatedPlantItems::I);
  SetItem(9, SimulatedPlantItems::D);

  // The plant's own inner process as the model, tuned for set-point changes.
  MeasurementStore& store = Form().Store();
  store.InnerGain = 0.8, store.InnerTimeConstant = 20, store.InnerDeadTime = 5;
  store.SampleTime = 0.1;
  RegulatorPage& page = Form().RegulatorTab();
  page.Button_PIDClick();
  const QString kp = page.Edit_Reg_Kp->text(), ki = page.Edit_Reg_Ki->text();
  ASSERT_EQ(page.Edit_Reg_Kd->text(), "");
  QTest::mouseClick(page.Button16, Qt::LeftButton);
  AppFixture::Settle(Form());
  ASSERT_TRUE(ui.Messages.isEmpty()) << ui.Messages.join("|").toStdString();
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("|").toStdString();

  OpcGroup& check = opc->AddGroup("Check");
  check.SetUpdateRateMs(0);
  OpcItemPtr p = check.AddItem(SimulatedPlantItems::P);
  OpcItemPtr i = check.AddItem(SimulatedPlantItems::I);
  OpcItemPtr d = check.AddItem(SimulatedPlantItems::D);
  EXPECT_DOUBLE_EQ(p->Value(), kp.toDouble());
  EXPECT_DOUBLE_EQ(i->Value(), ki.toDouble());
  EXPECT_EQ(d->Value(), 0);

  // Automatic with a set-point step of 5 above the present Y1: the loop settles there.
  OpcItemPtr y1 = check.AddItem(SimulatedPlantItems::Y1);
  OpcItemPtr sp = check.AddItem(SimulatedPlantItems::SP);
  OpcItemPtr automatic = check.AddItem(SimulatedPlantItems::Auto);
  const double target = y1->Value() + 5;
  sp->Write(target);
  automatic->Write(1);
  double worst = 0;
  for (int second = 0; second < 400; ++second) {
    clock.AdvanceMs(1000);
    if (second >= 300) worst = std::max(worst, std::abs(y1->Value() - target));
  }
  EXPECT_LT(worst, 0.6);  // within the measurement noise of the set-point
}

TEST_F(RegulatorOnPlant, ALoadAsksBeforeAnUnstableLoopIsWholeOrNothingLoggedAndUndone) {
  QTest::mouseClick(Form().OpcTab().PoveziOPCStreznik, Qt::LeftButton);
  SetItem(7, SimulatedPlantItems::P);
  SetItem(8, SimulatedPlantItems::I);
  SetItem(9, SimulatedPlantItems::D);
  MeasurementStore& store = Form().Store();
  store.InnerGain = 0.8, store.InnerTimeConstant = 20, store.InnerDeadTime = 5;
  store.SampleTime = 0.1;
  RegulatorPage& page = Form().RegulatorTab();
  page.Button_PIDClick();
  const auto before = [&] {
    return std::array{Plant(SimulatedPlantItems::P), Plant(SimulatedPlantItems::I),
                      Plant(SimulatedPlantItems::D)};
  };
  const auto original = before();
  const std::vector<std::string> logBefore = Form().WriteLog().Lines();

  // Ten times the gain makes the loop unstable: the load asks, and "No" writes nothing.
  page.Edit_Reg_Kp->setText("8.587");
  page.Edit_Reg_Kp->editingFinished();
  EXPECT_EQ(page.Label_Robust_Reg->text(), "nestabilno");
  ui.YesNoAnswer = false;
  QTest::mouseClick(page.Button16, Qt::LeftButton);
  AppFixture::Settle(Form());
  ASSERT_EQ(ui.Questions.size(), 1);
  EXPECT_TRUE(
      ui.Questions[0].startsWith(QString::fromUtf8("Zaprta zanka s tem regulatorjem je na "
                                                   "modelu nestabilna")));
  EXPECT_EQ(before(), original);

  // A read-only I item: nothing written, a box names it.
  ui.YesNoAnswer = true;
  page.Edit_Reg_Kp->setText("0.00264");
  Form().OpcTab().OPCTabela->item(8, 0)->setText(QString::fromLatin1(SimulatedPlantItems::Y1));
  QTest::mouseClick(page.Button16, Qt::LeftButton);
  AppFixture::Settle(Form());
  ASSERT_EQ(ui.Messages.size(), 1);
  EXPECT_EQ(ui.Messages[0], QString::fromUtf8("Točka »Plant.Y1« (I člen regulatorja) je samo za "
                                              "branje. Parametri niso bili zapisani v regulator."));
  EXPECT_EQ(before(), original);
  EXPECT_FALSE(page.Button_PovrniPrejsnje->isEnabled());

  // Written exactly as shown, logged, and undone.
  SetItem(8, SimulatedPlantItems::I);
  QTest::mouseClick(page.Button16, Qt::LeftButton);
  AppFixture::Settle(Form());
  EXPECT_EQ(Plant(SimulatedPlantItems::P), 0.00264);
  EXPECT_TRUE(page.Button_PovrniPrejsnje->isEnabled());
  QTest::mouseClick(page.Button_PovrniPrejsnje, Qt::LeftButton);
  AppFixture::Settle(Form());
  EXPECT_EQ(before(), original);
  EXPECT_FALSE(page.Button_PovrniPrejsnje->isEnabled());
  const std::vector<std::string> log = Form().WriteLog().Lines();
  // The read-only item's refusal, three writes of the load, three of the undo.
  ASSERT_EQ(log.size(), logBefore.size() + 7);
  EXPECT_NE(log[logBefore.size()].find("\tPlant.Y1\t\t"), std::string::npos);
  EXPECT_NE(log[logBefore.size()].find("\tnalaganje regulatorja\tzavrnjeno pred zapisom: je samo "
                                       "za branje"),
            std::string::npos)
      << log[logBefore.size()];
  EXPECT_NE(log[logBefore.size() + 1].find("\tVorTuner.SimulatedPlant.1\tController.P\t2\t0.00264\t"
                                           "nalaganje regulatorja\tzapisano"),
            std::string::npos)
      << log[logBefore.size() + 1];
  EXPECT_NE(log.back().find("\tpovrnitev\tzapisano"), std::string::npos) << log.back();
}

namespace {

// The simulated plant under an outer controller whose three parameters it keeps, and
// whose inner controller keeps its I term to two decimals only.
class CascadePlantServer final : public LocalOpcServer {
 public:
  explicit CascadePlantServer(const Clock& clock) : plant_(clock) {}
  OpcServerState State() const override { return plant_.State(); }
  std::vector<std::string> ItemIds() const override { return plant_.ItemIds(); }
  std::optional<LocalOpcItemInfo> Find(const std::string& itemId) const override {
    if (outer_.count(itemId)) return LocalOpcItemInfo{true, 0, 0};
    return plant_.Find(itemId);
  }
  double Read(const std::string& itemId) override {
    const auto it = outer_.find(itemId);
    return it != outer_.end() ? it->second : plant_.Read(itemId);
  }
  bool Write(const std::string& itemId, double value) override {
    if (const auto it = outer_.find(itemId); it != outer_.end()) return it->second = value, true;
    if (itemId == SimulatedPlantItems::I) value = std::round(value * 100) / 100;
    return plant_.Write(itemId, value);
  }

 private:
  SimulatedPlantServer plant_;
  std::map<std::string, double> outer_{{"Outer.P", 1}, {"Outer.I", 0.01}, {"Outer.D", 0}};
};

class CascadeOnPlant : public RegulatorOnPlant {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    opc = CreateLocalOpcClient(
        clock, {{SimulatedPlantServerName, [this] { return std::make_unique<CascadePlantServer>(clock); }}});
    windows = CreateApplicationWindows(*opc, clock);
    QTest::mouseClick(Form().OpcTab().PoveziOPCStreznik, Qt::LeftButton);
    SetItem(7, SimulatedPlantItems::P);
    SetItem(8, SimulatedPlantItems::I);
    SetItem(9, SimulatedPlantItems::D);
    MeasurementStore& store = Form().Store();
    store.InnerGain = 0.8, store.InnerTimeConstant = 20, store.InnerDeadTime = 5;
    store.OuterGain = 1, store.OuterTimeConstant = 40, store.OuterDeadTime = 8;
    store.SampleTime = 0.1;
    check = &opc->AddGroup("Check");
    check->SetUpdateRateMs(0);
  }
  OpcGroup* check = nullptr;
};

}  // namespace

TEST_F(CascadeOnPlant, InCascadeTheOuterControllerTakesTheParametersAndTheInnerBecomesTheTunedP) {
  RegulatorPage& page = Form().RegulatorTab();
  page.Button_PIDClick();
  page.CheckBox_CascadeReg->setChecked(true);
  const QString kp = page.Edit_Reg_Kp->text(), ki = page.Edit_Reg_Ki->text();
  ASSERT_FALSE(kp.isEmpty());

  // Rows 14-16 empty: nothing is written anywhere, and a message says so.
  QTest::mouseClick(page.Button16, Qt::LeftButton);
  AppFixture::Settle(Form());
  ASSERT_EQ(ui.Messages.size(), 1);
  EXPECT_TRUE(ui.Messages[0].contains(QString::fromUtf8("14–16"))) << ui.Messages[0].toStdString();
  EXPECT_EQ(Plant(SimulatedPlantItems::P), 2);
  EXPECT_EQ(Plant(SimulatedPlantItems::I), 0.1);

  SetItem(14, "Outer.P");
  SetItem(15, "Outer.I");
  SetItem(16, "Outer.D");
  QTest::mouseClick(page.Button16, Qt::LeftButton);
  AppFixture::Settle(Form());
  EXPECT_EQ(ui.Messages.size(), 1);
  EXPECT_DOUBLE_EQ(Plant("Outer.P"), kp.toDouble());
  EXPECT_DOUBLE_EQ(Plant("Outer.I"), ki.toDouble());
  EXPECT_EQ(Plant("Outer.D"), 0);
  // The inner controller is the P controller the outer one was tuned around.
  const double inner = Form().Store().Tuning.InnerLoopGain;
  EXPECT_DOUBLE_EQ(Plant(SimulatedPlantItems::P), inner);
  EXPECT_EQ(Plant(SimulatedPlantItems::I), 0);
  EXPECT_EQ(Plant(SimulatedPlantItems::D), 0);
  ASSERT_EQ(ui.Questions.size(), 2);  // each load listed its writes first
  EXPECT_TRUE(
      ui.Questions[1].contains(QString::fromUtf8("vrstica 7, »Controller.P« (P notranjega "
                                                 "regulatorja) = ")));
  EXPECT_TRUE(ui.Questions[1].contains(QString::fromUtf8("vrstica 14, »Outer.P« (P zunanjega "
                                                         "regulatorja) = ") +
                                       kp));
  EXPECT_EQ(Form().StatusText(),
            QString("Notranji regulator ima zdaj P = %1, I = 0, D = 0; zunanji regulator ima zdaj "
                    "P = %2, I = %3, D = 0.")
                .arg(QString::number(inner, 'g', 10), kp, ki));
}

TEST_F(CascadeOnPlant, TheReadBackNamesTheItemThatHoldsAnotherValue) {
  // The read-back waits on the program's clock; each pass of the event loop moves it on.
  QTimer clockDriver;
  QObject::connect(&clockDriver, &QTimer::timeout, [this] { clock.AdvanceMs(100); });
  clockDriver.start(0);
  RegulatorPage& page = Form().RegulatorTab();
  page.Button_PIDClick();
  page.Edit_Reg_Kp->setText("1.5");
  page.Edit_Reg_Ki->setText("0.0437");
  QTest::mouseClick(page.Button16, Qt::LeftButton);
  AppFixture::Settle(Form());
  EXPECT_TRUE(ui.Messages.isEmpty()) << ui.Messages.join("|").toStdString();
  EXPECT_EQ(Plant(SimulatedPlantItems::P), 1.5);
  EXPECT_EQ(
      Form().StatusText(),
      QString::fromUtf8("Regulator po nalaganju ne vrača zapisanih vrednosti: "
                        "točka \"Controller.I\" (I člen regulatorja) ima 0.04 namesto 0.0437."));
}

namespace {
// Answers each real question box with Enter, as an engineer who presses it would, and
// keeps its text and whether "Ne" was its default.
struct PressEnter {
  QStringList Asked;
  bool NoWasDefault = true;
  QTimer Poll;
  PressEnter() {
    QObject::connect(&Poll, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      Asked << box->text();
      NoWasDefault &= box->defaultButton() == box->button(QMessageBox::No);
      QTest::keyClick(box, Qt::Key_Return);
    });
    Poll.start(20);
    SetUiServices(nullptr);  // the program's own boxes
  }
  ~PressEnter() { SetUiServices(nullptr); }
};
}  // namespace

TEST_F(RegulatorOnPlant, EnterAnswersNoToAnUnstableAFragileControllerAndAnUndo) {
  QTest::mouseClick(Form().OpcTab().PoveziOPCStreznik, Qt::LeftButton);
  SetItem(7, SimulatedPlantItems::P);
  SetItem(8, SimulatedPlantItems::I);
  SetItem(9, SimulatedPlantItems::D);
  MeasurementStore& store = Form().Store();
  store.InnerGain = 0.8, store.InnerTimeConstant = 20, store.InnerDeadTime = 5;
  store.SampleTime = 0.1;
  RegulatorPage& page = Form().RegulatorTab();
  page.Button_PIDClick();
  QTest::mouseClick(page.Button16, Qt::LeftButton);  // a sound load, to be undone
  AppFixture::Settle(Form());
  const double loaded = Plant(SimulatedPlantItems::P);
  ASSERT_TRUE(page.Button_PovrniPrejsnje->isEnabled());
  {
    PressEnter enter;
    for (const char* kp : {"8.587", "5"}) {  // unstable, then stable with Ms above 2
      page.Edit_Reg_Kp->setText(kp);
      page.Edit_Reg_Kp->editingFinished();
      QTest::mouseClick(page.Button16, Qt::LeftButton);
      AppFixture::Settle(Form());
    }
    QTest::mouseClick(page.Button_PovrniPrejsnje, Qt::LeftButton);
    AppFixture::Settle(Form());
    ASSERT_EQ(enter.Asked.size(), 3) << enter.Asked.join("|").toStdString();
    EXPECT_TRUE(enter.Asked[0].startsWith(
        QString::fromUtf8("Zaprta zanka s tem regulatorjem je na modelu nestabilna")));
    EXPECT_TRUE(enter.Asked[1].startsWith(QString::fromUtf8("Regulator je na modelu krhek")))
        << enter.Asked[1].toStdString();
    EXPECT_TRUE(enter.Asked[2].startsWith(QString::fromUtf8("Povrnem regulator")));
    EXPECT_TRUE(enter.NoWasDefault);
  }
  SetUiServices(&ui);
  EXPECT_EQ(Plant(SimulatedPlantItems::P), loaded);  // nothing written after any of them
  EXPECT_TRUE(page.Button_PovrniPrejsnje->isEnabled());
}

TEST_F(CascadeOnPlant, TheInnerGainIsOneNumberOnTheTabInTheQuestionAndOnThePlant) {
  RegulatorPage& page = Form().RegulatorTab();
  page.Button_PIDClick();
  page.CheckBox_CascadeReg->setChecked(true);
  SetItem(14, "Outer.P");
  SetItem(15, "Outer.I");
  SetItem(16, "Outer.D");
  const QString shown = page.Label_Kp_Cascade->text();
  // The robustness factor scales the outer controller only: the tab shows the same inner
  // gain at any slider position.
  page.ScrollBar_Robust->setValue(page.ScrollBar_Robust->value() - 3);
  EXPECT_EQ(page.Label_Kp_Cascade->text(), shown);
  EXPECT_GE(shown.size(), 6);  // four significant digits at least ("4.2634", "0.8235")
  const double before = Plant(SimulatedPlantItems::P);
  {
    PressEnter enter;  // Enter: "Ne", nothing written
    QTest::mouseClick(page.Button16, Qt::LeftButton);
    AppFixture::Settle(Form());
    ASSERT_EQ(enter.Asked.size(), 1);
    EXPECT_TRUE(enter.Asked[0].startsWith(QString::fromUtf8("Kaskada: notranji regulator postane "
                                                            "regulator P z ojačenjem %1,")
                                              .arg(shown)))
        << enter.Asked[0].toStdString();
    EXPECT_TRUE(enter.Asked[0].contains(QString::fromUtf8("(P notranjega regulatorja) = %1\n")
                                            .arg(QString::number(shown.toDouble(), 'g', 12))))
        << enter.Asked[0].toStdString();
    EXPECT_TRUE(enter.NoWasDefault);
  }
  SetUiServices(&ui);
  EXPECT_EQ(Plant(SimulatedPlantItems::P), before);
  QTest::mouseClick(page.Button16, Qt::LeftButton);
  AppFixture::Settle(Form());
  EXPECT_EQ(Plant(SimulatedPlantItems::P), shown.toDouble());
  EXPECT_EQ(Form().Store().Tuning.InnerLoopGain, shown.toDouble());  // what the simulation uses
}
