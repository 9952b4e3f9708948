// The item browser "Select OPC Item": the connected server's items as a tree whose
// branches are read from the client when the engineer opens them; the user picks one or
// more items.
#pragma once

#include <QDialog>
#include <QStringList>

class OpcClient;
class QTreeWidget;
class QTreeWidgetItem;

class SelectOpcItemDialog : public QDialog {
  Q_OBJECT
 public:
  SelectOpcItemDialog(OpcClient& client, QWidget* parent);
  // The full item IDs of the selected items, in tree order.
  QStringList SelectedItemIds() const;
  QTreeWidget* ItemTree = nullptr;

  // Shows the browser modally; the chosen IDs, or nothing when cancelled.
  static QStringList Browse(OpcClient& client, QWidget* parent);

 private:
  // Reads the entries under a branch (null: the top) into the tree, once.
  void Load(QTreeWidgetItem* branch);
  OpcClient& client_;
};
