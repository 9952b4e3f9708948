// Ticks and labels of a chart's value axes: round ticks placed for the room an axis has,
// the values they fall on and their labels as the axis writes them.
#pragma once

#include <QLocale>
#include <QString>
#include <vector>

class QValueAxis;

// Ticks at round values (1, 2 or 5 times a power of ten), as many as the axis has room
// for (about one label per `spacing` pixels, at most five) and at least `minTicks`,
// without changing the range itself, which the program often fixes. The labels carry
// as many significant digits as the increment needs (at most ten), so that neighbouring
// labels never read alike.
void PlaceRoundTicks(QValueAxis* axis, double pixels, double spacing, int minTicks);

// Ticks of an axis whose round ticks PlaceRoundTicks placed: every interval from the
// anchor within the range (at most a hundred), a value next to zero written as zero.
std::vector<double> TickValues(const QValueAxis& axis);

// A label as the axis writes it: "%.<digits>g" in the chart's locale.
QString TickLabel(const QValueAxis& axis, const QLocale& locale, double value);
