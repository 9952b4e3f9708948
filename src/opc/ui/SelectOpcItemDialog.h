// The item browser "Select OPC Item": the connected server's item IDs as a tree (parts
// separated by "."); the user picks one or more leaves.
#pragma once

#include <QDialog>
#include <QStringList>

class QTreeWidget;

class SelectOpcItemDialog : public QDialog {
  Q_OBJECT
 public:
  SelectOpcItemDialog(const QStringList& itemIds, QWidget* parent);
  // The full item IDs of the selected leaves, in tree order.
  QStringList SelectedItemIds() const;
  QTreeWidget* ItemTree = nullptr;

  // Shows the browser modally; the chosen IDs, or nothing when cancelled.
  static QStringList Browse(const QStringList& itemIds, QWidget* parent);
};
