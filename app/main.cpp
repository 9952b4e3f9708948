// Program entry: the application, its five windows in start-up order, the message loop.
#include "app/TForm1.h"
#include "app/VorApplication.h"
#include "data/Clock.h"
#include "opc/LocalOpcClient.h"

int main(int argc, char** argv) {
  VorApplication app(argc, argv);
  SystemClock clock;
  std::unique_ptr<OpcClient> opc = CreateLocalOpcClient(clock);
  ApplicationWindows windows = CreateApplicationWindows(*opc, clock);
  windows.Form1->show();
  return app.exec();
}
