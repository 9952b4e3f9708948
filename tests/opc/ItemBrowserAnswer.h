// Answers the modal item browser "Izbira točke OPC" in a widget test, so that no test
// blocks on it.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "opc/ui/SelectOpcItemDialog.h"

// Runs action; the item browser it opens is handed to answer while shown modally, once
// it has read the server (a browser still open afterwards is cancelled). True when a
// browser was shown.
inline bool WithItemBrowser(const std::function<void()>& action,
                            const std::function<void(SelectOpcItemDialog&)>& answer) {
  bool shown = false;
  bool done = false;
  int attempts = 0;
  std::function<void()> poll = [&] {
    if (done) return;
    auto* dialog = qobject_cast<SelectOpcItemDialog*>(QApplication::activeModalWidget());
    if (dialog && dialog->Busy()) {
      QTimer::singleShot(5, poll);  // answered once the server's answer is shown
    } else if (dialog) {
      shown = true;
      answer(*dialog);
      if (dialog->isVisible()) dialog->reject();
    } else if (++attempts < 20) {
      QTimer::singleShot(5, poll);
    }
  };
  QTimer::singleShot(0, poll);
  action();
  // No browser opened: let the poll run out before it goes out of scope.
  while (!shown && attempts < 20) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  done = true;
  return shown;
}

// The entry of the tree with the full node or item ID (null: none shown).
inline QTreeWidgetItem* TreeEntry(SelectOpcItemDialog& dialog, const QString& id) {
  for (QTreeWidgetItemIterator it(dialog.ItemTree); *it; ++it)
    if ((*it)->text(SelectOpcItemDialog::IdColumn) == id) return *it;
  return nullptr;
}

// Selects the leaf with the full item ID and confirms.
inline void PickItem(SelectOpcItemDialog& dialog, const QString& itemId) {
  for (QTreeWidgetItemIterator it(dialog.ItemTree); *it; ++it)
    (*it)->setSelected((*it)->data(0, Qt::UserRole).toString() == itemId);
  dialog.accept();
}
