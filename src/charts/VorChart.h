// charts/ is the program's own charting component, used by the pages, the experiment window and
// the report's images. It knows no record.
//
// The charting component: a chart with a title, an optional legend, line series
// (plain or stair-step) and bar series, fixed or automatic axes, a background gradient
// and export of the whole chart as an image at its on-screen size.
#pragma once

#include <QChartView>
#include <QColor>
#include <QList>
#include <QPointF>
#include <memory>
#include <span>
#include <vector>

class QLineSeries;
class QAreaSeries;
class QValueAxis;
class VorChart;

// Colours of the program are 0x00BBGGRR values (blue in the high byte).
QColor ColorFromBgr(unsigned bgr);

enum class LineKind { Straight, Stairs };

// One line series of a chart. Points are kept in the order they were added.
class ChartSeries {
 public:
  ChartSeries(VorChart& chart, QLineSeries* series, LineKind kind);
  void AddPoint(double x, double y);
  // A point drawn in its own colour (the series colour when it is the same).
  void AddPoint(double x, double y, const QColor& color);
  void DeleteOldest();
  void Clear();
  // Adding point by point redraws each time; for more than a few points use Replace.
  // Replaces all points at once: (x[k], y[k]) for k = first..last. One redraw.
  void Replace(std::span<const double> x, std::span<const double> y, int first, int last);
  void Replace(const QList<QPointF>& points);
  int Count() const { return static_cast<int>(points_.size()); }
  const QList<QPointF>& Points() const { return points_; }
  QColor Color() const;
  // The QtCharts series: its name, pen, colour and markers say how the line is drawn. On a
  // chart that draws its lines itself it holds no points.
  QLineSeries* Series() const { return series_; }
  // The points as the line passes them (with the corners of a stair-step line), in the
  // axes' units.
  const QList<QPointF>& Drawn() const { return drawn_; }

 private:
  QList<QPointF> DisplayPoints() const;
  // The line changed: handed to the QtCharts series, or drawn anew by the chart.
  void Show();
  VorChart& chart_;
  QLineSeries* series_;
  LineKind kind_;
  QList<QPointF> points_;
  QList<QPointF> drawn_;  // on a chart that draws its lines itself
};

class ChartPlot;

class VorChart : public QChartView {
  Q_OBJECT
 public:
  explicit VorChart(QWidget* parent = nullptr);
  ~VorChart() override;

  void SetTitle(const QString& title);
  QString Title() const;
  void SetLegendVisible(bool visible, Qt::Alignment alignment = Qt::AlignBottom);
  // The look of a short chart (about a hundred pixels high): a small bold title, small
  // axis labels, narrow margins and three ticks on the left axis, so that nothing is
  // elided.
  void SetCompact();
  // The chart draws its plot itself: grid, lines (solid ones as hairlines, other pens as
  // they are), round markers, axis lines, ticks and labels, instead of through QtCharts'
  // items, which trace an outline of every line for the mouse with each change and lay
  // the chart's text out again with each step of an axis: for a chart that takes new
  // points many times a second. Set before the first series is added; a point's own
  // colour and the axes' titles are not drawn then.
  void SetLinesDrawnDirectly();
  bool LinesDrawnDirectly() const { return plot_ != nullptr; }

  ChartSeries& AddLineSeries(const QString& name, const QColor& color,
                             LineKind kind = LineKind::Straight,
                             Qt::PenStyle style = Qt::SolidLine, qreal width = 1.5);
  ChartSeries& SeriesAt(int index) { return *series_[static_cast<size_t>(index)]; }
  int SeriesCount() const { return static_cast<int>(series_.size()); }

  // The series that draws the bars, created on first use (before any bars are set it
  // draws nothing).
  QAreaSeries* BarSeries();
  // Bars standing at x with height h, each `width` wide, in one colour.
  void SetBars(const std::vector<QPointF>& bars, double width, const QColor& color);
  void ClearBars();
  int BarCount() const { return barCount_; }

  // Fixed left axis; automatic again after SetLeftAxisAutomatic.
  void SetLeftAxisRange(double minimum, double maximum);
  // Fixed left axis a tenth of the extremes' span below the smallest and above the
  // largest value (a span of 1 when they are equal).
  void SetLeftAxisAround(double minimum, double maximum);
  void SetLeftAxisAutomatic();
  // Fixed bottom axis (a moving window that advances in steps, not with every point);
  // automatic again after SetBottomAxisAutomatic.
  void SetBottomAxisRange(double minimum, double maximum);
  void SetBottomAxisAutomatic();
  double LeftAxisMinimum() const;
  double LeftAxisMaximum() const;
  double BottomAxisMinimum() const;
  double BottomAxisMaximum() const;
  // Label increment of the bottom axis (0: automatic).
  void SetBottomAxisIncrement(double increment);
  void SetAxisTitles(const QString& bottom, const QString& left);

  void SetGradient(bool visible, const QColor& start = Qt::white, const QColor& end = Qt::white);
  bool GradientVisible() const { return gradient_; }

  // The whole chart at its on-screen size as a PNG file, drawn with pixelRatio pixels per
  // screen pixel (2 for print) and saved with that density; false when it cannot be
  // written.
  bool ExportImage(const QString& fileName, qreal pixelRatio = 1);

  // Called by the series after their points changed.
  void UpdateAxes();
  // Called by a series whose line the chart draws itself.
  void LinesChanged();

 signals:
  void RightClicked();
  void DoubleClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  double AxisPixels(Qt::Orientation orientation) const;
  // A chart that draws its plot: the plot area inside the title, the labels and the chart's
  // margins, and the band of the left labels after their ticks changed.
  void PlaceDrawnPlot();
  // The series' lines handed to the plot that draws them.
  void SetPlotLines();
  void FitLeftLabels();
  std::vector<std::unique_ptr<ChartSeries>> series_;
  QValueAxis* axisX_;
  QValueAxis* axisY_;
  // The plot's size in pixels (and the bottom increment) the axes' ticks were last placed
  // for by UpdateAxes; -1 before.
  double placedXPixels_ = -1, placedYPixels_ = -1, placedXIncrement_ = -1;
  bool bottomFixed_ = false;
  QAreaSeries* bars_ = nullptr;
  QLineSeries* barsUpper_ = nullptr;
  int barCount_ = 0;
  double barMinX_ = 0, barMaxX_ = 0, barMaxY_ = 0;
  bool leftFixed_ = false;
  double bottomIncrement_ = 0;
  bool gradient_ = false;
  ChartPlot* plot_ = nullptr;
  double leftLabelsWidth_ = 0;
};
