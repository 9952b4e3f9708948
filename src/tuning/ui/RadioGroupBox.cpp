#include "tuning/ui/RadioGroupBox.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>
#include <algorithm>

RadioGroupBox::RadioGroupBox(const QString& title, const QStringList& items, int columns,
                             QWidget* parent)
    : QGroupBox(title, parent), group_(new QButtonGroup(this)) {
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(8, 4, 8, 4);
  layout->setSpacing(2);
  columns = std::max(1, columns);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
    layout->addWidget(button, i / columns, i % columns);
  }
  connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) emit Clicked(id);
  });
}

int RadioGroupBox::ItemIndex() const { return group_->checkedId(); }

int RadioGroupBox::Count() const { return static_cast<int>(group_->buttons().size()); }

void RadioGroupBox::SetItemIndex(int index) {
  index = std::min(index, Count() - 1);
  if (index < 0) {
    if (QAbstractButton* checked = group_->checkedButton()) {
      group_->setExclusive(false);
      checked->setChecked(false);
      group_->setExclusive(true);
    }
    return;
  }
  group_->button(index)->setChecked(true);
}
