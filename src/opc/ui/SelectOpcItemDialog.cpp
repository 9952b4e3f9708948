#include "opc/ui/SelectOpcItemDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <atomic>
#include <map>
#include <memory>

#include "data/ui/ShownNumbers.h"
#include "forms/FormHelpers.h"
#include "forms/JobRunner.h"
#include "opc/OpcBrowseTree.h"
#include "opc/OpcMessages.h"

namespace {

constexpr int ItemIdRole = Qt::UserRole;       // the item ID of an item
constexpr int BranchIdRole = Qt::UserRole + 1;  // the branch ID of an unread branch
constexpr int NodeIdRole = Qt::UserRole + 2;    // the ID of any entry (where the engineer was)
constexpr int SmallTree = 100;                  // entries read at once and shown open

// The read-only items the program would write stand out in the tree.
const QColor NotWritableColor(0xC0, 0x00, 0x00);

}  // namespace

SelectOpcItemDialog::SelectOpcItemDialog(OpcClient& client, QWidget* parent,
                                         const ItemBrowserRequest& request)
    : QDialog(parent), client_(client), request_(request) {
  setObjectName(QStringLiteral("SelectOpcItemDialog"));
  setWindowTitle(QString::fromUtf8("Izbira točke OPC"));
  resize(820, 480);
  ItemTree = new QTreeWidget(this);
  ItemTree->setObjectName(QStringLiteral("ItemTree"));
  ItemTree->setColumnCount(5);
  ItemTree->setHeaderLabels({QStringLiteral("Ime"), QString::fromUtf8("Oznaka točke"),
                             QStringLiteral("Podatkovni tip"), QStringLiteral("Dostop"),
                             QStringLiteral("Vrednost")});
  ItemTree->setColumnWidth(NameColumn, 200);
  ItemTree->setColumnWidth(IdColumn, 200);
  ItemTree->setColumnWidth(TypeColumn, 160);
  ItemTree->setColumnWidth(AccessColumn, 120);
  ItemTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
  StanjeBrskanja = new QLabel(this);
  StanjeBrskanja->setObjectName(QStringLiteral("StanjeBrskanja"));
  StanjeBrskanja->setWordWrap(true);
  PrekliciBrskanje = new QPushButton(QString::fromUtf8("Prekliči"), this);
  PrekliciBrskanje->setObjectName(QStringLiteral("PrekliciBrskanje"));
  PrekliciBrskanje->hide();
  OpombaZapisljivosti = new QLabel(this);
  OpombaZapisljivosti->setObjectName(QStringLiteral("OpombaZapisljivosti"));
  OpombaZapisljivosti->setWordWrap(true);
  OpombaZapisljivosti->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold"));
  OpombaZapisljivosti->hide();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  okButton_ = buttons->button(QDialogButtonBox::Ok);
  okButton_->setEnabled(false);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(ItemTree, &QTreeWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
  connect(ItemTree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (item->data(0, ItemIdRole).isValid()) accept();
  });
  connect(ItemTree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    open_.insert(item->data(0, NodeIdRole).toString().toStdString());
    Load(item);
  });
  connect(ItemTree, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
    open_.erase(item->data(0, NodeIdRole).toString().toStdString());
  });

  auto* progress = new QHBoxLayout;
  progress->addWidget(StanjeBrskanja, 1);
  progress->addWidget(PrekliciBrskanje);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ItemTree);
  layout->addLayout(progress);
  layout->addWidget(OpombaZapisljivosti);
  layout->addWidget(buttons);

  if (request_.Place) open_ = request_.Place->Open;
  if (client_.ReachedOverNetwork()) {
    // Read once the browser shows, so that the engineer sees the reading and may give up.
    firstLoadPending_ = true;
    QTimer::singleShot(0, this, [this] {
      firstLoadPending_ = false;
      restorePending_ = true;
      Load(nullptr);
    });
    return;
  }
  Load(nullptr);
  if (open_.empty()) {
    // A small tree (the built-in server's) is read whole and shown open.
    int count = 0;
    for (QTreeWidgetItemIterator it(ItemTree); *it && count < SmallTree; ++it, ++count) Load(*it);
    if (count < SmallTree) ItemTree->expandAll();
  }
  RestoreCurrent();
}

SelectOpcItemDialog::~SelectOpcItemDialog() = default;

void SelectOpcItemDialog::Load(QTreeWidgetItem* branch) {
  // One reading at a time: a branch opened meanwhile is read after it.
  if (loading_) {
    if (branch && !waiting_.contains(branch)) waiting_ << branch;
    return;
  }
  std::string branchId;
  if (branch) {
    const QVariant id = branch->data(0, BranchIdRole);
    if (!id.isValid()) return;  // read before
    branchId = id.toString().toStdString();
  }
  // What the reading thread fills; it outlives the dialog when the engineer gives up.
  struct Reading {
    OpcBrowseLevel Level;
    std::atomic<bool> Cancelled = false;
  };
  auto reading = std::make_shared<Reading>();
  const std::set<std::string> open = open_;
  OpcClient* client = &client_;  // the program's, which outlives any reading
  const auto read = [reading, client, branchId, open] {
    reading->Level = ReadBrowseLevel(*client, branchId, open, &reading->Cancelled);
  };
  if (!client_.ReachedOverNetwork()) {
    QString problem;
    try {
      read();
    } catch (const std::exception& e) {
      problem = QString::fromStdString(OpcWindowText(e.what()));
    }
    Loaded(branch, branchId, reading->Level, problem, false);
    return;
  }
  // The window goes on while the server answers; the tree waits for it.
  loading_ = true;
  StanjeBrskanja->setStyleSheet(QString());
  StanjeBrskanja->setText(QString::fromUtf8("Branje s strežnika …"));
  PrekliciBrskanje->show();
  ItemTree->setEnabled(false);
  const auto ended = [this, reading, branchId](bool cancelled, const QString& problem) {
    loading_ = false;
    disconnect(cancelling_);
    PrekliciBrskanje->hide();
    ItemTree->setEnabled(true);
    // The branch may have gone with a tree read anew: it is found by its ID.
    QTreeWidgetItem* branch = branchId.empty() ? nullptr : UnreadBranch(branchId);
    if (!branchId.empty() && branch == nullptr) return NextWaiting();
    Loaded(branch, branchId, reading->Level, problem, cancelled);
    NextWaiting();
  };
  job_ = Jobs().Start(this, read, [ended](std::exception_ptr error) {
    QString problem;
    if (error) try {
        std::rethrow_exception(error);
      } catch (const std::exception& e) {
        problem = QString::fromStdString(OpcWindowText(e.what()));
      }
    ended(false, problem);
  });
  cancelling_ = connect(PrekliciBrskanje, &QPushButton::clicked, this, [this, reading, ended] {
    reading->Cancelled = true;
    JobRunner::Cancel(job_);
    ended(true, QString());
  });
}

void SelectOpcItemDialog::NextWaiting() {
  while (!waiting_.isEmpty() && !loading_) {
    QTreeWidgetItem* next = waiting_.takeFirst();
    // Only a branch still in the tree and still unread.
    bool inTree = false;
    for (QTreeWidgetItemIterator it(ItemTree); *it && !inTree; ++it) inTree = *it == next;
    if (inTree && next->data(0, BranchIdRole).isValid()) Load(next);
  }
  if (!loading_ && restorePending_) {
    restorePending_ = false;
    RestoreCurrent();
  }
}

QTreeWidgetItem* SelectOpcItemDialog::UnreadBranch(const std::string& branchId) const {
  const QString id = QString::fromStdString(branchId);
  for (QTreeWidgetItemIterator it(ItemTree); *it; ++it)
    if ((*it)->data(0, BranchIdRole).toString() == id) return *it;
  return nullptr;
}

void SelectOpcItemDialog::Loaded(QTreeWidgetItem* branch, const std::string& branchId,
                                 const OpcBrowseLevel& level, const QString& problem,
                                 bool cancelled) {
  if (cancelled || !problem.isEmpty()) {
    waiting_.clear();
    // The branch stays unread, closed, to be opened again.
    StanjeBrskanja->setStyleSheet(problem.isEmpty() ? QString() : QStringLiteral("color: #c00000"));
    StanjeBrskanja->setText(problem.isEmpty() ? QString::fromUtf8("Branje je preklicano.")
                                              : QString::fromUtf8("Branje ni uspelo: ") + problem);
    if (branch) {
      const QSignalBlocker block(ItemTree);
      branch->setExpanded(false);
      open_.erase(branchId);
    }
    return;
  }
  StanjeBrskanja->clear();
  if (branch) {
    branch->setData(0, BranchIdRole, QVariant());
    qDeleteAll(branch->takeChildren());  // the placeholder that made it expandable
  }
  Fill(branch, level);
}

void SelectOpcItemDialog::Fill(QTreeWidgetItem* parent, const OpcBrowseLevel& level) {
  for (std::size_t i = 0; i < level.Nodes.size(); ++i) {
    const OpcBrowseNode& node = level.Nodes[i];
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(ItemTree);
    item->setText(NameColumn, QString::fromStdString(node.Name));
    item->setFlags(Qt::ItemIsEnabled);  // a branch, unless it is an item
    if (!node.Id.empty()) {
      item->setText(IdColumn, QString::fromStdString(node.Id));
      item->setData(0, NodeIdRole, QString::fromStdString(node.Id));
    }
    if (node.IsItem) {
      item->setData(0, ItemIdRole, QString::fromStdString(node.Id));
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      ShowFacts(item, i < level.Facts.size() ? level.Facts[i] : OpcItemFacts{});
    }
    if (node.HasChildren) {
      item->setData(0, BranchIdRole, QString::fromStdString(node.Id));
      new QTreeWidgetItem(item);  // opens the branch; replaced when it is read
      for (const OpcBrowseLevel& below : level.Below)
        if (below.BranchId == node.Id) {
          item->setData(0, BranchIdRole, QVariant());
          qDeleteAll(item->takeChildren());
          Fill(item, below);
          const QSignalBlocker block(ItemTree);  // read already
          item->setExpanded(true);
        }
    }
  }
}

void SelectOpcItemDialog::ShowFacts(QTreeWidgetItem* item, const OpcItemFacts& facts) {
  facts_[item->data(0, ItemIdRole).toString()] = facts;
  item->setText(TypeColumn, QString::fromStdString(facts.TypeName));
  item->setText(AccessColumn, QString::fromUtf8(OpcAccessText(facts.Access)));
  QString value;
  if (facts.HasValue)
    value = facts.IsNumber ? ShownGeneral(facts.Value, 8) : QString::fromStdString(facts.ValueText);
  if (!facts.Status.empty())
    value = value.isEmpty()
                ? QString::fromStdString(facts.Status)
                : value + QStringLiteral(" (") + QString::fromStdString(facts.Status) + u')';
  item->setText(ValueColumn, value);
  const QString note = NotWritableNote(facts);
  if (!note.isEmpty()) {
    for (int c = 0; c < ItemTree->columnCount(); ++c) {
      item->setForeground(c, NotWritableColor);
      item->setToolTip(c, note);
    }
  }
}

OpcItemFacts SelectOpcItemDialog::FactsOf(const QString& itemId) const {
  const auto found = facts_.find(itemId);
  return found != facts_.end() ? found->second : OpcItemFacts{};
}

QString SelectOpcItemDialog::NotWritableNote(const OpcItemFacts& facts) const {
  if (request_.WrittenSignal.isEmpty() || facts.Access != OpcAccess::ReadOnly) return {};
  return QString::fromUtf8("Element ni zapisljiv: program vanj piše »%1«.")
      .arg(request_.WrittenSignal);
}

void SelectOpcItemDialog::SelectionChanged() {
  const QStringList ids = SelectedItemIds();
  okButton_->setEnabled(!ids.isEmpty());
  const QString note = ids.isEmpty() ? QString() : NotWritableNote(FactsOf(ids.first()));
  OpombaZapisljivosti->setText(note);
  OpombaZapisljivosti->setVisible(!note.isEmpty());
}

void SelectOpcItemDialog::RestoreCurrent() {
  if (!request_.Place || request_.Place->Current.empty()) return;
  const QString current = QString::fromStdString(request_.Place->Current);
  for (QTreeWidgetItemIterator it(ItemTree); *it; ++it) {
    if ((*it)->data(0, NodeIdRole).toString() != current) continue;
    ItemTree->setCurrentItem(*it);  // selects it when it is an item
    ItemTree->scrollToItem(*it);
    return;
  }
}

void SelectOpcItemDialog::done(int result) {
  // Closed while the server is read: the browser stops waiting for it.
  if (loading_) PrekliciBrskanje->click();
  if (request_.Place) {
    request_.Place->Open = open_;
    // The item chosen, else the entry the engineer stood on.
    const QList<QTreeWidgetItem*> selected = ItemTree->selectedItems();
    const QTreeWidgetItem* current =
        selected.isEmpty() ? ItemTree->currentItem() : selected.first();
    if (current) request_.Place->Current = current->data(0, NodeIdRole).toString().toStdString();
  }
  QDialog::done(result);
}

QStringList SelectOpcItemDialog::SelectedItemIds() const {
  QStringList ids;
  for (QTreeWidgetItemIterator it(ItemTree, QTreeWidgetItemIterator::Selected); *it; ++it) {
    const QVariant id = (*it)->data(0, ItemIdRole);
    if (id.isValid()) ids << id.toString();  // a branch names no item
  }
  return ids;
}

void SelectOpcItemDialog::Browse(OpcClient& client, QWidget* parent,
                                 const ItemBrowserRequest& request,
                                 std::function<void(QStringList, bool)> chosen) {
  // Shown over its window without a loop of its own: the choice comes back when it closes.
  auto* dialog = new SelectOpcItemDialog(client, parent, request);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::finished, dialog, [dialog, chosen = std::move(chosen)](int result) {
    const QStringList ids = result == QDialog::Accepted ? dialog->SelectedItemIds() : QStringList{};
    const bool notWritable =
        !ids.isEmpty() && !dialog->NotWritableNote(dialog->FactsOf(ids.first())).isEmpty();
    if (!ids.isEmpty()) chosen(ids, notWritable);
  });
  dialog->open();
}
