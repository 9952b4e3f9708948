#include "opc/ui/SelectOpcItemDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "opc/OpcClient.h"

namespace {

constexpr int ItemIdRole = Qt::UserRole;       // the item ID of an item
constexpr int BranchIdRole = Qt::UserRole + 1;  // the branch ID of an unread branch
constexpr int SmallTree = 100;                  // entries read at once and shown open

}  // namespace

SelectOpcItemDialog::SelectOpcItemDialog(OpcClient& client, QWidget* parent)
    : QDialog(parent), client_(client) {
  setObjectName(QStringLiteral("SelectOpcItemDialog"));
  setWindowTitle(QStringLiteral("Select OPC Item"));
  resize(360, 420);
  ItemTree = new QTreeWidget(this);
  ItemTree->setObjectName(QStringLiteral("ItemTree"));
  ItemTree->setHeaderHidden(true);
  ItemTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
  connect(ItemTree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { Load(item); });
  Load(nullptr);
  // A small tree (the built-in server's) is read whole and shown open.
  int count = 0;
  for (QTreeWidgetItemIterator it(ItemTree); *it && count < SmallTree; ++it, ++count) Load(*it);
  if (count < SmallTree) ItemTree->expandAll();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(ItemTree, &QTreeWidget::itemSelectionChanged, this, [this, buttons] {
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!SelectedItemIds().isEmpty());
  });
  connect(ItemTree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (item->data(0, ItemIdRole).isValid()) accept();
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ItemTree);
  layout->addWidget(buttons);
}

void SelectOpcItemDialog::Load(QTreeWidgetItem* branch) {
  std::string branchId;
  if (branch) {
    const QVariant id = branch->data(0, BranchIdRole);
    if (!id.isValid()) return;  // read before
    branchId = id.toString().toStdString();
    branch->setData(0, BranchIdRole, QVariant());
    qDeleteAll(branch->takeChildren());  // the placeholder that made it expandable
  }
  for (const OpcBrowseNode& node : client_.BrowseChildren(branchId)) {
    auto* item = branch ? new QTreeWidgetItem(branch) : new QTreeWidgetItem(ItemTree);
    item->setText(0, QString::fromStdString(node.Name));
    item->setFlags(Qt::ItemIsEnabled);  // a branch, unless it is an item
    if (node.IsItem) {
      item->setData(0, ItemIdRole, QString::fromStdString(node.Id));
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    if (node.HasChildren) {
      item->setData(0, BranchIdRole, QString::fromStdString(node.Id));
      new QTreeWidgetItem(item);  // opens the branch; replaced when it is read
    }
  }
}

QStringList SelectOpcItemDialog::SelectedItemIds() const {
  QStringList ids;
  for (QTreeWidgetItemIterator it(ItemTree, QTreeWidgetItemIterator::Selected); *it; ++it) {
    const QVariant id = (*it)->data(0, ItemIdRole);
    if (id.isValid()) ids << id.toString();  // a branch names no item
  }
  return ids;
}

QStringList SelectOpcItemDialog::Browse(OpcClient& client, QWidget* parent) {
  SelectOpcItemDialog dialog(client, parent);
  return dialog.exec() == QDialog::Accepted ? dialog.SelectedItemIds() : QStringList{};
}
