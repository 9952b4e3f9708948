// Small helpers every page and window uses: naming a control, placing a caption, the
// user's decimal separator, dates and times in the program's one form. Numbers shown and
// typed with the core's formats are in data/ui/ShownNumbers.h.
#pragma once

#include <QDate>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QString>
#include <QTime>

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

// Shows the text whole: the label's font shrinks from `pointSize` (down to 6 points)
// until the text fits the label's width, so that no leading digit is cut off.
void SetTextFitting(QLabel* label, const QString& text, int pointSize);

// A time of day as the program's files and labels carry it, on the 24-hour clock with
// seconds ("14:05:09") whatever the system's locale.
QString LongTimeText(const QTime& time);
// A date as the program's files and labels carry it, in the Slovenian form ("8. 12. 2026")
// whatever the system's locale.
QString DateText(const QDate& date);
inline constexpr const char* DateFormat = "d. M. yyyy";

// The locale the window follows for typed and shown numbers: the system's, and Slovenian
// where the system names none (a session without LANG has the C locale, whose decimal
// point the window's Slovenian texts do not expect).
QLocale ProgramLocale(const QLocale& system);
