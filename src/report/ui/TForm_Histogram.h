// The histogram window: the distribution of one signal over the analysis window.
#pragma once

#include <QWidget>

class TForm1;

class TForm_Histogram : public QWidget {
  Q_OBJECT
 public:
  explicit TForm_Histogram(TForm1& form);

 private:
  TForm1& form_;
};
