#include "tuning/ui/RegulatorPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <cmath>
#include <optional>

#include "app/FormHelpers.h"
#include "app/TForm1.h"
#include "data/ui/ProcessingPage.h"
#include "experiment/ui/ExperimentPage.h"
#include "charts/VorChart.h"
#include "data/Clock.h"
#include "opc/OpcClient.h"
#include "opc/ui/OpcPage.h"
#include "tuning/Recomputation.h"
#include "tuning/TRegulator.h"
#include "opc/ui/RadioGroup.h"
#include "tuning/ui/ResponseChart.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// OPC table rows of the controller's P, I and D items.
constexpr int RowP = 7, RowI = 8, RowD = 9;

const char* const ControllerFilter = "Controller settings (*.vtc)|*.vtc|All files (*.*)|*.*";
}  // namespace

RegulatorPage::RegulatorPage(TForm1& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_Regulator"));
  BuildControls();
  Connect();
  for (FileDialog* d : {&form_.SaveDialog_Controller, &form_.OpenDialog_Controller}) {
    d->Filter = QString::fromLatin1(ControllerFilter);
    d->DefaultExtension = QStringLiteral("vtc");
  }
  form_.SaveDialog_Controller.OverwritePrompt = true;
}

void RegulatorPage::Connect() {
  connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { ComboBox1Change(); });
  connect(CheckBox_CascadeReg, &QCheckBox::toggled, this, [this] { CheckBox_CascadeRegClick(); });
  connect(ScrollBar_Robust, &QScrollBar::valueChanged, this, [this] { ScrollBar_RobustChange(); });
  connect(RadioGroup_Motnja, &RadioGroup::ItemClicked, this, [this] { RadioGroup_MotnjaClick(); });
  connect(Edit_Vzorcenje, &QLineEdit::returnPressed, this, [this] { Edit_VzorcenjeKeyPress(); });
  connect(ComboBox_Regulator, &QComboBox::currentIndexChanged, this,
          [this] { ComboBox_RegulatorChange(); });
  connect(RadioGroup_IzbiraTipaReg, &RadioGroup::ItemClicked, this,
          [this] { RadioGroup_IzbiraTipaRegClick(); });
  connect(Edit_Reg_ScaleP, &QLineEdit::returnPressed, this, [this] { Edit_Reg_ScalePKeyPress(); });
  connect(Edit_Reg_ScaleI, &QLineEdit::returnPressed, this, [this] { Edit_Reg_ScaleIKeyPress(); });
  connect(Edit_Reg_ScaleD, &QLineEdit::returnPressed, this, [this] { Edit_Reg_ScaleDKeyPress(); });
  connect(Button9, &QPushButton::clicked, this, [this] { Button9Click(); });
  connect(Button8, &QPushButton::clicked, this, [this] { Button8Click(); });
  connect(Button16, &QPushButton::clicked, this, [this] { Button16Click(); });
}

bool RegulatorPage::Suppressed() const { return form_.Store().TuningEventsSuppressed; }

void RegulatorPage::SetOwnStatus(const QString& text) {
  ownStatus_ = text;
  form_.SetStatusText(text);
}

void RegulatorPage::ClearOwnStatus() {
  if (!ownStatus_.isEmpty() && form_.StatusText() == ownStatus_) form_.SetStatusText(QString());
  ownStatus_.clear();
}

void RegulatorPage::RecomputeTuning(int method, int sliderPosition, int responseKind,
                                    const QString& samplingTimeText, bool cascade) {
  MeasurementStore& store = form_.Store();
  const char sep = TForm1::DecimalSeparator();
  ApplyTuning(store, method, sliderPosition, cascade);
  const TuningSummary s = SummaryTexts(store, cascade, sep);
  Label_Kp_Cascade->setText(Q(s.KpCascade));
  Label_Ki->setText(Q(s.Ki));
  Label_Kp_P->setText(Q(s.KpP));
  Label_PI_Kp->setText(Q(s.PIKp));
  Label_PI_Ti->setText(Q(s.PIKi));
  Label_PID_Kp->setText(Q(s.PIDKp));
  Label_PID_Ti->setText(Q(s.PIDKi));
  Label_PID_Td->setText(Q(s.PIDKd));
  Label_Priporocljiv->setText(Q(s.Recommended));

  const double h = ResolveSampleTime(S(samplingTimeText), sep, store.ClosedLoopSampleTime);
  const SimulationOutcome outcome = SimulateResponses(store, h, responseKind, cascade);
  if (!outcome.Curves) {
    SetOwnStatus(Q(outcome.Reason));
    return;
  }
  ClearOwnStatus();
  PlotResponseCurves({Chart1, LineSeries3, LineSeries4, Series3, Series4, Series5}, *outcome.Curves);
}

double RegulatorPage::SequencerGainFromControls(QString& note) const {
  // The sequencer table lives on the experiment tab, the Y1 range on the processing tab.
  const QTableWidget* grid = form_.ExperimentTab().StringGrid_Sekvencer;
  const double minimum = TypedNumber(form_.ProcessingTab().Label_MinY1->text());
  const double maximum = TypedNumber(form_.ProcessingTab().Label_MaksY1->text());
  std::vector<std::pair<double, double>> rows;
  auto cell = [grid](int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
  };
  for (int row = 0; row < grid->rowCount() && !cell(row, 0).isEmpty(); ++row)
    rows.emplace_back(TypedNumber(cell(row, 0)), TypedNumber(cell(row, 1)));
  std::string text;
  const double q = UsableSequencerGain(TRegulator::SequencerMaxGain(rows, minimum, maximum), text);
  note = Q(text);
  return q;
}

void RegulatorPage::ShowControllerParameters(int form, int type, bool cascade) {
  PanelInput in;
  in.Form = form;
  in.Type = type;
  in.Cascade = cascade;
  QString note;
  if (cascade && form_.ExperimentTab().CheckBox_Sekvencer->isChecked())
    in.SequencerGain = SequencerGainFromControls(note);
  const UsedScales used = ScalesUsedBy(type);
  if (used.P) in.ScaleP = TypedNumber(Edit_Reg_ScaleP);
  if (used.I) in.ScaleI = TypedNumber(Edit_Reg_ScaleI);
  if (used.D) in.ScaleD = TypedNumber(Edit_Reg_ScaleD);

  const ControllerPanel p =
      ComputeControllerPanel(form_.Store().Tuning, in, TForm1::DecimalSeparator());
  Label_LabOjacSekv->setText(Q(p.SequencerCaption));
  Label_OjacSekv->setText(Q(p.SequencerValue));
  Label_Reg_Name_Kp->setText(Q(p.NameKp));
  Label_Reg_Name_Ki->setText(Q(p.NameKi));
  Label_Reg_Name_Kd->setText(Q(p.NameKd));
  Edit_Reg_Kp->setText(Q(p.Kp));
  Edit_Reg_Ki->setText(Q(p.Ki));
  Edit_Reg_Kd->setText(Q(p.Kd));
  Edit_Reg_Kp->setVisible(p.ShowKp);
  Edit_Reg_Ki->setVisible(p.ShowKi);
  Edit_Reg_Kd->setVisible(p.ShowKd);
  if (!note.isEmpty()) form_.SetStatusText(note);
}

void RegulatorPage::RecomputeTuningFromControls() {
  RecomputeTuning(ComboBox1->currentIndex(), ScrollBar_Robust->value(),
                  RadioGroup_Motnja->ItemIndex(), Edit_Vzorcenje->text(),
                  CheckBox_CascadeReg->isChecked());
}

void RegulatorPage::ShowControllerParametersFromControls() {
  ShowControllerParameters(ComboBox_Regulator->currentIndex(), RadioGroup_IzbiraTipaReg->ItemIndex(),
                           CheckBox_CascadeReg->isChecked());
}

void RegulatorPage::Button_PIDClick() {
  form_.PageControl1->setCurrentIndex(TabRegulator);
  Edit_Vzorcenje->setText(ShownGeneral(form_.Store().SampleTime, 12));
  RecomputeTuningFromControls();
  ShowControllerParametersFromControls();
}

void RegulatorPage::ComboBox1Change() {
  if (Suppressed()) return;
  RecomputeTuningFromControls();
  ShowControllerParametersFromControls();
}

void RegulatorPage::CheckBox_CascadeRegClick() {
  if (Suppressed()) return;
  RecomputeTuningFromControls();
  ShowControllerParametersFromControls();
}

void RegulatorPage::ScrollBar_RobustChange() {
  if (Suppressed()) return;
  RecomputeTuningFromControls();
}

void RegulatorPage::RadioGroup_MotnjaClick() {
  if (Suppressed()) return;
  RecomputeTuningFromControls();
}

void RegulatorPage::Edit_VzorcenjeKeyPress() { RecomputeTuningFromControls(); }

void RegulatorPage::ComboBox_RegulatorChange() {
  if (Suppressed()) return;
  ShowControllerParametersFromControls();
}

void RegulatorPage::RadioGroup_IzbiraTipaRegClick() {
  if (Suppressed()) return;
  ShowControllerParametersFromControls();
}

void RegulatorPage::Edit_Reg_ScalePKeyPress() { ShowControllerParametersFromControls(); }
void RegulatorPage::Edit_Reg_ScaleIKeyPress() { ShowControllerParametersFromControls(); }
void RegulatorPage::Edit_Reg_ScaleDKeyPress() { ShowControllerParametersFromControls(); }

void RegulatorPage::Button9Click() {
  FileDialog& dialog = form_.SaveDialog_Controller;
  if (!Ui().ExecuteSaveDialog(this, dialog)) return;
  SaveControllerSettingsFile(dialog.FileName);
}

void RegulatorPage::SaveControllerSettingsFile(const QString& fileName) {
  TRegulator::SaveControllerSettings(S(fileName), ControllerSettingsWithModels(TuningControls(), form_.Store()),
                                     TForm1::DecimalSeparator());
}

ControllerSettings RegulatorPage::TuningControls() const {
  ControllerSettings s;
  s.Method = ComboBox1->currentIndex();
  s.ResponseKind = RadioGroup_Motnja->ItemIndex();
  s.Form = ComboBox_Regulator->currentIndex();
  s.Type = RadioGroup_IzbiraTipaReg->ItemIndex();
  s.Slider = ScrollBar_Robust->value();
  s.ScaleP = S(Edit_Reg_ScaleP->text());
  s.ScaleI = S(Edit_Reg_ScaleI->text());
  s.ScaleD = S(Edit_Reg_ScaleD->text());
  s.SamplingTimeText = S(Edit_Vzorcenje->text());
  s.Cascade = CheckBox_CascadeReg->isChecked();
  return s;
}

void RegulatorPage::Button8Click() {
  FileDialog& dialog = form_.OpenDialog_Controller;
  if (!Ui().ExecuteOpenDialog(this, dialog)) return;
  // The whole file is read first: a bad file changes neither the models nor the controls.
  const ControllerSettings s =
      TRegulator::LoadControllerSettings(S(dialog.FileName), TForm1::DecimalSeparator());
  ApplyControllerModels(s, form_.Store());
  // One recomputation follows the quiet setting of the controls.
  SetTuningControls(s);
  RecomputeTuningFromControls();
  ShowControllerParametersFromControls();
}

void RegulatorPage::SetTuningControls(const ControllerSettings& s) {
  MeasurementStore& store = form_.Store();
  const bool wasSuppressed = store.TuningEventsSuppressed;
  store.TuningEventsSuppressed = true;
  Edit_Vzorcenje->setText(Q(s.SamplingTimeText));
  ComboBox1->setCurrentIndex(s.Method >= 0 && s.Method < ComboBox1->count() ? s.Method : -1);
  ScrollBar_Robust->setValue(s.Slider);
  RadioGroup_Motnja->SetItemIndex(s.ResponseKind);
  ComboBox_Regulator->setCurrentIndex(
      s.Form >= 0 && s.Form < ComboBox_Regulator->count() ? s.Form : -1);
  RadioGroup_IzbiraTipaReg->SetItemIndex(s.Type);
  Edit_Reg_ScaleP->setText(Q(s.ScaleP));
  Edit_Reg_ScaleI->setText(Q(s.ScaleI));
  Edit_Reg_ScaleD->setText(Q(s.ScaleD));
  CheckBox_CascadeReg->setChecked(s.Cascade);
  store.TuningEventsSuppressed = wasSuppressed;
}

void RegulatorPage::Button16Click() {
  if (loadingController_) return;  // a load is already waiting for the controller
  // Every value is checked before anything is written, so the controller never receives
  // half a parameter set.
  struct Term {
    QLineEdit* edit;
    int row;
    std::optional<double> value;  // empty edit: the integer 0
  };
  Term terms[] = {{Edit_Reg_Kp, RowP, {}}, {Edit_Reg_Ki, RowI, {}}, {Edit_Reg_Kd, RowD, {}}};
  for (Term& t : terms) {
    if (!t.edit->text().isEmpty()) t.value = TypedNumber(t.edit);
  }

  OpcGroup& group = form_.ControllerGroup();
  group.RemoveAllItems();
  OpcItemPtr items[3];
  for (int k = 0; k < 3; ++k) items[k] = group.AddItem(S(form_.OpcTab().ItemId(terms[k].row)));

  loadingController_ = true;
  Button16->setEnabled(false);
  const Clock& clock = form_.SystemClock();
  const std::int64_t start = clock.TickCountMs();
  bool good = IsGoodQuality(items[0]->Quality());
  while (!good && clock.TickCountMs() - start < ControllerQualityWaitMs) {
    QCoreApplication::processEvents();
    good = IsGoodQuality(items[0]->Quality());
    if (!good) QThread::msleep(5);
  }
  loadingController_ = false;
  Button16->setEnabled(true);
  if (!good) {
    Ui().ShowMessage(QStringLiteral("Element P člena regulatorja (\"%1\") v %2 s ni dosegel dobre "
                                    "kakovosti. Parametri niso bili zapisani v regulator.")
                         .arg(Q(items[0]->ItemId()))
                         .arg(ControllerQualityWaitMs / 1000));
    return;
  }
  for (int k = 0; k < 3; ++k) {
    if (terms[k].value)
      items[k]->Write(*terms[k].value);
    else
      items[k]->WriteInteger(0);
  }
}
