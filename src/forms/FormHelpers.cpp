#include "forms/FormHelpers.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QLocale>
#include <QRegularExpression>

QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int width, int height) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(x, y, width, height);
  return label;
}

QGroupBox* Group(QWidget* parent, const QString& title, int x, int y, int width, int height) {
  auto* box = new QGroupBox(title, parent);
  box->setGeometry(x, y, width, height);
  return box;
}

char DecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  return point.isEmpty() ? '.' : point.at(0).toLatin1();
}

void SetTextFitting(QLabel* label, const QString& text, int pointSize) {
  // The frame, the style's padding and a little air.
  const int room = label->contentsRect().width() - 8;
  QFont font = label->font();
  for (int size = pointSize; size >= 6; --size) {
    font.setPointSize(size);
    if (QFontMetrics(font).horizontalAdvance(text) <= room) break;
  }
  if (font != label->font()) label->setFont(font);
  label->setText(text);
}

QString LongTimeText(const QTime& time) { return time.toString(QStringLiteral("HH:mm:ss")); }

QString DateText(const QDate& date) { return date.toString(QString::fromLatin1(DateFormat)); }

QLocale ProgramLocale(const QLocale& system) {
  if (system.language() == QLocale::C) return QLocale(QLocale::Slovenian, QLocale::Slovenia);
  return system;
}
