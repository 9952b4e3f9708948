// Small helpers every page and window uses: naming a control, placing a caption, and
// showing or reading numbers in the user's decimal separator.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QTime>

class Clock;
class QDateTime;

// Gives a control its name (the Qt objectName other code and tests find it by).
template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// A caption label and a titled group box at fixed places.
QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int width, int height);
QGroupBox* Group(QWidget* parent, const QString& title, int x, int y, int width, int height);

// The user's decimal separator: the default QLocale, which is the system's locale unless
// a test sets another with QLocale::setDefault.
char DecimalSeparator();

// A number as shown in a control: fixed-point with `decimals` decimals, or the general
// format with at most `digits` significant digits, with the user's decimal separator.
QString ShownFixed(double value, int decimals);
QString ShownGeneral(double value, int digits);

// Shows the text whole: the label's font shrinks from `pointSize` (down to 6 points)
// until the text fits the label's width, so that no leading digit is cut off.
void SetTextFitting(QLabel* label, const QString& text, int pointSize);

// The clock's wall-clock time as a local date and time.
QDateTime LocalNow(const Clock& clock);

// A time of day in the user's long time format, without a time-zone name (the form
// the program's files and labels carry: "14:05:09").
QString LongTimeText(const QTime& time);

// A typed number, read with the user's decimal separator. Throws ConversionError
// "'<text>' is not a valid floating point value".
double TypedNumber(const QString& text);
inline double TypedNumber(const QLineEdit* edit) { return TypedNumber(edit->text()); }
