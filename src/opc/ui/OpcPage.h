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

  // Column 0 (item ID) and column 1 (description) of OPCTabela, rows 0..19.
  QString ItemId(int row) const;
  QString Description(int row) const;

 private:
  TForm1& form_;
};
