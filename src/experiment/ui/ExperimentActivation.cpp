// "Aktiviraj eksperiment": the corrections common to both kinds of experiment and the
// manual experiment, run at once in the experiment window.
#include <QLineEdit>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "app/FormHelpers.h"
#include "app/TForm1.h"
#include "data/NumberFormat.h"
#include "data/NumericHelpers.h"
#include "data/TextFile.h"
#include "experiment/ExperimentRun.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "opc/ui/OpcPage.h"

namespace {

// OPC table rows of the experiment's items.
constexpr int RowMV = 0, RowU = 2, RowY1 = 4, RowY2 = 5;
constexpr int RowRA = 10, RowManual = 11, RowAuto = 12;
// RadioGroup4's item "Ročno + Avtomatsko": the controller is switched by two items.
constexpr int TwoItemRASwitch = 1;

}  // namespace

void ExperimentPage::AktivirajEksperimentClick() {
  // The quality wait processes events; a second click meanwhile must not start another run.
  if (activating_) return;
  struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
  } guard(activating_);

  double ts = TypedNumber(CasVzorcenjaEdit);
  if (ts < MinimumSampleTime) {
    ts = MinimumSampleTime;
    CasVzorcenjaEdit->setText(ShownGeneral(ts, 15));  // the shortest decimal form
  }
  if (TypedNumber(CasCakanjaEdit) < 2 * ts) CasCakanjaEdit->setText(ShownGeneral(2 * ts, 10));
  form_.Eksperiment().Run().Setup.NoOpcWrite = CheckBox_NePisi->isChecked();
  if (RadioRocno->isChecked())
    RunManualExperiment();
  else
    QueueAutomaticExperiment();
}

void ExperimentPage::RunManualExperiment() {
  ShraniNastavitveClick();
  MeasurementStore& store = form_.Store();
  OpcPage& opc = form_.OpcTab();
  for (int column = 1; column <= 6; ++column)
    store.ColumnNames[column] = opc.Description(column - 1).toStdString();

  TEksperiment& window = form_.Eksperiment();
  ExperimentSetup& setup = window.Run().Setup;
  setup.ExperimentLabel = BaseNameOf(form_.SaveDialog1.FileName.toStdString());
  setup.SamplePeriodMs = RoundToInt(TypedNumber(CasVzorcenjaEdit) * 1000);
  setup.ClosedLoopDuring = CheckBox_Zaprtozancni->isChecked();
  setup.KeepInitialInput = OhraniZacetniVhod->isChecked();
  setup.InitialInput = TypedNumber(ZacetniVhodEdit);

  OpcGroup& group = window.ExperimentGroup();
  group.RemoveAllItems();
  const auto add = [&](int row) { return group.AddItem(opc.ItemId(row).toStdString()); };
  setup.ItemU = add(RowU);
  setup.ItemMV = add(RowMV);
  setup.ItemY1 = add(RowY1);
  setup.ItemY2 = add(RowY2);
  if (opc.RaSwitchIndex() == TwoItemRASwitch) {
    setup.SingleRASwitch = false;
    setup.ItemManual = add(RowManual);
    setup.ItemAuto = add(RowAuto);
  } else {
    setup.SingleRASwitch = true;
    setup.ItemRA = add(RowRA);
    setup.ManualValue = opc.ManualValue();
  }
  setup.ClosedLoopAfter = CheckBox_ZZPoPoizkusu->isChecked();

  store.ColumnCount = 6;
  store.SampleCount = 1;
  store.SampleTime = setup.SamplePeriodMs * 0.001;

  window.RocniAvtomatski->setVisible(false);
  window.PrepareManualRun();
  window.exec();
  form_.PageControl1->setCurrentIndex(TabObdelava);
}
