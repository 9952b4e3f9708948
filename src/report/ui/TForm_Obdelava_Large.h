// The large view of one signal over the analysis window.
#pragma once

#include <QWidget>

class TForm1;

class TForm_Obdelava_Large : public QWidget {
  Q_OBJECT
 public:
  explicit TForm_Obdelava_Large(TForm1& form);

 private:
  TForm1& form_;
};
