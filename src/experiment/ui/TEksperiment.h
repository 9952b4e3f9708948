// The experiment window: runs one step-response experiment sample by sample, shown modally.
#pragma once

#include <QDialog>

class TForm1;

class TEksperiment : public QDialog {
  Q_OBJECT
 public:
  explicit TEksperiment(TForm1& form);

 private:
  TForm1& form_;
};
