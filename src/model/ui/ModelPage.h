// The "Model" tab: the identified model against the measurement, its parameters, bounds and quality class, and the model file.
#pragma once

#include <QWidget>

#include "data/MeasurementStore.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class Workspace;
class VorChart;

class ModelPage : public QWidget {
  Q_OBJECT
 public:
  explicit ModelPage(Workspace& form);

  // Group "Parametri modela".
  QLineEdit* Edit_Gain = nullptr;
  QLabel* Label_DGain = nullptr;
  QLineEdit* Edit_Time = nullptr;
  QLabel* Label_DTime = nullptr;
  QLineEdit* Edit_Delay = nullptr;
  QLabel* Label_STD = nullptr;
  QLabel* Label_Rel_Pogresek = nullptr;
  QLabel* Label_Kvaliteta = nullptr;
  QLabel* Image_Quality_Green = nullptr;
  QLabel* Image_Quality_Yellow = nullptr;
  QLabel* Image_Quality_Orange = nullptr;
  QLabel* Image_Quality_Red = nullptr;

  QCheckBox* CheckBox_Model_Outer = nullptr;  // "Zunanji proces"
  QPushButton* Button_Uporabi_Model = nullptr;
  QPushButton* Button_Shrani_Model = nullptr;
  QPushButton* Button_Nalozi_Model = nullptr;
  QPushButton* Button_PID = nullptr;  // "Izračun PID parametrov"
  VorChart* Chart_Model = nullptr;    // series "Meritve" and "Model"

  // Start-up and before each new class: the four quality pictures hidden.
  void HideQualityImages();
  // "Izračun modela" on the "Obdelava" tab: identify over the analysis window, show the model tab.
  void IzracunModelaClick();
  // The model chart: measured and model against time over samples first..n, the left
  // axis fixed to the extremes of both with a tenth of their range above and below.
  void PlotModel(const SampleArray& time, const SampleArray& measured, const SampleArray& model,
                 int n, int first = 1);
  // The chosen model's values into the group (standard deviation and relative error with
  // errorDecimals decimals), its quality class, and the sampling check.
  void ShowModel(bool outer, int errorDecimals);
  // The chart of the model chosen by "Zunanji proces".
  void PlotChosenModel();
  // The warnings of the record and its model in the status bar ("Opozorilo: Vzorčenje je
  // preredko" among them), or an empty status bar.
  void SamplingCheck();

  void CheckBox_Model_OuterClick();
  void ApplyModel();  // "Uporabi model"
  void Button_Shrani_ModelClick();
  void Button_Nalozi_ModelClick();

 private:
  void ShowQuality(double relativeError);
  Workspace& form_;
};
