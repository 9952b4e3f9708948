#include "opc/ui/SelectOpcItemDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int ItemIdRole = Qt::UserRole;

QTreeWidgetItem* Child(QTreeWidget* tree, QTreeWidgetItem* parent, const QString& text) {
  const int count = parent ? parent->childCount() : tree->topLevelItemCount();
  for (int i = 0; i < count; ++i) {
    QTreeWidgetItem* child = parent ? parent->child(i) : tree->topLevelItem(i);
    if (child->text(0) == text) return child;
  }
  auto* child = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
  child->setText(0, text);
  child->setFlags(Qt::ItemIsEnabled);  // a branch, until an ID ends here
  return child;
}

}  // namespace

SelectOpcItemDialog::SelectOpcItemDialog(const QStringList& itemIds, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("SelectOpcItemDialog"));
  setWindowTitle(QStringLiteral("Select OPC Item"));
  resize(360, 420);
  ItemTree = new QTreeWidget(this);
  ItemTree->setObjectName(QStringLiteral("ItemTree"));
  ItemTree->setHeaderHidden(true);
  ItemTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (const QString& id : itemIds) {
    QTreeWidgetItem* node = nullptr;
    for (const QString& part : id.split(QLatin1Char('.'))) node = Child(ItemTree, node, part);
    node->setData(0, ItemIdRole, id);
    node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  }
  ItemTree->expandAll();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(ItemTree, &QTreeWidget::itemSelectionChanged, this, [this, buttons] {
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!SelectedItemIds().isEmpty());
  });
  connect(ItemTree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (item->flags() & Qt::ItemIsSelectable) accept();
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ItemTree);
  layout->addWidget(buttons);
}

QStringList SelectOpcItemDialog::SelectedItemIds() const {
  QStringList ids;
  for (QTreeWidgetItemIterator it(ItemTree, QTreeWidgetItemIterator::Selected); *it; ++it) {
    const QVariant id = (*it)->data(0, ItemIdRole);
    if (id.isValid()) ids << id.toString();  // a branch names no item
  }
  return ids;
}

QStringList SelectOpcItemDialog::Browse(const QStringList& itemIds, QWidget* parent) {
  SelectOpcItemDialog dialog(itemIds, parent);
  return dialog.exec() == QDialog::Accepted ? dialog.SelectedItemIds() : QStringList{};
}
