#include "tuning/ui/RegulatorPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

#include "charts/VorChart.h"
#include "data/NumberFormat.h"
#include "data/ui/ShownNumbers.h"
#include "forms/FormHelpers.h"
#include "forms/JobRunner.h"
#include "forms/Workspace.h"
#include "opc/OpcClient.h"
#include "opc/ui/RadioGroup.h"
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
  connect(Button_PrekliciNalaganje, &QPushButton::clicked, this,
          [this] { PrekliciNalaganjeClick(); });
  connect(Button_PovrniPrejsnje, &QPushButton::clicked, this,
          [this] { Button_PovrniPrejsnjeClick(); });
  // A value typed into the panel is what a load writes: its figures follow it.
  for (QLineEdit* e : {Edit_Reg_Kp, Edit_Reg_Ki, Edit_Reg_Kd})
    connect(e, &QLineEdit::editingFinished, this, [this] { ShowPanelRobustness(); });
  connect(Button_RobustniPredlog, &QPushButton::clicked, this,
          [this] { Button_RobustniPredlogClick(); });
}

bool RegulatorPage::Suppressed() const { return form_.Store().TuningEventsSuppressed; }

void RegulatorPage::SetOwnStatus(const QString& text) {
  ownStatus_ = text;
  form_.SetStatusText(text);
}

namespace {
// What the slider sets, for its tooltip: the robustness factor of the first-order rules,
// or the closed-loop time constant of the integrating ones, and why SIMC's PID takes the
// PI's (the rule's tauC = L would make a loop with the filtered D term fragile).
QString SliderToolTip(const MeasurementStore& store, bool cascade, char sep) {
  const TuningResult& t = store.Tuning;
  if (UsesIntegratingRules(store, cascade))
    return QString::fromUtf8(
               "Integrirni proces: drsnik določa zaprtozančno časovno konstanto\n"
               "\xCF\x84"
               "c = 2^((10 \xE2\x88\x92 s)/5) \xC2\xB7 (L + T/2) (pri metodi lambda čas "
               "zaustavitve, trikrat daljši);\n"
               "s = 0 štirikrat počasneje, s = 10 SIMC \xCF\x84"
               "c = L + T/2 (zakasnitev T kot mrtvi čas), s = 20 štirikrat hitreje.\n"
               "PID ima isti \xCF\x84"
               "c, ne SIMC-jevega \xCF\x84"
               "c = L: z njim bi bila zanka s filtriranim D členom\n"
               "(filter Td/5) krhka (Ms nad 2).\n"
               "Zdaj \xCF\x84"
               "c = ") +
           QString::fromStdString(FormatGeneral(t.ClosedLoopTimeConstant, 4, sep)) + " s.";
  return QString::fromUtf8(
             "Drsnik množi vsa ojačenja s faktorjem robustnosti f = s\xC2\xB7\xE2\x88\x9As\xC2\xB7"
             "0,0284605 + 0,1\n"
             "(s = 0: f = 0,1; s = 10: f = 1; s = 20: f = 2,65). Zdaj f = ") +
         QString::fromStdString(FormatGeneral(t.RobustnessFactor, 4, sep)) + ".";
}
}  // namespace

void RegulatorPage::ClearOwnStatus() {
  if (!ownStatus_.isEmpty() && form_.StatusText() == ownStatus_) form_.SetStatusText(QString());
  ownStatus_.clear();
}

void RegulatorPage::RecomputeTuning(int method, int sliderPosition, int responseKind,
                                    const QString& samplingTimeText, bool cascade) {
  MeasurementStore& store = form_.Store();
  const char sep = DecimalSeparator();
  MarkRulesForKind(cascade, false);
  ApplyTuning(store, method, sliderPosition, cascade);
  ScrollBar_Robust->setToolTip(SliderToolTip(store, cascade, sep));
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
  tunedProcess_ = SampledProcessOfStore(store, h, cascade);
  Label_DrugModel->clear();
  ShowRobustness(ComputeRobustness(*tunedProcess_, ProposedLoopControllers(store.Tuning, cascade),
                                   panelController_));
  const SimulationOutcome outcome = SimulateResponses(store, h, responseKind, cascade);
  if (!outcome.Curves) {
    warningsInStatus_ = false;
    SetOwnStatus(Q(outcome.Reason));
    return;
  }
  warningsInStatus_ = true;
  ShowRobustnessWarnings();
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

void RegulatorPage::ShowRobustnessWarnings() {
  if (!warningsInStatus_ || !robustness_) return;
  // An unstable or fragile proposal is named in the status bar as in the report's box.
  WarningScope scope;
  scope.Record = false;
  scope.Proposals = WarningFiguresOf(*robustness_);
  scope.Separator = DecimalSeparator();
  const std::string warnings = WarningsLine(CollectWarnings(form_.Store(), scope));
  if (warnings.empty())
    ClearOwnStatus();
  else
    SetOwnStatus(Q(warnings));
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

PanelInput RegulatorPage::PanelInputFromControls(QString& note) const {
  return PanelInputFromControls(ComboBox_Regulator->currentIndex(),
                                RadioGroup_IzbiraTipaReg->ItemIndex(),
                                CheckBox_CascadeReg->isChecked(), note);
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
  const UsedScales used = ScalesUsedBy(in.Type);
  if (used.P) in.ScaleP = TypedNumber(Edit_Reg_ScaleP);
  if (used.I) in.ScaleI = TypedNumber(Edit_Reg_ScaleI);
  if (used.D) in.ScaleD = TypedNumber(Edit_Reg_ScaleD);
  return in;
}

ControllerPanel RegulatorPage::ShownPanel() const {
  ControllerPanel p;
  p.ShowKp = !Edit_Reg_Kp->isHidden();
  p.ShowKi = !Edit_Reg_Ki->isHidden();
  p.ShowKd = !Edit_Reg_Kd->isHidden();
  p.Kp = S(Edit_Reg_Kp->text());
  p.Ki = S(Edit_Reg_Ki->text());
  p.Kd = S(Edit_Reg_Kd->text());
  return p;
}

ScaledParameters RegulatorPage::PanelValues() const {
  ScaledParameters v;
  std::optional<double>* const values[] = {&v.Kp, &v.Ki, &v.Kd};
  const QLineEdit* edits[] = {Edit_Reg_Kp, Edit_Reg_Ki, Edit_Reg_Kd};
  for (size_t k = 0; k < 3; ++k)
    if (!edits[k]->isHidden() && !edits[k]->text().isEmpty()) *values[k] = TypedNumber(edits[k]);
  return v;
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
  ShowPanelRobustness();
  if (!note.isEmpty()) form_.SetStatusText(note);
}

void RegulatorPage::ShowPanelRobustness() {
  // The figures describe exactly what a load would write: the numbers in the edits, on
  // the process the parameters were tuned on.
  QString note;
  std::optional<LoopController> controller;
  std::optional<PanelInput> in;
  std::string reason;
  try {
    in = PanelInputFromControls(note);
    controller = ControllerOfPanelValues(*in, PanelValues());
  } catch (const std::exception& e) {
    reason = ConversionError::InSlovenian(e.what());
  }
  MeasurementStore& store = form_.Store();
  const SampledProcess process = tunedProcess_
                                     ? *tunedProcess_
                                     : SampledProcessOfStore(store, store.ClosedLoopSampleTime,
                                                             CheckBox_CascadeReg->isChecked());
  const RobustnessSet r = ComputeRobustness(process, {}, controller);
  ShowFigures(Label_Robust_Reg, r.Scaled ? &*r.Scaled : nullptr,
              reason.empty() ? r.Reason : reason);
  // The warnings judge the panel's controller as shown.
  if (robustness_ && robustness_->Reason.empty() && r.Reason.empty()) {
    robustness_->Scaled = r.Scaled;
    // A panel that shows the proposal is that proposal: its row in the summary takes the
    // panel's figure, judged from the numbers a load writes, not from the unrounded gains.
    if (in && r.Scaled && PanelShowsProposal(store.Tuning, *in, ShownPanel(), DecimalSeparator())) {
      QLabel* const rows[] = {Label_Robust_P, Label_Robust_I, Label_Robust_PI, Label_Robust_PID};
      RobustnessFigures* const figures[] = {&robustness_->P, &robustness_->I, &robustness_->PI,
                                            &robustness_->PID};
      if (in->Type >= 0 && in->Type < 4) {
        *figures[in->Type] = *r.Scaled;
        ShowFigures(rows[in->Type], &*r.Scaled, r.Reason);
        robustnessRows_ = RobustnessTableRows(*robustness_, DecimalSeparator());
      }
    }
    // The status bar names the panel's controller as the panel now shows it.
    ShowRobustnessWarnings();
  }
  Label_DrugModel->setText(ModelChangedSinceTuning()
                               ? QStringLiteral("Parametri pripadajo drugemu modelu.")
                               : QString());
}

bool RegulatorPage::ModelChangedSinceTuning() const {
  if (!tunedProcess_) return false;
  const MeasurementStore& store = form_.Store();
  const SampledProcess now =
      SampledProcessOfStore(store, tunedProcess_->SampleTime, tunedProcess_->Cascade);
  const SampledProcess& then = *tunedProcess_;
  return now.Gain != then.Gain || now.TimeConstant != then.TimeConstant ||
         now.DeadTime != then.DeadTime || now.InnerGain != then.InnerGain ||
         now.InnerTimeConstant != then.InnerTimeConstant || now.InnerDeadTime != then.InnerDeadTime;
}

void RegulatorPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The model may have changed on another tab since the parameters were tuned.
  if (tunedProcess_)
    Label_DrugModel->setText(ModelChangedSinceTuning()
                                 ? QStringLiteral("Parametri pripadajo drugemu modelu.")
                                 : QString());
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

void RegulatorPage::MarkRulesForKind(bool cascade, bool pick) {
  const bool integrating = UsesIntegratingRules(form_.Store(), cascade);
  auto* model = qobject_cast<QStandardItemModel*>(ComboBox1->model());
  static const char* const Names[] = {"Metoda provršin - sledenje",
                                      "Metoda provršin - motnja",
                                      "Chien-Hrones-Reswick - sledenje",
                                      "Chien-Hrones-Reswick - motnja",
                                      "Metoda uravnoteženja",
                                      "Ziegler-Nichols - motnja",
                                      " ",
                                      "SIMC - integrirni proces",
                                      "Lambda - integrirni proces"};
  for (int i = 0; model && i < model->rowCount() && i <= IntegratingLambda; ++i) {
    if (i == NoMethod) continue;
    const bool applies = IsIntegratingMethod(i) == integrating;
    QStandardItem* item = model->item(i);
    item->setEnabled(applies);
    QString text = QString::fromUtf8(Names[i]);
    if (!applies)
      text += integrating ? QString::fromUtf8(" (ni za integrirni proces)")
                          : QString::fromUtf8(" (samo za integrirni proces)");
    if (item->text() != text) item->setText(text);
  }
  const int method = ComboBox1->currentIndex();
  if (pick && method != NoMethod && IsIntegratingMethod(method) != integrating) {
    const QSignalBlocker block(ComboBox1);
    ComboBox1->setCurrentIndex(integrating ? IntegratingSimc : AreaSetpoint);
  }
}

void RegulatorPage::Button_PIDClick() {
  form_.PageControl1->setCurrentIndex(TabRegulator);
  Edit_Vzorcenje->setText(ShownGeneral(form_.Store().SampleTime, 12));
  MarkRulesForKind(CheckBox_CascadeReg->isChecked(), true);
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
  // The panel feeds the plant: it shows what a load would write, so it follows the slider.
  ShowControllerParametersFromControls();
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
  form_.Store().ModelSource = "datoteka regulatorja \"" + S(dialog.FileName) + "\"";
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
