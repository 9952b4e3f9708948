// The "Poročilo" tab: what the report contains, its template, and making it.
#pragma once

#include <QWidget>

#include "report/TPorocilo.h"

class TForm1;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

class ReportPage : public QWidget {
  Q_OBJECT
 public:
  explicit ReportPage(TForm1& form);

  // "Izberi predlogo": a chosen file becomes the template (Label63).
  void KnofIzborPredlogeClick();
  // "Izdelaj poročilo": the report under a chosen name, with the ten chart images
  // exported into its folder before and deleted after (also when it fails); the
  // document is then opened in the desktop's application for its type.
  void Button_Naredi_porociloClick();

  // The report's record as the tabs show it (the report path and the images aside).
  ReportInputs InputsFromTabs() const;

  QGroupBox* GroupBox_Vsebina = nullptr;  // "Vsebina poročila"
  QCheckBox* CheckBox1 = nullptr;         // "Obdelava"
  QCheckBox* CheckBox2 = nullptr;         // "Model"
  QCheckBox* CheckBox3 = nullptr;         // "Regulator"
  QLabel* Label63 = nullptr;              // the template, "normal.dot" at first
  QPushButton* KnofIzborPredloge = nullptr;
  QPushButton* Button_Naredi_porocilo = nullptr;

 private:
  TForm1& form_;
};
