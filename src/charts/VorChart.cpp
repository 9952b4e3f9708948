#include "charts/VorChart.h"

#include <QAreaSeries>
#include <QChart>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QLegend>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

#include "charts/ChartAxes.h"
#include "charts/ChartPlot.h"

QColor ColorFromBgr(unsigned bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

ChartSeries::ChartSeries(VorChart& chart, QLineSeries* series, LineKind kind)
    : chart_(chart), series_(series), kind_(kind) {}

QColor ChartSeries::Color() const { return series_->color(); }

void ChartSeries::AddPoint(double x, double y) {
  const bool direct = chart_.LinesDrawnDirectly();
  if (kind_ == LineKind::Stairs && !points_.isEmpty()) {
    const QPointF corner(x, points_.last().y());
    direct ? drawn_.append(corner) : series_->append(corner);
  }
  points_.append(QPointF(x, y));
  direct ? drawn_.append(QPointF(x, y)) : series_->append(x, y);
  if (direct) chart_.LinesChanged();
  chart_.UpdateAxes();
}

void ChartSeries::AddPoint(double x, double y, const QColor& color) {
  AddPoint(x, y);
  if (color != series_->color() && !chart_.LinesDrawnDirectly()) {
    const int index = series_->count() - 1;
    series_->setPointConfiguration(index, QXYSeries::PointConfiguration::Color, color);
  }
}

void ChartSeries::DeleteOldest() {
  if (points_.isEmpty()) return;
  points_.removeFirst();
  if (chart_.LinesDrawnDirectly()) {
    Show();
  } else {
    const int displayed = (kind_ == LineKind::Stairs && !points_.isEmpty()) ? 2 : 1;
    series_->removePoints(0, std::min(displayed, static_cast<int>(series_->count())));
  }
  chart_.UpdateAxes();
}

void ChartSeries::Clear() {
  points_.clear();
  Show();
  chart_.UpdateAxes();
}

void ChartSeries::Show() {
  if (chart_.LinesDrawnDirectly()) {
    drawn_ = DisplayPoints();
    chart_.LinesChanged();
  } else {
    series_->replace(DisplayPoints());
  }
}

QList<QPointF> ChartSeries::DisplayPoints() const {
  if (kind_ == LineKind::Straight) return points_;
  // A step at each change of value; the points of a level between two steps lie on its
  // line and are left out (the same picture, and a chart's cost grows with its points).
  QList<QPointF> out;
  out.reserve(points_.size() * 2);
  const qsizetype n = points_.size();
  for (qsizetype k = 0; k < n; ++k) {
    const bool level = k > 0 && points_[k].y() == points_[k - 1].y();
    if (level && k < n - 1) continue;
    if (k > 0 && !level) out.append(QPointF(points_[k].x(), points_[k - 1].y()));
    out.append(points_[k]);
  }
  return out;
}

void ChartSeries::Replace(std::span<const double> x, std::span<const double> y, int first,
                          int last) {
  QList<QPointF> points;
  if (last >= first) points.reserve(last - first + 1);
  for (int k = first; k <= last; ++k) points.append(QPointF(x[k], y[k]));
  Replace(points);
}

void ChartSeries::Replace(const QList<QPointF>& points) {
  points_ = points;
  Show();
  chart_.UpdateAxes();
}

VorChart::VorChart(QWidget* parent) : QChartView(parent) {
  auto* chart = new QChart();
  chart->legend()->hide();
  chart->setBackgroundRoundness(0);
  chart->setMargins(QMargins(4, 4, 4, 4));
  // Axis numbers with the user's decimal separator, as every number the program shows.
  chart->setLocalizeNumbers(true);
  setChart(chart);
  setRenderHint(QPainter::Antialiasing, true);
  setRubberBand(QChartView::NoRubberBand);
  axisX_ = new QValueAxis(chart);
  axisY_ = new QValueAxis(chart);
  axisX_->setLabelFormat(QStringLiteral("%g"));
  axisY_->setLabelFormat(QStringLiteral("%g"));
  chart->addAxis(axisX_, Qt::AlignBottom);
  chart->addAxis(axisY_, Qt::AlignLeft);
  UpdateAxes();
}

VorChart::~VorChart() = default;

void VorChart::SetTitle(const QString& title) {
  chart()->setTitle(title);
  if (plot_) PlaceDrawnPlot();
}
QString VorChart::Title() const { return chart()->title(); }

void VorChart::SetLegendVisible(bool visible, Qt::Alignment alignment) {
  chart()->legend()->setVisible(visible);
  chart()->legend()->setAlignment(alignment);
}

void VorChart::SetCompact() {
  QFont titleFont = chart()->titleFont();
  titleFont.setPointSize(8);
  titleFont.setBold(true);
  chart()->setTitleFont(titleFont);
  chart()->setMargins(QMargins(2, 0, 6, 0));
  QFont labelFont = font();
  labelFont.setPointSize(7);
  for (QAbstractAxis* axis : chart()->axes()) axis->setLabelsFont(labelFont);
  axisY_->setTickCount(3);
  if (plot_) PlaceDrawnPlot();
}

void VorChart::SetLinesDrawnDirectly() {
  if (plot_) return;
  plot_ = new ChartPlot(chart(), axisX_, axisY_);
  SetPlotLines();
  // The axes keep the ranges and ticks; the plot draws them.
  axisX_->setVisible(false);
  axisY_->setVisible(false);
  // Items that move with every step of an axis: an index of their places costs more to
  // keep than it saves.
  scene()->setItemIndexMethod(QGraphicsScene::NoIndex);
  // A step of an axis moves every line and label.
  for (QValueAxis* axis : {axisX_, axisY_})
    connect(axis, &QValueAxis::rangeChanged, this, [this] { plot_->update(); });
  PlaceDrawnPlot();
}

void VorChart::SetPlotLines() {
  std::vector<PlotLine> lines;
  for (const auto& s : series_) lines.push_back({s->Series(), &s->Drawn()});
  plot_->SetLines(std::move(lines));
}

void VorChart::LinesChanged() {
  if (plot_) plot_->PlotChanged();
}

void VorChart::PlaceDrawnPlot() {
  // Inside the chart's background: the title's band on top, the labels' band below, room
  // for the widest label of the left axis and half a label at the right end.
  qreal left = 0, top = 0, right = 0, bottom = 0;
  if (chart()->layout()) chart()->layout()->getContentsMargins(&left, &top, &right, &bottom);
  const QMargins m = chart()->margins();
  const QFontMetricsF title(chart()->titleFont()), labels(axisX_->labelsFont());
  const double titleBand = Title().isEmpty() ? labels.height() / 2 : title.lineSpacing() * 1.8;
  const QRectF plot(QPointF(left + m.left() + leftLabelsWidth_ + ChartPlot::TickPixels + 4,
                            top + m.top() + titleBand),
                    QPointF(width() - right - m.right() - labels.horizontalAdvance(QStringLiteral("00")),
                            height() - bottom - m.bottom() - labels.lineSpacing() -
                                ChartPlot::TickPixels - 4));
  if (plot.width() < 10 || plot.height() < 10) return;
  chart()->setPlotArea(plot);
  plot_->Place();
  plot_->update();
}

void VorChart::FitLeftLabels() {
  if (!plot_) return;
  // The band of the left labels follows the widest of them, with a few pixels to spare
  // so that a slightly narrower label does not move the plot.
  const QFontMetricsF metrics(axisY_->labelsFont());
  double widest = 0;
  for (double v : TickValues(*axisY_))
    widest = std::max(widest, metrics.horizontalAdvance(TickLabel(*axisY_, chart()->locale(), v)));
  if (widest > leftLabelsWidth_ || widest < leftLabelsWidth_ - 8) {
    leftLabelsWidth_ = std::ceil(widest);
    PlaceDrawnPlot();
  }
}

ChartSeries& VorChart::AddLineSeries(const QString& name, const QColor& color, LineKind kind,
                                     Qt::PenStyle style, qreal width) {
  auto* series = new QLineSeries();
  series->setName(name);
  QPen pen(color);
  pen.setStyle(style);
  pen.setWidthF(width);
  series->setPen(pen);
  chart()->addSeries(series);
  series->attachAxis(axisX_);
  series->attachAxis(axisY_);
  series_.push_back(std::make_unique<ChartSeries>(*this, series, kind));
  if (plot_) SetPlotLines();
  return *series_.back();
}

QAreaSeries* VorChart::BarSeries() {
  if (!bars_) {
    barsUpper_ = new QLineSeries();
    bars_ = new QAreaSeries(barsUpper_);
    bars_->setName(QStringLiteral("Bars"));
    chart()->addSeries(bars_);
    bars_->attachAxis(axisX_);
    bars_->attachAxis(axisY_);
  }
  return bars_;
}

void VorChart::SetBars(const std::vector<QPointF>& bars, double width, const QColor& color) {
  BarSeries();
  bars_->setColor(color);
  bars_->setBorderColor(color.darker(130));
  QList<QPointF> outline;
  outline.reserve(static_cast<qsizetype>(bars.size()) * 4);
  barMinX_ = std::numeric_limits<double>::max();
  barMaxX_ = std::numeric_limits<double>::lowest();
  barMaxY_ = 0;
  for (const QPointF& b : bars) {
    outline << QPointF(b.x(), 0) << QPointF(b.x(), b.y()) << QPointF(b.x() + width, b.y())
            << QPointF(b.x() + width, 0);
    barMinX_ = std::min(barMinX_, b.x());
    barMaxX_ = std::max(barMaxX_, b.x() + width);
    barMaxY_ = std::max(barMaxY_, b.y());
  }
  barsUpper_->replace(outline);
  barCount_ = static_cast<int>(bars.size());
  UpdateAxes();
}

void VorChart::ClearBars() {
  if (barsUpper_) barsUpper_->clear();
  barCount_ = 0;
  UpdateAxes();
}

void VorChart::SetLeftAxisRange(double minimum, double maximum) {
  if (!(maximum > minimum)) maximum = minimum + 1;
  // The same range again changes nothing: a change of the ticks lays the chart out anew.
  const double pixels = AxisPixels(Qt::Vertical);
  if (leftFixed_ && axisY_->min() == minimum && axisY_->max() == maximum && placedYPixels_ == pixels)
    return;
  leftFixed_ = true;
  axisY_->setTickType(QValueAxis::TicksFixed);  // no tick layout at the old interval
  axisY_->setRange(minimum, maximum);
  PlaceRoundTicks(axisY_, pixels, 18, 3);
  placedYPixels_ = pixels;
  FitLeftLabels();
}

void VorChart::SetBottomAxisRange(double minimum, double maximum) {
  bottomFixed_ = true;
  if (!(maximum > minimum)) maximum = minimum + 1;
  const double pixels = AxisPixels(Qt::Horizontal);
  if (axisX_->min() == minimum && axisX_->max() == maximum && placedXPixels_ == pixels) return;
  axisX_->setTickType(QValueAxis::TicksFixed);  // no tick layout at the old interval
  axisX_->setRange(minimum, maximum);
  PlaceRoundTicks(axisX_, pixels, 70, 2);
  placedXPixels_ = pixels;
  placedXIncrement_ = -1;
}

void VorChart::SetBottomAxisAutomatic() {
  bottomFixed_ = false;
  placedXPixels_ = -1;
  UpdateAxes();
}

void VorChart::SetLeftAxisAround(double minimum, double maximum) {
  double span = maximum - minimum;
  if (span == 0) span = 1;
  SetLeftAxisRange(minimum - 0.1 * span, maximum + 0.1 * span);
}

void VorChart::SetLeftAxisAutomatic() {
  leftFixed_ = false;
  placedYPixels_ = -1;
  UpdateAxes();
}

double VorChart::LeftAxisMinimum() const { return axisY_->min(); }
double VorChart::LeftAxisMaximum() const { return axisY_->max(); }
double VorChart::BottomAxisMinimum() const { return axisX_->min(); }
double VorChart::BottomAxisMaximum() const { return axisX_->max(); }

void VorChart::SetBottomAxisIncrement(double increment) {
  bottomIncrement_ = increment > 0 && std::isfinite(increment) ? increment : 0;
  UpdateAxes();
}

void VorChart::SetAxisTitles(const QString& bottom, const QString& left) {
  axisX_->setTitleText(bottom);
  axisY_->setTitleText(left);
}

void VorChart::SetGradient(bool visible, const QColor& start, const QColor& end) {
  gradient_ = visible;
  if (visible) {
    QLinearGradient g(0, 0, 0, 1);
    g.setCoordinateMode(QGradient::ObjectBoundingMode);
    g.setColorAt(0, start);
    g.setColorAt(1, end);
    chart()->setBackgroundBrush(g);
  } else {
    chart()->setBackgroundBrush(Qt::white);
  }
}

bool VorChart::ExportImage(const QString& fileName, qreal pixelRatio) {
  // Drawn anew at the wanted density (not a scaled copy of the screen), and saved with
  // that density, so that the picture keeps the chart's size on paper.
  QImage image((QSizeF(size()) * pixelRatio).toSize(), QImage::Format_RGB32);
  if (image.isNull()) return false;
  const int dotsPerMeter = qRound(pixelRatio * 96 / 0.0254);
  image.setDotsPerMeterX(dotsPerMeter);
  image.setDotsPerMeterY(dotsPerMeter);
  image.fill(Qt::white);
  // A chart in a window that is not shown is laid out for its size by showing that
  // window without putting it on the screen.
  QWidget* top = window();
  const bool hidden = !top->isVisible();
  if (hidden) {
    top->setAttribute(Qt::WA_DontShowOnScreen, true);
    top->show();
  }
  QCoreApplication::sendPostedEvents();
  // A chart on a page never opened (a tab of a shown window) has not been given its
  // size: it gets it now, and its scene is drawn directly, as the view would show it.
  const bool unshown = !isVisible();
  if (unshown) chart()->resize(QSizeF(size()));
  if (chart()->layout()) chart()->layout()->activate();
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // The scene drawn anew into the whole image: vectors and text at the finer density.
    if (unshown)
      scene()->render(&painter, QRectF(image.rect()), chart()->geometry(), Qt::IgnoreAspectRatio);
    else
      QGraphicsView::render(&painter, QRectF(image.rect()), viewport()->rect(),
                            Qt::IgnoreAspectRatio);
  }
  if (hidden) {
    top->hide();
    top->setAttribute(Qt::WA_DontShowOnScreen, false);
  }
  // A light compression: a chart compresses well at any level, and the strongest levels
  // take several times as long.
  return image.save(fileName, "PNG", 80);
}

void VorChart::UpdateAxes() {
  double xMin = std::numeric_limits<double>::max(), xMax = std::numeric_limits<double>::lowest();
  double yMin = xMin, yMax = xMax;
  for (const auto& s : series_) {
    for (const QPointF& p : s->Points()) {
      xMin = std::min(xMin, p.x());
      xMax = std::max(xMax, p.x());
      yMin = std::min(yMin, p.y());
      yMax = std::max(yMax, p.y());
    }
  }
  if (barCount_ > 0) {
    xMin = std::min(xMin, barMinX_);
    xMax = std::max(xMax, barMaxX_);
    yMin = std::min(yMin, 0.0);
    yMax = std::max(yMax, barMaxY_);
  }
  if (xMin > xMax) xMin = 0, xMax = 1;
  if (yMin > yMax) yMin = 0, yMax = 1;
  if (xMax == xMin) xMax = xMin + 1;
  // An axis that already shows its range, laid out for the plot's present size, is left
  // alone: each change lays the axis out again and recomputes every series' geometry, the
  // most of what a chart that takes a point at a time costs.
  if (!leftFixed_) {
    if (yMax == yMin) yMin -= 0.5, yMax += 0.5;
    const double pad = 0.05 * (yMax - yMin);
    const double pixels = AxisPixels(Qt::Vertical);
    if (axisY_->min() != yMin - pad || axisY_->max() != yMax + pad || placedYPixels_ != pixels) {
      axisY_->setTickType(QValueAxis::TicksFixed);  // no tick layout at the old interval
      axisY_->setRange(yMin - pad, yMax + pad);
      PlaceRoundTicks(axisY_, pixels, 18, 3);
      placedYPixels_ = pixels;
      FitLeftLabels();
    }
  }
  if (bottomFixed_) return;
  const double pixels = AxisPixels(Qt::Horizontal);
  if (axisX_->min() == xMin && axisX_->max() == xMax && placedXPixels_ == pixels &&
      placedXIncrement_ == bottomIncrement_)
    return;
  axisX_->setTickType(QValueAxis::TicksFixed);
  axisX_->setRange(xMin, xMax);
  if (bottomIncrement_ > 0) {
    // Labels every increment from the left end (a histogram's class edges).
    axisX_->setTickType(QValueAxis::TicksDynamic);
    axisX_->setTickInterval(bottomIncrement_);
    axisX_->setTickAnchor(xMin);
  } else {
    PlaceRoundTicks(axisX_, pixels, 70, 2);
  }
  placedXPixels_ = pixels;
  placedXIncrement_ = bottomIncrement_;
}

double VorChart::AxisPixels(Qt::Orientation orientation) const {
  // The plot area of a shown chart; before that the view's size less titles and labels.
  // (The plot area of a chart that draws its plot is placed by the chart itself.)
  const QRectF plot = isVisible() || plot_ ? chart()->plotArea() : QRectF();
  if (orientation == Qt::Vertical) return plot.height() > 0 ? plot.height() : height() - 60.0;
  return plot.width() > 0 ? plot.width() : width() - 60.0;
}

void VorChart::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  if (plot_) PlaceDrawnPlot();
  UpdateAxes();  // the number of ticks follows the size
  if (leftFixed_) {
    PlaceRoundTicks(axisY_, AxisPixels(Qt::Vertical), 18, 3);
    placedYPixels_ = AxisPixels(Qt::Vertical);
  }
  if (bottomFixed_) {
    PlaceRoundTicks(axisX_, AxisPixels(Qt::Horizontal), 70, 2);
    placedXPixels_ = AxisPixels(Qt::Horizontal);
  }
}

void VorChart::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    emit RightClicked();
    event->accept();
    return;
  }
  QChartView::mousePressEvent(event);
}

void VorChart::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    emit DoubleClicked();
    event->accept();
    return;
  }
  QChartView::mouseDoubleClickEvent(event);
}

