// The item browser "Izbira točke OPC": the connected server's items as a tree whose
// branches are read from the client when the engineer opens them, each with its node ID,
// data type, access and present value; the user picks one or more items. A server over
// the network is read off the window's thread, with "Prekliči" to give up waiting.
#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "forms/JobRunner.h"
#include "opc/OpcClient.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
struct OpcBrowseLevel;

// Where the engineer was in the browser of one server: the branches open and the node
// chosen last.
struct ItemBrowserPlace {
  std::set<std::string> Open;
  std::string Current;
};

struct ItemBrowserRequest {
  // Read at opening (the browser opens there), written at closing; none: not remembered.
  ItemBrowserPlace* Place = nullptr;
  // The signal the program writes into the item picked ("MV"); empty when it only reads
  // it. Items the engineer may not write are then marked.
  QString WrittenSignal;
};

class SelectOpcItemDialog : public QDialog {
  Q_OBJECT
 public:
  SelectOpcItemDialog(OpcClient& client, QWidget* parent, const ItemBrowserRequest& request = {});
  ~SelectOpcItemDialog() override;
  // The full item IDs of the selected items, in tree order.
  QStringList SelectedItemIds() const;
  // What the browser knows of an item it shows (Unknown facts for another ID).
  OpcItemFacts FactsOf(const QString& itemId) const;
  // The note on an item the program writes but the engineer may not ("" for another).
  QString NotWritableNote(const OpcItemFacts& facts) const;
  // True while the browser reads from the server (or is about to, having just opened).
  bool Busy() const { return loading_ || firstLoadPending_; }

  // Columns of ItemTree.
  enum Column { NameColumn, IdColumn, TypeColumn, AccessColumn, ValueColumn };
  QTreeWidget* ItemTree = nullptr;
  // While a level is read from the server: what is under way (or what went wrong), and
  // the button that gives up waiting.
  QLabel* StanjeBrskanja = nullptr;
  QPushButton* PrekliciBrskanje = nullptr;
  // Below the tree: the note on a chosen item that the program would write but may not.
  QLabel* OpombaZapisljivosti = nullptr;

  // Shows the browser over parent and returns at once; when the engineer has picked,
  // chosen receives the IDs and whether the first is an item the program writes but may
  // not (nothing is called when the browser is cancelled).
  static void Browse(OpcClient& client, QWidget* parent, const ItemBrowserRequest& request,
                     std::function<void(QStringList ids, bool notWritable)> chosen);

 protected:
  void done(int result) override;

 private:
  // Reads the entries under a branch (null: the top) into the tree, once, with the
  // remembered open branches below it.
  void Load(QTreeWidgetItem* branch);
  // Adds a level read from the server under parent (null: the top).
  void Fill(QTreeWidgetItem* parent, const OpcBrowseLevel& level);
  // A level read (or not: its problem, or cancelled) into the tree.
  void Loaded(QTreeWidgetItem* branch, const std::string& branchId, const OpcBrowseLevel& level,
              const QString& problem, bool cancelled);
  // The branches opened while another was read, read in turn.
  void NextWaiting();
  QTreeWidgetItem* UnreadBranch(const std::string& branchId) const;
  void ShowFacts(QTreeWidgetItem* item, const OpcItemFacts& facts);
  void SelectionChanged();
  void RestoreCurrent();

  OpcClient& client_;
  ItemBrowserRequest request_;
  std::set<std::string> open_;             // branch IDs open now
  std::map<QString, OpcItemFacts> facts_;  // by item ID
  bool loading_ = false;
  bool firstLoadPending_ = false;
  bool restorePending_ = false;  // where the engineer was is shown once the reading is done
  QList<QTreeWidgetItem*> waiting_;
  JobRunner::JobHandle job_;
  QMetaObject::Connection cancelling_;
  QPushButton* okButton_ = nullptr;
};
