// The "Eksperiment" tab: the parameters of the next experiment, its activation and the queue of automatic experiments.
#pragma once

#include <QWidget>

class TForm1;

class ExperimentPage : public QWidget {
  Q_OBJECT
 public:
  explicit ExperimentPage(TForm1& form);
  // Start-up: the start-date picker set to today.
  void SetStartDateToday();

 private:
  TForm1& form_;
};
