#include "tuning/ui/RegulatorPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <cmath>

#include "charts/VorChart.h"
#include "data/NumberFormat.h"
#include "forms/FormHelpers.h"
#include "forms/Workspace.h"
#include "opc/OpcClient.h"
#include "opc/ui/RadioGroup.h"
#include "report/Warnings.h"
#include "tuning/ControllerLoad.h"
#include "tuning/Recomputation.h"
#include "tuning/RobustProposal.h"
#include "tuning/Robustness.h"
#include "tuning/TRegulator.h"
#include "tuning/ui/ResponseChart.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

const char* const ControllerFilter = "Controller settings (*.vtc)|*.vtc|All files (*.*)|*.*";

// One controller's figures, red with the reason in the tooltip for Ms > 2 or an unstable
// loop; "–" with the reason when there is no loop to judge.
void ShowFigures(QLabel* label, const RobustnessFigures* figures, const std::string& reason) {
  if (!figures) {
    label->setText(Q(NotFiniteText));
    label->setToolTip(Q(reason));
    label->setStyleSheet(QString());
    return;
  }
  const RobustnessTexts t = FormatRobustness(*figures, DecimalSeparator());
  label->setText(Q(t.Line));
  label->setToolTip(Q(t.ToolTip));
  // By name, so that the tooltip keeps its own colours.
  label->setStyleSheet(t.Warning ? QStringLiteral("#%1 { color: #c00000; }").arg(label->objectName())
                                 : QString());
}
}  // namespace

RegulatorPage::RegulatorPage(Workspace& form) : QWidget(nullptr), form_(form) {
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
  connect(Button_RobustniPredlog, &QPushButton::clicked, this,
          [this] { Button_RobustniPredlogClick(); });
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
  const char sep = DecimalSeparator();
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
  ShowSampleTimeNote(h);
  ShowRobustness(ComputeRobustness(SampledProcessOfStore(store, h, cascade),
                                   ProposedLoopControllers(store.Tuning, cascade), panelController_));
  const SimulationOutcome outcome = SimulateResponses(store, h, responseKind, cascade);
  if (!outcome.Curves) {
    SetOwnStatus(Q(outcome.Reason));
    return;
  }
  // An unstable or fragile proposal is named in the status bar as in the report's box.
  WarningScope scope;
  scope.Record = false;
  scope.Proposals = &*robustness_;
  scope.Separator = sep;
  const std::string warnings = WarningsLine(CollectWarnings(store, scope));
  if (warnings.empty())
    ClearOwnStatus();
  else
    SetOwnStatus(Q(warnings));
  PlotResponseCurves({Chart1, LineSeries3, LineSeries4, Series3, Series4, Series5}, *outcome.Curves);
}

void RegulatorPage::ShowRobustness(const RobustnessSet& set) {
  const bool judged = set.Reason.empty();
  ShowFigures(Label_Robust_I, judged ? &set.I : nullptr, set.Reason);
  ShowFigures(Label_Robust_P, judged ? &set.P : nullptr, set.Reason);
  ShowFigures(Label_Robust_PI, judged ? &set.PI : nullptr, set.Reason);
  ShowFigures(Label_Robust_PID, judged ? &set.PID : nullptr, set.Reason);
  if (!judged || set.Scaled)
    ShowFigures(Label_Robust_Reg, set.Scaled ? &*set.Scaled : nullptr, set.Reason);
  robustnessRows_ = RobustnessTableRows(set, DecimalSeparator());
  robustness_ = set;
}

void RegulatorPage::ShowSampleTimeNote(double h) {
  const bool cascade = CheckBox_CascadeReg->isChecked();
  Label_Vzorcenje_Opozorilo->setText(
      Q(SampleTimeNote(h, RecommendedSampleTime(form_.Store(), cascade), DecimalSeparator())));
}

void RegulatorPage::Button_RobustniPredlogClick() {
  const char sep = DecimalSeparator();
  MeasurementStore& store = form_.Store();
  const bool cascade = CheckBox_CascadeReg->isChecked();
  RobustProposalRequest r;
  try {
    r.MaxMs = ParseMaxMs(S(Edit_MaxMs->text()), sep);
  } catch (const std::invalid_argument& e) {
    SetOwnStatus(Q(e.what()));
    return;
  }
  double h = ResolveSampleTime(S(Edit_Vzorcenje->text()), sep, store.ClosedLoopSampleTime);
  const double recommended = RecommendedSampleTime(store, cascade);
  if (recommended > 0 && h > recommended &&
      Ui().AskYesNo(Q(SampleTimeNote(h, recommended, sep)) +
                    QStringLiteral(" Uporabim priporočeni čas vzorčenja %1 s?")
                        .arg(Q(FormatGeneral(recommended, 4, sep))))) {
    h = recommended;
    Edit_Vzorcenje->setText(Q(FormatGeneral(recommended, 4, sep)));
  }
  r.Method = ComboBox1->currentIndex();
  r.Cascade = cascade;
  r.SampleTime = h;
  QString note;
  r.Panel = PanelInputFromControls(ComboBox_Regulator->currentIndex(),
                                   RadioGroup_IzbiraTipaReg->ItemIndex(), cascade, note);
  const RobustProposal p = FindRobustPosition(store, r, sep);
  if (p.Position) {
    // The slider's handler recomputes the summary; the panel follows it here.
    {
      const QSignalBlocker quiet(ScrollBar_Robust);
      ScrollBar_Robust->setValue(*p.Position);
    }
    RecomputeTuningFromControls();
    ShowControllerParametersFromControls();
  } else {
    RecomputeTuningFromControls();  // a sampling time taken from the offer
  }
  SetOwnStatus(Q(p.Text));
}

double RegulatorPage::SequencerGainFromControls(const SequencerTexts& sequencer,
                                                QString& note) const {
  const double minimum = TypedNumber(sequencer.MinY1);
  const double maximum = TypedNumber(sequencer.MaxY1);
  std::vector<std::pair<double, double>> rows;
  for (const auto& [input, output] : sequencer.Rows)
    rows.emplace_back(TypedNumber(input), TypedNumber(output));
  std::string text;
  const double q = UsableSequencerGain(TRegulator::SequencerMaxGain(rows, minimum, maximum), text);
  note = Q(text);
  return q;
}

PanelInput RegulatorPage::PanelInputFromControls(int form, int type, bool cascade,
                                                 QString& note) const {
  PanelInput in;
  in.Form = form;
  in.Type = type;
  in.Cascade = cascade;
  if (cascade) {
    const SequencerTexts sequencer = form_.Sequencer();
    if (sequencer.Enabled) in.SequencerGain = SequencerGainFromControls(sequencer, note);
  }
  const UsedScales used = ScalesUsedBy(type);
  if (used.P) in.ScaleP = TypedNumber(Edit_Reg_ScaleP);
  if (used.I) in.ScaleI = TypedNumber(Edit_Reg_ScaleI);
  if (used.D) in.ScaleD = TypedNumber(Edit_Reg_ScaleD);
  return in;
}

void RegulatorPage::ShowControllerParameters(int form, int type, bool cascade) {
  QString note;
  const PanelInput in = PanelInputFromControls(form, type, cascade, note);
  const ControllerPanel p =
      ComputeControllerPanel(form_.Store().Tuning, in, DecimalSeparator());
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
  panelController_ = p.Controller;
  const RobustnessSet r = ComputeRobustness(
      SampledProcessOfStore(form_.Store(), form_.Store().ClosedLoopSampleTime, cascade), {}, p.Controller);
  ShowFigures(Label_Robust_Reg, r.Scaled ? &*r.Scaled : nullptr, r.Reason);
  if (robustness_ && robustness_->Reason.empty() && r.Reason.empty())
    robustness_->Scaled = r.Scaled;
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
                                     DecimalSeparator());
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
      TRegulator::LoadControllerSettings(S(dialog.FileName), DecimalSeparator());
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
  // In cascade the panel shows the outer controller, whose items are rows 14-16.
  ControllerLoad load;
  load.Outer = CheckBox_CascadeReg->isChecked();
  const std::array<int, 3> rows = ControllerItemRows(load.Outer);
  const QLineEdit* edits[] = {Edit_Reg_Kp, Edit_Reg_Ki, Edit_Reg_Kd};
  for (size_t k = 0; k < 3; ++k) {
    // A text that is not a number stops here, before anything is written.
    if (!edits[k]->text().isEmpty()) load.Values[k] = TypedNumber(edits[k]);
    load.ItemIds[k] = S(form_.PlantItemId(rows[k]));
  }

  // While the load waits, the button is off and a second press does nothing.
  struct Busy {
    RegulatorPage& page;
    explicit Busy(RegulatorPage& p) : page(p) { Set(true); }
    ~Busy() { Set(false); }
    void Set(bool busy) {
      page.loadingController_ = busy;
      page.Button16->setEnabled(!busy);
    }
  } busy(*this);
  // Bounded by the program's clock; a second bound on real time keeps a clock that does
  // not move (a hand-driven one) from holding the program here.
  QElapsedTimer elapsed;
  elapsed.start();
  const ControllerLoadResult result = LoadIntoController(
      form_.ControllerGroup(), load, form_.SystemClock(),
      [&] {
        QCoreApplication::processEvents();
        QThread::msleep(2);
        return !form_.Closing() &&
               elapsed.elapsed() < ControllerQualityWaitMs + ControllerReadBackWaitMs;
      },
      DecimalSeparator());
  if (form_.Closing()) return;  // the program is ending: no box over it
  if (result.Outcome == ControllerLoadOutcome::NotWritten)
    Ui().ShowMessage(Q(result.Text));
  else
    form_.SetStatusText(Q(result.Text));
}
