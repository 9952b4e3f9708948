#include "opc/ui/RadioGroup.h"

#include <QRadioButton>
#include <QVBoxLayout>

RadioGroup::RadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 4, 8, 4);
  layout->setSpacing(2);
  for (const QString& text : items) {
    auto* button = new QRadioButton(text, this);
    buttons_.append(button);
    layout->addWidget(button);
    connect(button, &QRadioButton::toggled, this, [this](bool checked) {
      if (checked) emit ItemClicked();
    });
  }
}

int RadioGroup::ItemIndex() const {
  for (int i = 0; i < buttons_.size(); ++i)
    if (buttons_[i]->isChecked()) return i;
  return -1;
}

void RadioGroup::SetItemIndex(int index) {
  if (index == ItemIndex()) return;
  if (index >= 0 && index < buttons_.size()) {
    buttons_[index]->setChecked(true);
    return;
  }
  // No selection: radio buttons of one parent are exclusive, so clear them one by one.
  for (QRadioButton* button : buttons_) {
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
  }
  emit ItemClicked();
}
