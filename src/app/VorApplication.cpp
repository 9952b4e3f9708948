#include "app/VorApplication.h"

#include <exception>

#include "forms/UiServices.h"

VorApplication::VorApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Vor Tuner"));
  setApplicationDisplayName(QStringLiteral("Vor Tuner"));
}

bool VorApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    Ui().ShowError(QString::fromUtf8(e.what()));
  } catch (...) {
    Ui().ShowError(QStringLiteral("Unknown error"));
  }
  return false;
}
