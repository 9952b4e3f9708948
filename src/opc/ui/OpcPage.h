// The "OPC" tab: server connection, the OPC table that assigns plant signals to items, and the R/A switch configuration.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "forms/JobRunner.h"
#include "opc/ui/SelectOpcItemDialog.h"

class QButtonGroup;
class QComboBox;
class QDialog;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;
class RadioGroup;
class Workspace;

class OpcPage : public QWidget {
  Q_OBJECT
 public:
  explicit OpcPage(Workspace& form);
  // Start-up: the server list filled from the client, first entry selected.
  void FillServerList();
  // Start-up: entry "0" selected in both "Ročno:" lists.
  void SelectManualValuesZero();

  // The server of the present connection, as the engineer chose it (empty: none).
  QString ConnectedServer() const { return connectedServer_; }
  // The log of plant writes, which "Dnevnik zapisov" opens (in the desktop's viewer, or
  // where there is none, in a read-only window of the program).
  void SetWriteLogPath(const QString& path) { writeLogPath_ = path; }
  void Button_DnevnikZapisovClick();

  // Column 0 (item ID) and column 1 (description) of OPCTabela, rows 0..19.
  QString ItemId(int row) const;
  QString Description(int row) const;
  // The inner controller's R/A configuration: RadioGroup4's index (0 one item, 1 two
  // items) and the value of the one item that means manual (ComboBox3).
  int RaSwitchIndex() const;
  int ManualValue() const;

  // The OPC table row of a signal radio button (1..18), and the reverse (-1: none).
  static int RowOfRadioButton(int number);
  static int RadioButtonOfRow(int row);

  // Handlers.
  void PoveziOPCStreznikClick();
  void PrekiniOPCStreznikClick();
  // Gives up waiting for a connect under way.
  void PrekliciPovezovanjeClick();
  // A connect is under way (a job for a server over the network).
  bool ConnectUnderWay() const { return connectJob_ != nullptr; }
  // Shows where the program's certificate is (made on first use) and its thumbprint.
  void CertifikatProgramaKnofClick();
  void dOPCServer1Disconnect();
  // A link lost during a run that the run made again on its own: the tab says the link as
  // it is now (the server's state asked off the window's thread), "Poveži" again.
  void LinkMadeAgain();
  // Picks an item for the row chosen last (a selected cell or a clicked signal).
  void IzberiAjtemKnofClick();
  void OPCTabelaDblClick(int row, int column);
  void OPCTabelaSelectCell(int row, int column);
  void RadioGroup4Click();
  void RadioGroup5Click();

  // Server connection.
  QComboBox* ComboBox2 = nullptr;
  // "Varnost" of an OPC UA connection: samodejno, brez, podpis, podpis in šifriranje.
  QComboBox* VarnostComboBox = nullptr;
  QPushButton* CertifikatProgramaKnof = nullptr;
  QPushButton* PoveziOPCStreznik = nullptr;
  QPushButton* PrekiniOPCStreznik = nullptr;
  QPushButton* Button_DnevnikZapisov = nullptr;
  // Shown in place of "Prekini" while a connect to a server over the network is under
  // way: gives up waiting for it.
  QPushButton* PrekliciPovezovanje = nullptr;
  QLabel* Label54 = nullptr;
  // Signal assignment; RadioButton[n] is RadioButtonn, element 0 unused.
  QTableWidget* OPCTabela = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QRadioButton* RadioButton3 = nullptr;
  QRadioButton* RadioButton4 = nullptr;
  QRadioButton* RadioButton5 = nullptr;
  QRadioButton* RadioButton6 = nullptr;
  QRadioButton* RadioButton7 = nullptr;
  QRadioButton* RadioButton8 = nullptr;
  QRadioButton* RadioButton9 = nullptr;
  QRadioButton* RadioButton10 = nullptr;
  QRadioButton* RadioButton11 = nullptr;
  QRadioButton* RadioButton12 = nullptr;
  QRadioButton* RadioButton13 = nullptr;
  QRadioButton* RadioButton14 = nullptr;
  QRadioButton* RadioButton15 = nullptr;
  QRadioButton* RadioButton16 = nullptr;
  QRadioButton* RadioButton17 = nullptr;
  QRadioButton* RadioButton18 = nullptr;
  QPushButton* IzberiAjtemKnof = nullptr;
  // R/A configuration of the inner (4) and the outer (5) controller.
  RadioGroup* RadioGroup4 = nullptr;
  RadioGroup* RadioGroup5 = nullptr;
  QLabel* Label14 = nullptr;
  QLabel* Label15 = nullptr;
  QComboBox* ComboBox3 = nullptr;
  QComboBox* ComboBox4 = nullptr;

  QRadioButton* RadioButton(int number) const;

 private:
  struct Connecting;
  QString lostServer_;  // the server whose link was lost ("Poveži znova" makes it again)
  // The connect's end: the written items marked, the server remembered, its state shown.
  void Connected(const QString& server, const Connecting& connecting);
  void ApplyRaConfiguration(int index, QRadioButton* single, QRadioButton* manual,
                            QRadioButton* automatic, QLabel* label, QComboBox* values);
  QString Cell(int row, int column) const;
  // Why a pick cannot land in a row (empty: it can).
  QString PickRefusal(int row) const;
  // The signal the program writes into the item of a row ("MV", "P člen"); "" for a row
  // it only reads or does not use (the R/A items of the other configuration).
  QString WrittenSignal(int row) const;
  // Marks an item ID cell whose item the program writes but may not (note: why); an
  // empty note, or another ID typed into the cell, takes the mark away.
  void MarkNotWritable(int row, const QString& note);
  // The status bar's text of this tab's last action, cleared when the next one starts.
  void SetOwnStatus(const QString& text);
  void ClearOwnStatus();
  bool eventFilter(QObject* watched, QEvent* event) override;

  Workspace& form_;
  QRadioButton* radioButtons_[19] = {};
  QButtonGroup* signalButtons_ = nullptr;
  int targetRow_ = -1;  // the row of the last selected cell or clicked signal
  QString connectedServer_;
  QString writeLogPath_;
  QDialog* logView_ = nullptr;
  QString ownStatus_;
  JobRunner::JobHandle connectJob_;
  std::shared_ptr<Connecting> connecting_;
  bool disconnecting_ = false;  // "Prekini" is ending the link: no loss to report
  // The engineer ended the link ("Prekini", a connect given up) and has not connected
  // since: a loss reported late (queued from another thread) is not told.
  bool endedByEngineer_ = false;
  // Where the engineer was in the item browser, by server (UaEndpointKey), for this run.
  std::map<std::string, ItemBrowserPlace> browserPlaces_;
};
