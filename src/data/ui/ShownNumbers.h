// Numbers and the clock's time as the windows show and read them: the core's number
// formats with the user's decimal separator.
#pragma once

#include <QDateTime>
#include <QLineEdit>
#include <QString>

class Clock;

// A number as shown in a control: fixed-point with `decimals` decimals, or the general
// format with at most `digits` significant digits, with the user's decimal separator.
QString ShownFixed(double value, int decimals);
QString ShownGeneral(double value, int digits);

// The clock's wall-clock time as a local date and time.
QDateTime LocalNow(const Clock& clock);

// A typed number, read with the user's decimal separator. Throws ConversionError
// "'<text>' is not a valid floating point value".
double TypedNumber(const QString& text);
inline double TypedNumber(const QLineEdit* edit) { return TypedNumber(edit->text()); }
