#include "data/ui/TForm_Histogram.h"

#include <QAreaSeries>
#include <QChart>
#include <QFont>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <vector>

#include "charts/VorChart.h"

TForm_Histogram::TForm_Histogram() : QWidget(nullptr, Qt::Dialog) {
  setObjectName(QStringLiteral("Form_Histogram"));
  setWindowTitle(QStringLiteral("Histogram"));
  setFixedSize(413, 262);  // a dialog frame: not resizable

  Chart1 = new VorChart(this);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  Chart1->setGeometry(6, 6, 400, 250);
  Chart1->SetLegendVisible(false);
  QFont titleFont(QStringLiteral("Comic Sans MS"), 10);
  titleFont.setBold(true);
  Chart1->chart()->setTitleFont(titleFont);
  Chart1->SetGradient(true, Qt::white, ColorFromBgr(GradientEndBgr));
  Series1 = Chart1->BarSeries();
  Series1->setObjectName(QStringLiteral("Series1"));
  // Eleven value labels along the bottom: short numbers in a small font.
  QFont labelFont = font();
  labelFont.setPointSize(7);
  for (QAbstractAxis* axis : Chart1->chart()->axes()) axis->setLabelsFont(labelFont);
  for (QAbstractAxis* axis : Chart1->chart()->axes(Qt::Horizontal))
    if (auto* value = qobject_cast<QValueAxis*>(axis))
      value->setLabelFormat(QStringLiteral("%.4g"));
}

void TForm_Histogram::PlotHistogram(const std::array<double, 21>& lowerEdges,
                                    const std::array<std::int32_t, 21>& counts, int firstClass,
                                    const QString& title, double maximum, double minimum,
                                    int lastClass) {
  Chart1->SetTitle(title);
  firstClass = std::max(firstClass, 1);
  lastClass = std::min(lastClass, 20);
  // Each bar covers most of its class from the lower edge; a window without spread
  // still gets a visible bar.
  const double range = maximum - minimum;
  const double classWidth = range > 0 ? 0.05 * range : 0.05 * std::max(1.0, std::fabs(minimum));
  std::vector<QPointF> bars;
  std::int32_t highest = 0;
  for (int i = firstClass; i <= lastClass; ++i) {
    bars.emplace_back(lowerEdges[static_cast<size_t>(i)], counts[static_cast<size_t>(i)]);
    highest = std::max(highest, counts[static_cast<size_t>(i)]);
  }
  Chart1->SetBars(bars, 0.8 * classWidth, ColorFromBgr(16711680));
  Chart1->SetLeftAxisRange(0, highest > 0 ? 1.1 * highest : 1);
  if (maximum != minimum)
    Chart1->SetBottomAxisIncrement((maximum - minimum) * 0.1);
  else
    Chart1->SetBottomAxisIncrement(0);
}
