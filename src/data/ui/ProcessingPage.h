// The "Obdelava" tab: the four conditioned signals over the analysis window, their statistics, column choice, conditioning parameters and data files.
#pragma once

#include <QWidget>

class TForm1;

class ProcessingPage : public QWidget {
  Q_OBJECT
 public:
  explicit ProcessingPage(TForm1& form);

 private:
  TForm1& form_;
};
