// The "OPC" tab: server connection, the OPC table that assigns plant signals to items, and the R/A switch configuration.
#pragma once

#include <QWidget>

class TForm1;

class OpcPage : public QWidget {
  Q_OBJECT
 public:
  explicit OpcPage(TForm1& form);
  // Start-up: the server list filled from the client, first entry selected.
  void FillServerList();
  // Start-up: entry "0" selected in both "Ročno:" lists.
  void SelectManualValuesZero();

 private:
  TForm1& form_;
};
