// A titled group of radio buttons with one selected item, addressed by index; the
// ItemClicked signal follows every change of the selection, by the user or the program.
#pragma once

#include <QGroupBox>
#include <QList>
#include <QStringList>

class QRadioButton;

class RadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  RadioGroup(const QString& title, const QStringList& items, QWidget* parent);
  // -1 when none is selected.
  int ItemIndex() const;
  // Selects item index (-1: none); a change emits ItemClicked.
  void SetItemIndex(int index);
  QRadioButton* Item(int index) const { return buttons_.value(index); }
  int Count() const { return static_cast<int>(buttons_.size()); }

 signals:
  void ItemClicked();

 private:
  QList<QRadioButton*> buttons_;
};
