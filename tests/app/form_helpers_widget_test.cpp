#include <gtest/gtest.h>

#include <QChart>
#include <QImage>
#include <QLineSeries>
#include <QLocale>
#include <QTemporaryDir>
#include <QValueAxis>

#include "charts/VorChart.h"
#include "data/ui/ShownNumbers.h"
#include "forms/FormHelpers.h"

TEST(DatesAndTimes, AreWrittenInTheSlovenianFormInEveryLocale) {
  for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Slovenian, QLocale::Slovenia),
                                QLocale(QLocale::English, QLocale::UnitedStates)}) {
    QLocale::setDefault(locale);
    EXPECT_EQ(LongTimeText(QTime(14, 5, 9)), "14:05:09");
    EXPECT_EQ(DateText(QDate(2026, 12, 8)), "8. 12. 2026");
  }
  QLocale::setDefault(QLocale::c());
  // A session without a locale gets the Slovenian decimal comma; a named locale is followed.
  EXPECT_EQ(ProgramLocale(QLocale::c()).decimalPoint(), ",");
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  EXPECT_EQ(ProgramLocale(english), english);
}

TEST(ShownNumbers, FollowTheDefaultLocalesSeparator) {
  QLocale::setDefault(QLocale(QLocale::Slovenian, QLocale::Slovenia));
  EXPECT_EQ(ShownFixed(2.5, 2), "2,50");
  EXPECT_EQ(ShownGeneral(1.5e-5, 8), "1,5E-5");
  EXPECT_DOUBLE_EQ(TypedNumber(QStringLiteral("0,05")), 0.05);
  QLocale::setDefault(QLocale::c());
  EXPECT_EQ(ShownFixed(2.5, 2), "2.50");
}

namespace {
QValueAxis* LeftAxis(VorChart& chart) {
  return qobject_cast<QValueAxis*>(chart.chart()->axes(Qt::Vertical).first());
}
}  // namespace

TEST(ChartTicks, AFixedRangeKeepsItsEndsAndGetsRoundTicksAsRoomAllows) {
  VorChart chart;
  chart.resize(500, 400);
  chart.SetLeftAxisRange(-0.05, 1.05);
  EXPECT_DOUBLE_EQ(chart.LeftAxisMinimum(), -0.05);
  EXPECT_DOUBLE_EQ(chart.LeftAxisMaximum(), 1.05);
  QValueAxis* axis = LeftAxis(chart);
  EXPECT_EQ(axis->tickType(), QValueAxis::TicksDynamic);
  EXPECT_DOUBLE_EQ(axis->tickInterval(), 0.5);
  EXPECT_DOUBLE_EQ(axis->tickAnchor(), 0.0);
  // A low chart has room for fewer labels.
  VorChart low;
  low.resize(500, 120);
  low.SetLeftAxisRange(-2, 22);
  EXPECT_DOUBLE_EQ(LeftAxis(low)->tickInterval(), 10);
  EXPECT_DOUBLE_EQ(LeftAxis(low)->tickAnchor(), 0);
}

// A short chart still shows three labels on its left axis, each with the digits it needs.
TEST(ChartTicks, AShortChartGetsThreeLabelsWrittenInFull) {
  VorChart chart;
  chart.SetCompact();
  chart.resize(500, 80);
  QValueAxis* axis = LeftAxis(chart);
  chart.SetLeftAxisRange(-6e9, 6.7e10);
  EXPECT_DOUBLE_EQ(axis->tickInterval(), 3e10);  // 0, 3e10, 6e10: three, not two or four
  chart.SetLeftAxisRange(-11, 110);
  EXPECT_DOUBLE_EQ(axis->tickInterval(), 50);
  EXPECT_EQ(axis->labelFormat(), "%.3g");  // 100, not 1e+02
  chart.SetLeftAxisRange(4.88, 5.12);
  EXPECT_DOUBLE_EQ(axis->tickInterval(), 0.1);
  EXPECT_EQ(axis->labelFormat(), "%.2g");  // 4.9, 5, 5.1
  chart.SetLeftAxisRange(8, 52);           // a step of MV from 10 to 50
  EXPECT_DOUBLE_EQ(axis->tickInterval(), 15);  // 15, 30, 45: not 20, 40 nor five labels
}

// A stair-step line draws a step at each change of value and no point inside a level;
// the axes still follow every point, also after a fixed bottom axis is let go.
TEST(ChartStairs, ALevelIsOneLineAndTheAxesFollowThePoints) {
  VorChart chart;
  chart.resize(450, 114);
  ChartSeries& mv = chart.AddLineSeries(QStringLiteral("mv"), Qt::red, LineKind::Stairs);
  mv.Replace({{0, 10}, {1, 10}, {2, 10}, {3, 20}, {4, 20}, {5, 20}});
  EXPECT_EQ(mv.Count(), 6);
  EXPECT_EQ(mv.Series()->points(), QList<QPointF>({{0, 10}, {3, 10}, {3, 20}, {5, 20}}));
  EXPECT_EQ(chart.BottomAxisMaximum(), 5);
  EXPECT_GT(chart.LeftAxisMaximum(), 20);
  chart.SetBottomAxisRange(0, 8);
  mv.Replace({{0, 10}, {6, 30}});
  EXPECT_EQ(mv.Series()->points(), QList<QPointF>({{0, 10}, {6, 10}, {6, 30}}));
  EXPECT_EQ(chart.BottomAxisMaximum(), 8);
  EXPECT_GT(chart.LeftAxisMaximum(), 30);
  chart.SetBottomAxisAutomatic();
  EXPECT_EQ(chart.BottomAxisMaximum(), 6);
}

// A chart that draws its lines itself puts them where its axes say and nowhere outside
// the plot: a level at three quarters of the left axis, then a rise far past its top.
TEST(ChartLinesDrawnDirectly, ALineLandsWhereTheAxesPutItAndStaysInThePlot) {
  VorChart chart;
  chart.resize(450, 114);
  chart.SetCompact();
  chart.SetLinesDrawnDirectly();
  ChartSeries& y = chart.AddLineSeries(QStringLiteral("y"), Qt::red);
  chart.SetBottomAxisRange(0, 10);
  chart.SetLeftAxisRange(0, 10);
  y.Replace({{0, 7.5}, {5, 7.5}, {5, 1e6}});
  EXPECT_TRUE(y.Series()->points().isEmpty());  // the QtCharts series draws nothing
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("chart.png"));
  ASSERT_TRUE(chart.ExportImage(file));
  const QImage image(file);
  const QRectF plot = chart.chart()->plotArea();
  const auto red = [&](double x, double y) {
    const QColor c = image.pixelColor(qRound(x), qRound(y));
    return c.red() > 150 && c.red() - c.green() > 80;
  };
  const auto redNear = [&](double x, double y) {
    for (int d = -2; d <= 2; ++d)
      if (red(x, y + d)) return true;
    return false;
  };
  const double levelY = plot.top() + 0.25 * plot.height();
  for (double f : {0.1, 0.25, 0.4}) EXPECT_TRUE(redNear(plot.left() + f * plot.width(), levelY)) << f;
  EXPECT_FALSE(redNear(plot.left() + 0.25 * plot.width(), plot.top() + 0.6 * plot.height()));
  const double riseX = plot.left() + 0.5 * plot.width();
  EXPECT_TRUE(red(riseX, plot.top() + 0.1 * plot.height()) || red(riseX + 1, plot.top() + 0.1 * plot.height()));
  for (int row = 0; row < qRound(plot.top()) - 2; ++row)  // the title's band stays clear
    EXPECT_FALSE(red(riseX, row) || red(riseX + 1, row)) << row;
}

TEST(SetTextFitting, ShrinksTheFontUntilTheWholeTextFits) {
  QLabel label;
  label.resize(130, 26);
  SetTextFitting(&label, QStringLiteral("-9999999999.0000"), 11);
  EXPECT_EQ(label.text(), "-9999999999.0000");
  EXPECT_LT(label.font().pointSize(), 11);
  EXPECT_LE(label.fontMetrics().horizontalAdvance(label.text()), label.contentsRect().width());
  SetTextFitting(&label, QStringLiteral("20.0000"), 11);
  EXPECT_EQ(label.font().pointSize(), 11);
}
