#include "tuning/ui/ResponseChart.h"

#include <QLineSeries>
#include <algorithm>
#include <cmath>
#include <vector>

#include "charts/VorChart.h"
#include "tuning/Recomputation.h"

ResponseChart CreateResponseChart(QWidget* parent) {
  ResponseChart r;
  r.Chart = new VorChart(parent);
  r.Chart->setObjectName(QStringLiteral("Chart1"));
  r.Chart->SetTitle(QStringLiteral("Odprtozančni (OZ) in zaprtozančni (ZZ) odzivi"));
  r.Chart->SetLegendVisible(true, Qt::AlignBottom);
  r.Chart->SetGradient(false);
  // The responses are scaled to a unit step of the set-point (or a disturbance that moves
  // the open loop by one).
  r.Chart->SetAxisTitles(QStringLiteral("t [s]"), QString::fromUtf8("Normiran odziv"));
  auto series = [&r](const char* name, const QString& title, const QColor& color,
                     Qt::PenStyle style) {
    ChartSeries& s = r.Chart->AddLineSeries(title, color, LineKind::Straight, style, 1.6);
    s.Series()->setObjectName(QString::fromLatin1(name));
    return &s;
  };
  r.YI = series("LineSeries3", QStringLiteral("ZZ Odziv I"), ColorFromBgr(16512), Qt::DashLine);
  r.OpenLoop =
      series("LineSeries4", QStringLiteral("OZ Odziv"), QColor(128, 128, 128), Qt::SolidLine);
  r.YPI = series("Series3", QStringLiteral("ZZ odziv PI"), QColor(0, 0, 255), Qt::DashDotLine);
  r.YPID = series("Series4", QStringLiteral("ZZ odziv PID"), QColor(255, 0, 0), Qt::DashDotDotLine);
  r.YP = series("Series5", QStringLiteral("ZZ Odziv P"), QColor(0, 128, 0), Qt::SolidLine);
  return r;
}

void PlotResponseCurves(const ResponseChart& chart, const ResponseCurves& c) {
  const AxisRange axis = ResponseAxisRange(c);
  // A diverging curve is held within ten axis heights of the axis: what the axis shows
  // is the same (a step leaves it within a fraction of a sample), but a dashed pen is
  // not traced along an outline thousands of chart heights long, which takes seconds.
  const double band = 10 * (axis.Maximum - axis.Minimum);
  const double low = axis.Minimum - band, high = axis.Maximum + band;
  auto plot = [&c, low, high](ChartSeries* series, const std::vector<double>& y) {
    QList<QPointF> points;
    points.reserve(c.N);
    for (int k = 0; k < c.N; ++k) {
      if (!std::isfinite(y[k])) break;  // an unstable loop overflowed: draw what is finite
      points.append(QPointF(c.Time[k], std::clamp(y[k], low, high)));
    }
    series->Replace(points);
  };
  plot(chart.YI, c.YI);
  plot(chart.OpenLoop, c.OpenLoop);
  plot(chart.YPI, c.YPI);
  plot(chart.YPID, c.YPID);
  plot(chart.YP, c.YP);
  chart.Chart->SetLeftAxisRange(axis.Minimum, axis.Maximum);
}
