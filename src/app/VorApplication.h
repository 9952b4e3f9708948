// The application object: an error escaping any event handler is shown in the one
// standard error box and the program carries on. Qt's own texts are Slovenian.
#pragma once

#include <QApplication>

class VorApplication : public QApplication {
 public:
  VorApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
  // Installs Qt's Slovenian translation (qt_sl.qm); false when it is not installed.
  static bool LoadQtTranslation(QCoreApplication& app);
};
