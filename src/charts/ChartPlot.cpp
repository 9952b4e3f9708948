#include "charts/ChartPlot.h"

#include <QChart>
#include <QFontMetricsF>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QPolygonF>
#include <QStyleOptionGraphicsItem>
#include <QValueAxis>
#include <algorithm>

#include "charts/ChartAxes.h"

ChartPlot::ChartPlot(QChart* chart, const QValueAxis* x, const QValueAxis* y)
    : QGraphicsItem(chart), chart_(chart), x_(x), y_(y) {
  setZValue(5.5);                        // over QtCharts' own series, under the legend
  setFlag(ItemUsesExtendedStyleOption);  // the part to repaint
  Place();
}

void ChartPlot::Place() {
  prepareGeometryChange();
  area_ = QRectF(QPointF(0, 0), chart_->size());
}

void ChartPlot::PlotChanged() { update(chart_->plotArea().adjusted(-2, -2, 2, 2)); }

template <typename X, typename Y>
void ChartPlot::DrawLines(QPainter* painter, const QRectF& plot, X px, Y py) {
  // A point far outside the plot is drawn at a bounded distance, on the same line.
  const auto bounded = [](double v, double low, double high) {
    return std::clamp(v, low - 1e5, high + 1e5);
  };
  // Whole pixels: the painter clips to a rectangle of whole pixels cheaply, to any other
  // through a mask. A line along an edge stays whole.
  painter->save();
  painter->setClipRect(plot.toAlignedRect().adjusted(-1, -1, 1, 1));
  painter->setRenderHint(QPainter::Antialiasing, true);
  QPolygonF line;
  for (const PlotLine& l : lines_) {
    const QLineSeries& look = *l.Look;
    const QList<QPointF>& points = *l.Points;
    if (!look.isVisible() || points.isEmpty()) continue;
    line.resize(points.size());
    for (qsizetype k = 0; k < points.size(); ++k)
      line[k] = QPointF(bounded(px(points[k].x()), plot.left(), plot.right()),
                        bounded(py(points[k].y()), plot.top(), plot.bottom()));
    if (look.pen().style() != Qt::NoPen && line.size() > 1) {
      // A solid line as a hairline: the painter strokes a wider line as an outline of the
      // whole, whose overlaps at a noisy record cost it milliseconds.
      QPen pen = look.pen();
      if (pen.style() == Qt::SolidLine) pen.setWidthF(1), pen.setCosmetic(true);
      painter->setPen(pen);
      painter->setBrush(Qt::NoBrush);
      painter->drawPolyline(line);
    }
    if (look.pointsVisible()) {
      painter->setPen(Qt::NoPen);
      painter->setBrush(look.color());
      const double r = look.markerSize() / 2;
      for (const QPointF& p : line) painter->drawEllipse(p, r, r);
    }
  }
  painter->restore();
}

void ChartPlot::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) {
  const QRectF plot = chart_->plotArea();
  const double xSpan = x_->max() - x_->min(), ySpan = y_->max() - y_->min();
  if (plot.isEmpty() || !(xSpan > 0) || !(ySpan > 0)) return;
  const double sx = plot.width() / xSpan, sy = plot.height() / ySpan;
  const auto px = [&](double x) { return plot.left() + (x - x_->min()) * sx; };
  const auto py = [&](double y) { return plot.bottom() - (y - y_->min()) * sy; };
  const std::vector<double> xTicks = TickValues(*x_), yTicks = TickValues(*y_);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  painter->setPen(x_->gridLinePen());
  for (double v : xTicks)
    painter->drawLine(QPointF(px(v), plot.top()), QPointF(px(v), plot.bottom()));
  painter->setPen(y_->gridLinePen());
  for (double v : yTicks)
    painter->drawLine(QPointF(plot.left(), py(v)), QPointF(plot.right(), py(v)));
  DrawLines(painter, plot, px, py);
  // The frame, ticks and labels lie outside the plot area: drawn when the repaint
  // reaches them.
  if (!plot.adjusted(-2, -2, 2, 2).contains(option->exposedRect)) {
    painter->setPen(x_->linePen());
    painter->drawLine(plot.bottomLeft(), plot.bottomRight());
    for (double v : xTicks)
      painter->drawLine(QPointF(px(v), plot.bottom()), QPointF(px(v), plot.bottom() + TickPixels));
    painter->setPen(y_->linePen());
    painter->drawLine(plot.topLeft(), plot.bottomLeft());
    for (double v : yTicks)
      painter->drawLine(QPointF(plot.left() - TickPixels, py(v)), QPointF(plot.left(), py(v)));
    painter->setRenderHint(QPainter::TextAntialiasing, true);
    const QLocale locale = chart_->locale();
    painter->setFont(x_->labelsFont());
    painter->setPen(x_->labelsBrush().color());
    const QFontMetricsF xm(x_->labelsFont());
    for (double v : xTicks) {
      const QString text = TickLabel(*x_, locale, v);
      const double w = xm.horizontalAdvance(text);
      const double left = std::clamp(px(v) - w / 2, 0.0, area_.width() - w);
      painter->drawText(QPointF(left, plot.bottom() + TickPixels + 1 + xm.ascent()), text);
    }
    painter->setFont(y_->labelsFont());
    painter->setPen(y_->labelsBrush().color());
    const QFontMetricsF ym(y_->labelsFont());
    for (double v : yTicks) {
      const QString text = TickLabel(*y_, locale, v);
      const double w = ym.horizontalAdvance(text);
      const double base = std::clamp(py(v) + (ym.ascent() - ym.descent()) / 2, ym.ascent(),
                                     area_.height() - ym.descent());
      painter->drawText(QPointF(std::max(0.0, plot.left() - TickPixels - 2 - w), base), text);
    }
  }
  painter->restore();
}
