// The application object: an error escaping any event handler is shown in the one
// standard error box and the program carries on.
#pragma once

#include <QApplication>

class VorApplication : public QApplication {
 public:
  VorApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
