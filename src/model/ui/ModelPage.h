// The "Model" tab: the identified model against the measurement, its parameters, bounds and quality class, and the model file.
#pragma once

#include <QWidget>

class TForm1;

class ModelPage : public QWidget {
  Q_OBJECT
 public:
  explicit ModelPage(TForm1& form);
  // Start-up: the four quality pictures hidden.
  void HideQualityImages();
  // "Izračun modela" on the "Obdelava" tab: identify over the analysis window, show the model tab.
  void IzracunModelaClick();

 private:
  TForm1& form_;
};
