#include "data/ui/ShownNumbers.h"

#include <chrono>

#include "data/Clock.h"
#include "data/NumberFormat.h"
#include "forms/FormHelpers.h"

QString ShownFixed(double value, int decimals) {
  return QString::fromStdString(FormatFixed(value, decimals, DecimalSeparator()));
}

QString ShownGeneral(double value, int digits) {
  return QString::fromStdString(FormatGeneral(value, digits, DecimalSeparator()));
}

QDateTime LocalNow(const Clock& clock) {
  using namespace std::chrono;
  return QDateTime::fromMSecsSinceEpoch(
      duration_cast<milliseconds>(clock.Now().time_since_epoch()).count());
}

double TypedNumber(const QString& text) {
  return ParseFloat(text.toStdString(), DecimalSeparator());
}
