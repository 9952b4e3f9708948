// "Naloži podatke": the import dialog of a delimited export. It shows the first rows, the
// detected delimiter, decimal mark and time format (each overridable), the columns of MV,
// U, Y1 and Y2 by header name, the sample time and range, the actuator if the engineer
// gives one, and what the reading rules counted; the record it accepts replaces the store's only
// after "Naloži".
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "data/DelimitedImport.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

class ImportDialog : public QDialog {
  Q_OBJECT
 public:
  // The file's decoded lines; the file name is shown only.
  ImportDialog(QWidget* parent, std::vector<std::string> lines, const QString& fileName);

  // The table and record as the controls stand; set while "Naloži" is enabled.
  const std::optional<DelimitedImport>& Result() const { return result_; }

  QLabel* Label_Datoteka = nullptr;
  QComboBox* Combo_Locilo = nullptr;         // "Samodejno", ";", ",", tab
  QComboBox* Combo_DecimalniZnak = nullptr;  // "Samodejno", ".", ","
  QComboBox* Combo_OblikaCasa = nullptr;     // "Samodejno" and the three formats
  QSpinBox* SpinBox_StolpecCasa = nullptr;   // 0: "Samodejno"
  QLabel* Label_Zaznano = nullptr;           // what was detected and used
  QTableWidget* Table_Predogled = nullptr;   // the first rows
  QComboBox *Combo_MV = nullptr, *Combo_U = nullptr, *Combo_Y1 = nullptr, *Combo_Y2 = nullptr;
  QLineEdit* Edit_CasVzorcenja = nullptr;  // s; empty: the median interval
  QLineEdit* Edit_Zacetek = nullptr;       // s from the first row; empty: at the MV step
  QLineEdit* Edit_Konec = nullptr;         // s from the first row; empty: as many as fit
  QLineEdit* Edit_MejaVrzeli = nullptr;    // s; empty: five sample times
  // The actuator's maximum, minimum and full-stroke time; empty: no actuator model
  QLineEdit* Edit_Aktuator_Maksimum = nullptr;
  QLineEdit* Edit_Aktuator_Minimum = nullptr;
  QLineEdit* Edit_Aktuator_Cas = nullptr;
  QPlainTextEdit* Text_Stetje = nullptr;   // the counts, what was left out, or the error
  QPushButton* Button_Nalozi = nullptr;
  QPushButton* Button_Preklici = nullptr;

 private:
  void BuildControls();
  // Reads the table again with the format controls, then resamples.
  void ReadTable();
  // Resamples with the column, time and range controls.
  void Resample();
  void ShowPreview();
  void ShowError(const QString& text);
  void FillColumnChoice();

  std::vector<std::string> lines_;
  std::optional<DelimitedTable> table_;
  std::optional<DelimitedImport> result_;
  bool filling_ = false;
};
