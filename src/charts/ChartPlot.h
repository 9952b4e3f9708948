// The plot of a chart that draws it itself (VorChart::SetLinesDrawnDirectly): one item over the
// whole chart that draws the grid, each series' points mapped through the axes' ranges as a
// polyline and its markers as dots (clipped to the plot area), the axis lines, ticks and labels.
// Nothing is traced for the mouse and no text is laid out as a document: new points repaint the
// plot area only, and a step of an axis repaints the chart without laying it out.
#pragma once

#include <QGraphicsItem>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <utility>
#include <vector>

class QChart;
class QLineSeries;
class QValueAxis;

// One line the plot draws: the QtCharts series that says how (pen, colour, markers, shown
// or not) and the points as the line passes them, in the axes' units.
struct PlotLine {
  const QLineSeries* Look = nullptr;
  const QList<QPointF>* Points = nullptr;
};

class ChartPlot : public QGraphicsItem {
 public:
  ChartPlot(QChart* chart, const QValueAxis* x, const QValueAxis* y);
  static constexpr double TickPixels = 4;
  // The lines, in the order they are drawn.
  void SetLines(std::vector<PlotLine> lines) { lines_ = std::move(lines); }
  // The chart changed its size.
  void Place();
  // New points: the plot area only.
  void PlotChanged();
  QRectF boundingRect() const override { return area_; }
  void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) override;

 private:
  template <typename X, typename Y>
  void DrawLines(QPainter* painter, const QRectF& plot, X px, Y py);

  QChart* chart_;
  std::vector<PlotLine> lines_;
  const QValueAxis* x_;
  const QValueAxis* y_;
  QRectF area_;
};
