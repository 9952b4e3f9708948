// The "Eksperiment" tab: the parameters of the next experiment, its activation and the queue of automatic experiments.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

class TForm1;

class ExperimentPage : public QWidget {
  Q_OBJECT
 public:
  explicit ExperimentPage(TForm1& form);
  // Start-up: the start-date picker set to today.
  void SetStartDateToday();

  // The experiment settings file (".vtx"): "Shrani nastavitve", "Naloži nastavitve", and
  // applying a list of lines to the controls of this tab, the OPC tab and the dialog.
  void ShraniNastavitveClick();
  void NaloziNastavitveClick();
  void LoadSettingsFromList(const std::vector<std::string>& lines);

 private:
  TForm1& form_;
};
