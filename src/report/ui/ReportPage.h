// The "Poročilo" tab: what the report contains, its template, and making it.
#pragma once

#include <QWidget>

class TForm1;

class ReportPage : public QWidget {
  Q_OBJECT
 public:
  explicit ReportPage(TForm1& form);

 private:
  TForm1& form_;
};
