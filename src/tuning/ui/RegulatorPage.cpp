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
#include <atomic>
#include <cmath>
#include <memory>

#include "charts/VorChart.h"
#include "data/NumberFormat.h"
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
// or the closed-loop time constant of the integrating ones.
QString SliderToolTip(const MeasurementStore& store, bool cascade, char sep) {
  const TuningResult& t = store.Tuning;
  if (UsesIntegratingRules(store, cascade))
    return QString::fromUtf8(
               "Integrirni proces: drsnik določa zaprtozančno časovno konstanto\n"
               "\xCF\x84"
               "c = 2^((10 \xE2\x88\x92 s)/5) \xC2\xB7 (L + T/2) (pri metodi lambda čas "
               "zaustavitve, trikrat daljši);\n"
               "s = 0 štirikrat počasneje, s = 10 SIMC \xCF\x84"
               "c = L, s = 20 štirikrat hitreje.\n"
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
    SetOwnStatus(Q(outcome.Reason));
    return;
  }
  // An unstable or fragile proposal is named in the status bar as in the report's box.
  WarningScope scope;
  scope.Record = false;
  scope.Proposals = WarningFiguresOf(*robustness_);
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
  std::string reason;
  try {
    controller = ControllerOfPanelValues(PanelInputFromControls(note), PanelValues());
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
  if (robustness_ && robustness_->Reason.empty() && r.Reason.empty())
    robustness_->Scaled = r.Scaled;
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

void RegulatorPage::Button16Click() {
  if (loadingController_) return;  // a load is already waiting for the controller
  // No question about a write while other plant work (a connect) is under way.
  if (Jobs().Running() > 0) {
    form_.SetStatusText(QString::fromUtf8(JobRunner::BusyText()));
    return;
  }
  const char sep = DecimalSeparator();
  // In cascade the panel shows the outer controller, whose items are rows 14-16.
  ControllerLoad load;
  load.Outer = CheckBox_CascadeReg->isChecked();
  const std::array<int, 3> rows = ControllerItemRows(load.Outer);
  // A text that is not a number stops here, before anything is written; the load writes
  // exactly the numbers the panel shows (or the engineer typed).
  const ScaledParameters values = PanelValues();
  load.Values = {values.Kp, values.Ki, values.Kd};
  for (size_t k = 0; k < 3; ++k) load.ItemIds[k] = S(form_.PlantItemId(rows[k]));

  // In cascade the inner controller becomes the P controller the outer one was tuned
  // around, in the same transaction.
  const std::array<int, 3> innerRows = ControllerItemRows(false);
  if (load.Outer) {
    std::array<std::string, 3> innerIds;
    for (size_t k = 0; k < 3; ++k) innerIds[k] = S(form_.PlantItemId(innerRows[k]));
    std::string byHand;
    load.Inner = InnerPController(ComboBox_Regulator->currentIndex(),
                                  form_.Store().Tuning.InnerLoopGain, innerIds, sep, byHand);
    if (!load.Inner) {
      Ui().ShowMessage(Q(byHand + " Parametri niso bili zapisani v regulator."));
      return;
    }
  }

  // Questions before anything is written.
  if (ModelChangedSinceTuning() &&
      !Ui().AskYesNo(QStringLiteral("Parametri pripadajo drugemu modelu: model procesa se je "
                                    "spremenil, odkar so bili parametri izračunani. Jih vseeno "
                                    "naložim v regulator?")))
    return;
  QString note;
  if (tunedProcess_ && RobustnessRefusal(*tunedProcess_).empty()) {
    try {
      const RobustnessFigures f = LoopRobustness(
          *tunedProcess_, ControllerOfPanelValues(PanelInputFromControls(note), values));
      const RobustnessTexts t = FormatRobustness(f, sep);
      if (!f.Stable &&
          !Ui().AskYesNo(QStringLiteral("Zaprta zanka s tem regulatorjem je na modelu nestabilna "
                                        "(%1). Ga vseeno naložim v regulator?")
                             .arg(Q(t.Line))))
        return;
      if (f.Stable && f.Ms > FragileMs &&
          !Ui().AskYesNo(QStringLiteral("Regulator je na modelu krhek: %1 (Ms nad %2). Ga vseeno "
                                        "naložim v regulator?")
                             .arg(Q(t.Line), Q(FormatGeneral(FragileMs, 4, sep)))))
        return;
    } catch (const std::invalid_argument&) {
      // A controller that cannot be judged is judged by the engineer.
    }
  }
  if (load.Inner) {
    QString list;
    const char* const terms[] = {"P", "I", "D"};
    const ControllerTerms* const parts[] = {&*load.Inner, &load};
    for (const ControllerTerms* part : parts) {
      const std::array<int, 3> partRows = ControllerItemRows(part->Outer);
      for (size_t k = 0; k < 3; ++k) {
        if (part->ItemIds[k].empty()) continue;
        list += QStringLiteral("\nvrstica %1, »%2« (%3 %4) = %5")
                    .arg(partRows[k])
                    .arg(Q(part->ItemIds[k]), QString::fromLatin1(terms[k]),
                         part->Outer ? QStringLiteral("zunanjega regulatorja")
                                     : QStringLiteral("notranjega regulatorja"),
                         Q(FormatGeneral(part->Values[k].value_or(0), 15, sep)));
      }
    }
    if (!Ui().AskYesNo(
            QStringLiteral("Kaskada: notranji regulator postane regulator P z "
                           "ojačenjem %1, zunanji dobi parametre s plošče. V obrat "
                           "bo zapisano:%2\nNaložim?")
                .arg(Q(FormatGeneral(form_.Store().Tuning.InnerLoopGain, 15, sep)), list)))
      return;
  }

  RunLoad(load, PlantWriteSource::ControllerLoad);
}

void RegulatorPage::Button_PovrniPrejsnjeClick() {
  if (loadingController_ || !undo_) return;
  if (Jobs().Running() > 0) {
    form_.SetStatusText(QString::fromUtf8(JobRunner::BusyText()));
    return;
  }
  RunLoad(*undo_, PlantWriteSource::Undo);
}

void RegulatorPage::SetLoading(bool loading, bool offThread) {
  loadingController_ = loading;
  Button16->setEnabled(!loading);
  Button16->setText(loading && offThread ? QString::fromUtf8("nalaganje …")
                                         : QString::fromUtf8("Naloži v regulator"));
  if (loading) undoWasOn_ = Button_PovrniPrejsnje->isEnabled();
  Button_PovrniPrejsnje->setEnabled(!loading && undoWasOn_);
  Button_PovrniPrejsnje->setVisible(!(loading && offThread));
  Button_PrekliciNalaganje->setVisible(loading && offThread);
}

void RegulatorPage::RunLoad(const ControllerLoad& load, PlantWriteSource source) {
  // The load is a job: a plant may take up to the link's time-out to answer each request
  // (an in-process plant answers at once, but its items may still be on their way to
  // Good quality). The window says it is under way and "Prekliči" gives up waiting. A
  // cancel never cuts a set in half: the waits end at once, but a write in flight
  // finishes (or is rolled back) on the load's thread, and its outcome is told when it
  // has ended. Bounded by the program's clock; a second bound on real time keeps a clock
  // that does not move (a hand-driven one) from holding the load.
  constexpr qint64 BoundMs = ControllerQualityWaitMs + ControllerReadBackWaitMs;
  struct Shared {
    std::atomic<bool> cancelled = false;
    std::atomic<bool> closing = false;
    ControllerLoadResult result;
  };
  auto shared = std::make_shared<Shared>();
  const PlantWriteContext context = form_.PlantWrites(source);
  OpcGroup* group = &form_.ControllerGroup();
  const Clock* clock = &form_.SystemClock();
  const char separator = DecimalSeparator();
  SetLoading(true, true);
  // The program's end stops the waits too.
  auto* closingWatch = new QTimer(this);
  connect(closingWatch, &QTimer::timeout, this, [this, shared] {
    if (form_.Closing()) shared->cancelled = shared->closing = true;
  });
  closingWatch->start(20);
  cancelLoad_ = [shared] { shared->cancelled = true; };
  const auto work = [shared, group, clock, load, separator, context] {
    QElapsedTimer elapsed;
    elapsed.start();
    QElapsedTimer readingBack;
    shared->result = LoadIntoController(
        *group, load, *clock,
        [&] {
          QThread::msleep(2);
          return !shared->cancelled && elapsed.elapsed() < BoundMs;
        },
        separator, context,
        // The set written, its read-back waits its whole time also after a cancel that
        // came during the writes: the outcome told is what the controller holds.
        [&] {
          if (!readingBack.isValid()) readingBack.start();
          QThread::msleep(2);
          return !shared->closing && readingBack.elapsed() < ControllerReadBackWaitMs;
        });
  };
  const auto ended = [this, shared, source, closingWatch](std::exception_ptr error) {
    closingWatch->deleteLater();
    const bool cancelled = shared->cancelled && !shared->closing;
    cancelLoad_ = nullptr;
    SetLoading(false, true);
    if (error) std::rethrow_exception(error);
    if (!shared->closing) LoadEnded(shared->result, source, cancelled);
  };
  // A cancel is told with the outcome, when the load has ended: the job is not given up.
  Jobs().Start(this, work, ended);
}

void RegulatorPage::PrekliciNalaganjeClick() {
  if (!cancelLoad_) return;
  cancelLoad_();
  // The buttons come back once the load given up has ended.
  Button16->setText(QString::fromUtf8("preklicano …"));
}

void RegulatorPage::LoadEnded(const ControllerLoadResult& result, PlantWriteSource source,
                              bool cancelled) {
  if (form_.Closing()) return;  // the program is ending: no box over it
  const bool written = result.Outcome == ControllerLoadOutcome::Confirmed ||
                       result.Outcome == ControllerLoadOutcome::Differs;
  if (cancelled && result.Outcome == ControllerLoadOutcome::NotWritten) {
    form_.SetStatusText(
        QString::fromUtf8("Nalaganje preklicano: parametri niso bili zapisani v regulator."));
    return;
  }
  QString prefix;
  if (cancelled && written)
    prefix = QString::fromUtf8("Preklic je prišel med zapisovanjem, ki se je izteklo: ");
  if (result.Outcome == ControllerLoadOutcome::NotWritten ||
      result.Outcome == ControllerLoadOutcome::RolledBack)
    Ui().ShowMessage(Q(result.Text));
  else
    form_.SetStatusText(prefix + Q(result.Text));
  if (source == PlantWriteSource::Undo) {
    if (result.Outcome == ControllerLoadOutcome::Confirmed) {
      undo_.reset();
      undoWasOn_ = false;
      Button_PovrniPrejsnje->setEnabled(false);
      form_.SetStatusText(prefix + QStringLiteral("Povrnjeno: ") + Q(result.Text));
    }
  } else if (result.Before) {
    undo_ = result.Before;
    undoWasOn_ = true;
    Button_PovrniPrejsnje->setEnabled(true);
  }
}
