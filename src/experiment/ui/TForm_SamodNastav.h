// The dialog of further options of the automatic experiment: conditioning, tuning, report.
#pragma once

#include <QDialog>

class TForm1;

class TForm_SamodNastav : public QDialog {
  Q_OBJECT
 public:
  explicit TForm_SamodNastav(TForm1& form);

 private:
  TForm1& form_;
};
