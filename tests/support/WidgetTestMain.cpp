// Entry of the widget test programs: an offscreen application object of the program's
// own kind (so errors escaping handlers reach the error box), then the tests.
#include <gtest/gtest.h>

#include <QStandardPaths>

#include "app/VorApplication.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  VorApplication app(argc, argv);
  // The program's files (the log of plant writes) go to a test folder, not the user's.
  QStandardPaths::setTestModeEnabled(true);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
