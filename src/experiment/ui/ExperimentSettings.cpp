// The experiment settings file on the "Eksperiment" tab: save, load and apply. The
// controls of this tab, the OPC tab and the dialog TForm_SamodNastav are read into one
// record, which the core turns into the file's lines and back.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <algorithm>

#include "forms/Workspace.h"
#include "data/TextFile.h"
#include "experiment/SettingsFile.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TForm_SamodNastav.h"
#include "opc/ui/OpcPage.h"
#include "opc/ui/RadioGroup.h"

namespace {

std::string Std(const QString& text) { return text.toStdString(); }
QString Q(const std::string& text) { return QString::fromStdString(text); }

// Visits every stored control with its value in the file's line order:
// f(control, value) for a single control, f(table, row, column, text) for a table cell
// and f(RadioRocno, RadioAvtomatsko, manual) for the mode. S is ExperimentSettings (the
// controls are read into it) or const ExperimentSettings (it is written to the controls).
template <class S, class F>
void ForEachControl(Workspace& form, S& s, F&& f) {
  OpcPage& opc = form.OpcTab();
  ExperimentPage& exp = form.ExperimentTab();
  TForm_SamodNastav& dlg = form.SamodNastav();
  f(opc.ComboBox2, s.ServerName);
  for (int row : StoredOpcRows) f(opc.OPCTabela, row, 0, s.ItemIds[row]);
  for (int row : StoredOpcRows) f(opc.OPCTabela, row, 1, s.Descriptions[row]);
  f(opc.RadioGroup4, s.RaSwitchInner);
  f(opc.ComboBox3, s.ManualValueInner);
  f(opc.RadioGroup5, s.RaSwitchOuter);
  f(opc.ComboBox4, s.ManualValueOuter);
  f(exp.CasVzorcenjaEdit, s.SampleTime);
  f(exp.OhraniZacetniVhod, s.KeepInitialInput);
  f(exp.ZacetniVhodEdit, s.InitialInput);
  f(exp.CasCakanjaEdit, s.WaitTime);
  f(exp.VelikostStopniceEdit, s.StepSize);
  f(exp.CasStopniceEdit, s.StepDuration);
  f(exp.SteviloStopnicEdit, s.NumberOfSteps);
  f(exp.CheckBox_ObeSmeri, s.BothDirections);
  f(exp.CheckBox_Zaprtozancni, s.ClosedLoopDuring);
  f(exp.CheckBox_NePisi, s.NoOpcWrite);
  f(exp.RadioRocno, exp.RadioAvtomatsko, s.ManualMode);
  f(exp.Edit_MVMax, s.MvMax);
  f(exp.Edit_MVMin, s.MvMin);
  f(exp.Edit_MVStep, s.MvStep);
  f(dlg.Edit_Sam_Filt, s.FilterTime);
  f(dlg.Edit_Sam_Max, s.ActuatorMaximum);
  f(dlg.Edit_Sam_Min, s.ActuatorMinimum);
  f(dlg.Edit_Sam_Velocity, s.ActuatorVelocity);
  f(dlg.ComboBox_Sam_IzbMetode, s.TuningMethod);
  f(dlg.Edit_Sam_Ts, s.ClosedLoopSampleTime);
  f(dlg.ScrollBar_Sam_Robust, s.Robustness);
  f(dlg.CheckBox_Sam_Cascade, s.Cascade);
  f(dlg.CheckBox_Sam_Nalozi, s.LoadIntoController);
  f(dlg.RadioGroup_Sam_Prikaz, s.ResponseView);
  f(dlg.ComboBox_Sam_TipReg, s.ControllerForm);
  f(dlg.Edit_Sam_SkalP, s.ScaleP);
  f(dlg.Edit_Sam_SkalI, s.ScaleI);
  f(dlg.Edit_Sam_SkalD, s.ScaleD);
  f(dlg.RadioGroup_Sam_PID, s.ControllerType);
  f(dlg.CheckBox_Sam_PorocObd, s.ReportProcessing);
  f(dlg.CheckBox_Sam_PorocMod, s.ReportModel);
  f(dlg.CheckBox_Sam_PorocReg, s.ReportController);
  f(dlg.Label13, s.ReportTemplate);
  f(exp.CajtZacetka, s.StartTime);
  f(exp.CheckBox_ZZPoPoizkusu, s.ClosedLoopAfter);
  f(exp.CheckBox_Sekvencer, s.SequencerPresent);
  for (int r = 0; r < SequencerRows; ++r)
    for (int c = 0; c < 2; ++c) f(exp.StringGrid_Sekvencer, r, c, s.Sequencer[r][c]);
  f(exp.Edit_Y1Min, s.Y1Min);
  f(exp.Edit_Y1Max, s.Y1Max);
  f(exp.Edit_Y2Min, s.Y2Min);
  f(exp.Edit_Y2Max, s.Y2Max);
  f(exp.Edit_NajdaljsiCas, s.MaxDuration);
  f(&exp.ReconnectTime, s.ReconnectTime);  // no control: kept as the file had it
  f(exp.CheckBox_KoncajObUmiritvi, s.EndStepWhenSettled);
}

std::vector<std::string> ServerNames(const QComboBox* servers) {
  std::vector<std::string> names;
  for (int i = 0; i < servers->count(); ++i) names.push_back(Std(servers->itemText(i)));
  return names;
}

// The server list stores the selected entry's text ("" if none); every other list its
// position.
struct ControlReader {
  void operator()(const QComboBox* servers, std::string& name) const {
    const int index = servers->currentIndex();
    name = index >= 0 ? Std(servers->itemText(index)) : std::string();
  }
  void operator()(const QTableWidget* table, int row, int column, std::string& text) const {
    const QTableWidgetItem* item = table->item(row, column);
    text = item ? Std(item->text()) : std::string();
  }
  void operator()(const QLineEdit* edit, std::string& text) const { text = Std(edit->text()); }
  void operator()(const QLabel* label, std::string& text) const { text = Std(label->text()); }
  void operator()(const QCheckBox* box, bool& on) const { on = box->isChecked(); }
  void operator()(const QRadioButton* manual, const QRadioButton*, bool& on) const {
    on = manual->isChecked();
  }
  void operator()(const QComboBox* list, int& index) const { index = list->currentIndex(); }
  void operator()(const RadioGroup* group, int& index) const { index = group->ItemIndex(); }
  void operator()(const QScrollBar* slider, int& position) const { position = slider->value(); }
  void operator()(const std::string* kept, std::string& text) const { text = *kept; }
};

// Sets the controls in the file's line order. A value the control already has changes
// nothing; a check box or radio button whose state changes runs its reaction as a user's
// click would, so the mode rules, the initial-input rule, the dialog's robustness label
// and the R/A enabling follow the applied values.
struct ControlWriter {
  void operator()(QComboBox* servers, const std::string& name) const {
    std::string selected;
    ControlReader{}(servers, selected);
    if (selected != name) servers->setCurrentIndex(FindServerIgnoringCase(ServerNames(servers), name));
  }
  void operator()(QTableWidget* table, int row, int column, const std::string& text) const {
    if (QTableWidgetItem* item = table->item(row, column))
      item->setText(Q(text));
    else
      table->setItem(row, column, new QTableWidgetItem(Q(text)));
  }
  void operator()(QLineEdit* edit, const std::string& text) const {
    if (edit->text() != Q(text)) edit->setText(Q(text));
  }
  void operator()(QLabel* label, const std::string& text) const { label->setText(Q(text)); }
  void operator()(QCheckBox* box, bool on) const { box->setChecked(on); }
  void operator()(QRadioButton* manual, QRadioButton* automatic, bool on) const {
    (on ? manual : automatic)->setChecked(true);
  }
  // A position the list does not have clears the selection.
  void operator()(QComboBox* list, int index) const {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
  }
  // A radio group keeps its last item for a larger position (-1 and below: none).
  void operator()(RadioGroup* group, int index) const {
    group->SetItemIndex(std::clamp(index, -1, group->Count() - 1));
  }
  // The slider keeps a position within its range.
  void operator()(QScrollBar* slider, int position) const { slider->setValue(position); }
  void operator()(std::string* kept, const std::string& text) const { *kept = text; }
};

ExperimentSettings ReadControls(Workspace& form) {
  ExperimentSettings settings;
  ForEachControl(form, settings, ControlReader{});
  return settings;
}

void WriteControls(Workspace& form, const ExperimentSettings& settings) {
  ForEachControl(form, settings, ControlWriter{});
}

}  // namespace

ExperimentSettings ExperimentPage::SettingsFromControls() { return ReadControls(form_); }

bool ExperimentPage::ShraniNastavitveClick() {
  const std::vector<std::string> lines = SettingsLines(ReadControls(form_));
  const QString date = QLocale().toString(DateTimePicker1->date(), QLocale::ShortFormat);

  FileDialog& dialog = form_.SaveDialog1;
  dialog.Filter = QStringLiteral("Vor Tuner Experiment (*.vtx)|*.vtx|All files|*.*");
  dialog.FilterIndex = 0;
  dialog.DefaultExtension = QStringLiteral("vtx");
  dialog.OverwritePrompt = true;
  dialog.FileName = Q(ProposedSettingsFileName(Std(CajtZacetka->text()), Std(date)));
  const bool saved = Ui().ExecuteSaveDialog(this, dialog);
  if (saved) {
    WriteTextLines(Std(dialog.FileName), lines);
    form_.LastDirectory = Q(SettingsFolderOf(Std(dialog.FileName)));
  }
  form_.SetDialogFoldersToLastDirectory();
  return saved;
}

void ExperimentPage::NaloziNastavitveClick() {
  FileDialog& dialog = form_.OpenDialog1;
  dialog.Filter = QStringLiteral("Experiment (*.vtx)|*.vtx|All files|*.*");
  dialog.FilterIndex = 0;
  dialog.DefaultExtension = QStringLiteral("vtx");
  if (!Ui().ExecuteOpenDialog(this, dialog)) return;
  LoadSettingsFromList(ReadTextLines(Std(dialog.FileName)));
}

void ExperimentPage::LoadSettingsFromList(const std::vector<std::string>& lines) {
  ExperimentSettings settings = ReadControls(form_);
  try {
    ApplySettingsLines(lines, settings);
  } catch (...) {
    // The lines before the failing one stay applied; the error box shows the failure and
    // the R/A refresh below does not run.
    WriteControls(form_, settings);
    throw;
  }
  WriteControls(form_, settings);
  form_.OpcTab().RadioGroup4Click();
  form_.OpcTab().RadioGroup5Click();
}
