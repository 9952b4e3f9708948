// Program entry: the application, its five windows in start-up order, the message loop.
#include <QDir>
#include <QLocale>
#include <QStandardPaths>

#include "app/TForm1.h"
#include "app/TerminationSignals.h"
#include "app/VorApplication.h"
#include "data/Clock.h"
#include "forms/FormHelpers.h"
#include "opc/PlantOpcClient.h"

int main(int argc, char** argv) {
  VorApplication app(argc, argv);
  QLocale::setDefault(ProgramLocale(QLocale::system()));
  SystemClock clock;
  // The OPC UA servers the engineer has connected to are remembered in the user's settings.
  const QString serverList = QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
                                 .filePath(QStringLiteral("opc-servers.txt"));
  std::unique_ptr<OpcClient> opc = CreatePlantOpcClient(clock, serverList.toStdString());
  ApplicationWindows windows = CreateApplicationWindows(*opc, clock);
  windows.Form1->show();
  // Ended by the system or Ctrl-C in a terminal, the program closes as when its window is.
  CloseOnTerminationSignals(*windows.Form1);
  return app.exec();
}
