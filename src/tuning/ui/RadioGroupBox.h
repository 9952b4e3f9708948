// A titled group of radio buttons addressed by index, like a radio group component:
// ItemIndex -1 when none is chosen; setting the index from code emits Clicked as a
// user's click does.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;

class RadioGroupBox : public QGroupBox {
  Q_OBJECT
 public:
  // Buttons in `columns` columns, laid out over the box.
  RadioGroupBox(const QString& title, const QStringList& items, int columns, QWidget* parent);
  int ItemIndex() const;
  // An index past the last item chooses the last one; below 0 none.
  void SetItemIndex(int index);
  int Count() const;

 signals:
  void Clicked(int index);

 private:
  QButtonGroup* group_;
};
