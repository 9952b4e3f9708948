#include "charts/ChartAxes.h"

#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace {

// The round value (1, 2 or 5 times a power of ten) next above x, and the one next below
// (there also 4, 3 and 2.5 times, so that a short axis finds three labels before four:
// a fourth would not fit, and the chart would leave out every other one).
double RoundStep(double x, bool up) {
  const double magnitude = std::pow(10.0, std::floor(std::log10(x)));
  const double normalized = x / magnitude;
  if (up) return (normalized <= 1 ? 1 : normalized <= 2 ? 2 : normalized <= 5 ? 5 : 10) * magnitude;
  // 1.5 keeps three labels where 2 gives two and 1 gives five (15, 30, 45 on 8..52).
  for (const double m : {5.0, 4.0, 3.0, 2.5, 2.0, 1.5})
    if (normalized >= m) return m * magnitude;
  return magnitude;
}

int TicksWithin(double minimum, double maximum, double increment) {
  return static_cast<int>(std::floor(maximum / increment + 1e-9) -
                          std::ceil(minimum / increment - 1e-9)) +
         1;
}

}  // namespace

void PlaceRoundTicks(QValueAxis* axis, double pixels, double spacing, int minTicks) {
  const double range = axis->max() - axis->min();
  if (!(range > 0) || !std::isfinite(range)) return;
  const double intervals = std::clamp(std::floor(pixels / spacing), 1.0, 5.0);
  // The smallest round step that gives no more than `intervals` intervals ...
  double increment = RoundStep(range / intervals, true);
  // ... made smaller while fewer than minTicks labels fall within the range.
  while (TicksWithin(axis->min(), axis->max(), increment) < minTicks)
    increment = RoundStep(increment * 0.999, false);
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickInterval(increment);
  axis->setTickAnchor(std::ceil(axis->min() / increment - 1e-9) * increment);
  // Digits down to the place of the increment's last digit (10^-1 for 0.5 and 2.5) and
  // every integer digit, so that 100 is not written 1e+02; past ten digits the labels
  // take the E notation.
  const double exponent = std::floor(std::log10(increment) + 1e-9);
  const double mantissa = increment / std::pow(10.0, exponent);
  const double lastPlace = exponent - (std::fabs(mantissa - std::round(mantissa)) > 1e-6 ? 1 : 0);
  const double largest = std::max(std::fabs(axis->min()), std::fabs(axis->max()));
  const int digits =
      static_cast<int>(std::floor(std::log10(largest)) - std::min(lastPlace, 0.0)) + 1;
  axis->setLabelFormat(QStringLiteral("%.%1g").arg(std::clamp(digits, 1, 10)));
}

std::vector<double> TickValues(const QValueAxis& axis) {
  std::vector<double> ticks;
  const double interval = axis.tickInterval();
  if (axis.tickType() != QValueAxis::TicksDynamic || !(interval > 0)) return ticks;
  const double anchor = axis.tickAnchor();
  const double first = anchor + std::ceil((axis.min() - anchor) / interval - 1e-9) * interval;
  for (int k = 0; k < 100; ++k) {
    const double v = first + k * interval;
    if (v > axis.max() + 1e-9 * interval) break;
    ticks.push_back(std::fabs(v) < 1e-9 * interval ? 0.0 : v);
  }
  return ticks;
}

QString TickLabel(const QValueAxis& axis, const QLocale& locale, double value) {
  const QString format = axis.labelFormat();
  bool ok = false;
  const int digits = format.mid(2, format.size() - 3).toInt(&ok);
  return locale.toString(value, 'g', ok ? digits : 6);
}
