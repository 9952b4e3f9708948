// "Naloži v regulator" against the built-in simulated plant server: the shown parameters
// reach the plant's controller, which then controls the plant with them.
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest/QTest>

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
  void TearDown() override { QLocale::setDefault(QLocale::system()); }
  void SetItem(int row, const char* id) {
    Form().OpcTab().OPCTabela->item(row, 0)->setText(QString::fromLatin1(id));
  }
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
