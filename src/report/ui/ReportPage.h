// The "Poročilo" tab: what the report contains, its template, and making it.
#pragma once

#include <QWidget>

class Workspace;

class ReportPage : public QWidget {
  Q_OBJECT
 public:
  explicit ReportPage(Workspace& form);

 private:
  Workspace& form_;
};
