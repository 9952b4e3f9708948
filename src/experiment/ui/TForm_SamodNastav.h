// The dialog of further options of the automatic experiment: conditioning, tuning, report.
#pragma once

#include <QDialog>

#include "forms/UiServices.h"

class Workspace;
class RadioGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

class TForm_SamodNastav : public QDialog {
  Q_OBJECT
 public:
  explicit TForm_SamodNastav(Workspace& form);

  // The robustness factor of the slider's position, 3 decimals.
  void ScrollBar_Sam_RobustChange();
  // "Izberi predlogo": the report template; the label shows the chosen full path.
  void Button_Sam_IzberiPredlogoClick();
  // "OK": hides the dialog; nothing is validated.
  void Button_Sam_OKClick();

  QLineEdit* Edit_Sam_Filt = nullptr;
  QLineEdit* Edit_Sam_Max = nullptr;
  QLineEdit* Edit_Sam_Min = nullptr;
  QLineEdit* Edit_Sam_Velocity = nullptr;
  QComboBox* ComboBox_Sam_IzbMetode = nullptr;
  QLineEdit* Edit_Sam_Ts = nullptr;
  QScrollBar* ScrollBar_Sam_Robust = nullptr;
  QLabel* Label_Sam_Robust = nullptr;
  RadioGroup* RadioGroup_Sam_Prikaz = nullptr;
  QComboBox* ComboBox_Sam_TipReg = nullptr;
  QLineEdit* Edit_Sam_SkalP = nullptr;
  QLineEdit* Edit_Sam_SkalI = nullptr;
  QLineEdit* Edit_Sam_SkalD = nullptr;
  RadioGroup* RadioGroup_Sam_PID = nullptr;
  QCheckBox* CheckBox_Sam_Cascade = nullptr;
  QCheckBox* CheckBox_Sam_Nalozi = nullptr;
  QCheckBox* CheckBox_Sam_PorocObd = nullptr;
  QCheckBox* CheckBox_Sam_PorocMod = nullptr;
  QCheckBox* CheckBox_Sam_PorocReg = nullptr;
  QLabel* Label13 = nullptr;  // report template path
  QPushButton* Button_Sam_IzberiPredlogo = nullptr;
  QPushButton* Button_Sam_OK = nullptr;

  FileDialog OpenDialog_Sam_Predloga;

 private:
  void BuildLeftColumn();
  void BuildRightColumn();

  Workspace& form_;
};
