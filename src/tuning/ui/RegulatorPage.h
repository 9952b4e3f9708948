// The "Regulator" tab: tuning rules, the robustness-speed slider, simulated responses, controller forms and loading the parameters into the controller.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "tuning/ControllerLoad.h"
#include "tuning/Robustness.h"
#include "tuning/TRegulator.h"

class Workspace;
struct SequencerTexts;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class VorChart;
class ChartSeries;
class RadioGroup;

class RegulatorPage : public QWidget {
  Q_OBJECT
 public:
  explicit RegulatorPage(Workspace& form);

  // Tuning from the store's models into the summary labels, the recommended sampling
  // time and the chart. A sampling-time text that is not a number throws after the
  // labels were written; no usable sampling time or a zero gain keeps the chart and says
  // why in the status bar.
  void RecomputeTuning(int method, int sliderPosition, int responseKind,
                       const QString& samplingTimeText, bool cascade);
  // The scaled-parameters panel in the chosen form for the chosen controller type.
  void ShowControllerParameters(int form, int type, bool cascade);
  // Both, with the arguments taken from the tab's controls.
  void RecomputeTuningFromControls();
  void ShowControllerParametersFromControls();

  // The report's table "Robustnost regulatorjev" for the proposals the tab shows.
  const std::vector<RobustnessTableRow>& RobustnessRows() const { return robustnessRows_; }
  // The figures behind that table and the panel's (none before the first recomputation),
  // for the warnings of the report and the status bar.
  const std::optional<RobustnessSet>& Robustness() const { return robustness_; }

  // The tab's settings and the store's models as a controller settings file; the
  // automatic post-processing writes its ".vtc" through this too.
  void SaveControllerSettingsFile(const QString& fileName);

  // Handlers.
  void Button_PIDClick();  // "Izračun PID parametrov" on the "Model" tab
  // The rule list for the kind of the tuned loop's process: the rules for the other kind
  // disabled and marked, and the slider's tooltip with what it sets. With pick, a rule of
  // the other kind is replaced by the first rule of this kind.
  void MarkRulesForKind(bool cascade, bool pick);
  void ComboBox1Change();
  void CheckBox_CascadeRegClick();
  void ScrollBar_RobustChange();
  void RadioGroup_MotnjaClick();
  void Edit_VzorcenjeKeyPress();
  void ComboBox_RegulatorChange();
  void RadioGroup_IzbiraTipaRegClick();
  void Edit_Reg_ScalePKeyPress();
  void Edit_Reg_ScaleIKeyPress();
  void Edit_Reg_ScaleDKeyPress();
  void Button9Click();   // "Shrani v datoteko"
  void Button8Click();   // "Naloži iz datoteke"
  // Sets the tuning choices (sampling time, method, slider, response, form, type, scales,
  // cascade) with the change handlers quiet; the caller recomputes when it needs to.
  void SetTuningControls(const ControllerSettings& settings);
  // The same choices as the tab shows them (the model values stay 0).
  ControllerSettings TuningControls() const;
  void Button16Click();  // "Naloži v regulator"
  // "Povrni prejšnje": writes back what the controller held before the last load.
  void Button_PovrniPrejsnjeClick();
  // Gives up waiting for the load under way.
  void PrekliciNalaganjeClick();
  // A connect has ended: values told of another server leave the status bar, and a set
  // whose outcome was not known is read back once its own server is connected again.
  void ServerConnected();
  // The robustness figures beside the load button for the panel's numbers as they stand
  // (typed ones too), on the model the parameters were tuned on.
  void ShowPanelRobustness();
  // "Robustni predlog": offers the recommended sampling time when the closed loop's is
  // longer, then moves the slider to the fastest position whose panel controller is
  // stable with Ms within "Največji Ms", or says why none is.
  void Button_RobustniPredlogClick();

  // Controls.
  QComboBox* ComboBox1 = nullptr;
  QScrollBar* ScrollBar_Robust = nullptr;
  QCheckBox* CheckBox_CascadeReg = nullptr;
  QLabel* Label_Kp_Cascade = nullptr;
  QLabel *Label_Ki = nullptr, *Label_Kp_P = nullptr, *Label_PI_Kp = nullptr,
         *Label_PI_Ti = nullptr, *Label_PID_Kp = nullptr, *Label_PID_Ti = nullptr,
         *Label_PID_Td = nullptr;
  QComboBox* ComboBox_Regulator = nullptr;
  RadioGroup* RadioGroup_IzbiraTipaReg = nullptr;
  QLineEdit *Edit_Reg_ScaleP = nullptr, *Edit_Reg_ScaleI = nullptr, *Edit_Reg_ScaleD = nullptr;
  QLineEdit *Edit_Reg_Kp = nullptr, *Edit_Reg_Ki = nullptr, *Edit_Reg_Kd = nullptr;
  QLabel *Label_Reg_Name_Kp = nullptr, *Label_Reg_Name_Ki = nullptr, *Label_Reg_Name_Kd = nullptr;
  QLabel *Label_LabOjacSekv = nullptr, *Label_OjacSekv = nullptr;
  // Ms, gain and phase margin of each proposal and of the panel's controller.
  QLabel *Label_Robust_I = nullptr, *Label_Robust_P = nullptr, *Label_Robust_PI = nullptr,
         *Label_Robust_PID = nullptr, *Label_Robust_Reg = nullptr;
  QLineEdit* Edit_Vzorcenje = nullptr;
  QLabel* Label_Priporocljiv = nullptr;
  RadioGroup* RadioGroup_Motnja = nullptr;
  VorChart* Chart1 = nullptr;
  ChartSeries *LineSeries3 = nullptr, *Series5 = nullptr, *Series3 = nullptr,
              *Series4 = nullptr, *LineSeries4 = nullptr;
  QPushButton *Button8 = nullptr, *Button9 = nullptr, *Button16 = nullptr;
  QPushButton* Button_PovrniPrejsnje = nullptr;
  // "Prekliči": gives up a load that waits on a plant over a network.
  QPushButton* Button_PrekliciNalaganje = nullptr;
  // "Parametri pripadajo drugemu modelu": the store's model changed since the tuning.
  QLabel* Label_DrugModel = nullptr;
  QLineEdit* Edit_MaxMs = nullptr;
  QPushButton* Button_RobustniPredlog = nullptr;
  QLabel* Label_Vzorcenje_Opozorilo = nullptr;

 private:
  void BuildControls();
  void Connect();
  // The largest slope of the experiment tab's sequencer over the measured Y1 range.
  double SequencerGainFromControls(const SequencerTexts& sequencer, QString& note) const;
  void ShowRobustness(const RobustnessSet& set);
  // The unstable or fragile controllers of the figures as they stand, in the status bar.
  void ShowRobustnessWarnings();
  // The note on a closed-loop sampling time h longer than the recommended one.
  void ShowSampleTimeNote(double h);
  PanelInput PanelInputFromControls(int form, int type, bool cascade, QString& note) const;
  void SetOwnStatus(const QString& text);
  void ClearOwnStatus();
  bool Suppressed() const;
  void showEvent(QShowEvent* event) override;
  // The panel's input as the controls give it, and its numbers read from the edits (a
  // text that is not a number throws the conversion error).
  PanelInput PanelInputFromControls(QString& note) const;
  ScaledParameters PanelValues() const;
  // The panel's edits as they stand: which are shown and their texts.
  ControllerPanel ShownPanel() const;
  // The store's model is not the one the panel's parameters were tuned on.
  bool ModelChangedSinceTuning() const;
  // Runs a load through the gate as a job, with the buttons off meanwhile and "Prekliči"
  // to give the waits up; LoadEnded tells its outcome.
  void RunLoad(const ControllerLoad& load, PlantWriteSource source);
  // The result's box or status, and what "Povrni prejšnje" restores; cancelled: the
  // engineer gave the load up, and it has ended since.
  void LoadEnded(const ControllerLoad& load, const ControllerLoadResult& result,
                 PlantWriteSource source, bool cancelled);
  // An undo found the items changed since the load: the three columns, and the question.
  void AskUndoOverChange(const ControllerLoadResult& result);
  // Reads the items of a set whose outcome was not known and says what they hold.
  void ReadBackUnsureSet();
  // The buttons while a load runs: "Naloži v regulator" off, and for a load off the
  // window's thread "nalaganje …" on it and "Prekliči" in place of "Povrni prejšnje".
  void SetLoading(bool loading, bool offThread);

  Workspace& form_;
  QString ownStatus_;
  bool loadingController_ = false;
  std::function<void()> cancelLoad_;  // gives up the waits of the load under way
  bool undoWasOn_ = false;  // "Povrni prejšnje" was on before the load that runs
  bool warningsInStatus_ = false;  // the status bar tells the figures' warnings
  // The controller the panel shows, judged again when the sampling time changes.
  std::optional<LoopController> panelController_;
  // The process the parameters were tuned on (model and sampling time of the tuning).
  std::optional<SampledProcess> tunedProcess_;
  // What the controller held before the last load, until the next one: the server and
  // the items it was read from, the values to restore, and (as what the items must still
  // hold) the values the load wrote. Kept across a reconnect to the same server; it goes
  // with the program's end.
  struct Undo {
    OpcServerIdentity Server;
    ControllerLoad Restore;
  };
  std::optional<Undo> undo_;
  // A set whose outcome is not known (the link lost during a write): its server and items.
  struct UnsureSet {
    OpcServerIdentity Server;
    std::vector<std::string> ItemIds;
    QString Text;
  };
  std::optional<UnsureSet> unsure_;
  OpcServerIdentity loadServer_;    // the server of the load that runs
  OpcServerIdentity statusServer_;  // the server whose values this tab's status tells
  std::vector<RobustnessTableRow> robustnessRows_;
  std::optional<RobustnessSet> robustness_;
};
