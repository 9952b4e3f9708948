// The "Regulator" tab: tuning rules, the robustness-speed slider, simulated responses, controller forms and loading the parameters into the controller.
#pragma once

#include <QWidget>

class TForm1;

class RegulatorPage : public QWidget {
  Q_OBJECT
 public:
  explicit RegulatorPage(TForm1& form);

  // "Izračun PID parametrov" on the "Model" tab.
  void Button_PIDClick();

 private:
  TForm1& form_;
};
