#include "model/ui/ModelChart.h"

#include <QLineSeries>
#include <algorithm>

#include "charts/VorChart.h"
#include "data/NumericHelpers.h"

VorChart* CreateModelChart(QWidget* parent) {
  auto* chart = new VorChart(parent);
  chart->setObjectName(QStringLiteral("Chart_Model"));
  chart->SetTitle(QString::fromUtf8("Odprtozančni odziv procesa"));
  chart->SetLegendVisible(true);
  chart->AddLineSeries(QStringLiteral("Meritve"), QColor(255, 0, 0));
  chart->AddLineSeries(QStringLiteral("Model"), QColor(0, 128, 0), LineKind::Straight, Qt::DashLine,
                       2);
  chart->SeriesAt(0).Series()->setObjectName(QStringLiteral("LineSeries1"));
  chart->SeriesAt(1).Series()->setObjectName(QStringLiteral("LineSeries2"));
  chart->SetAxisTitles(QStringLiteral("Čas [s]"), QString());
  return chart;
}

void PlotModelChart(VorChart& chart, const SampleArray& time, const SampleArray& measured,
                    const SampleArray& model, int n, int first) {
  n = std::min(n, MaxSamples);
  ChartSeries& meritve = chart.SeriesAt(0);
  ChartSeries& modelSeries = chart.SeriesAt(1);
  if (n < first) {
    meritve.Clear();
    modelSeries.Clear();
  } else {
    meritve.Replace(time, measured, first, n);
    modelSeries.Replace(time, model, first, n);
  }
  const Extremes a = MinMaxOfRange(measured, first, n);
  const Extremes b = MinMaxOfRange(model, first, n);
  chart.SetLeftAxisAround(std::min(a.Minimum, b.Minimum), std::max(a.Maximum, b.Maximum));
}

void PlotStoreModel(VorChart& chart, const MeasurementStore& s, bool outer) {
  // The value axis: the change of Y1 (inner) or Y2 (outer) from its level before the step,
  // in the unit its description gives.
  const std::string& description = s.ColumnNames[outer ? 6 : 5];
  chart.SetAxisTitles(
      QString::fromUtf8("Čas [s]"),
      QString::fromUtf8(outer ? "Odmik Y2" : "Odmik Y1") +
          (description.empty() ? QString()
                               : QStringLiteral(": ") + QString::fromStdString(description)));
  if (outer)
    PlotModelChart(chart, s.WindowTime, s.OuterMeasured, s.OuterModelResponse,
                   s.ModelWindowSamples);
  else
    PlotModelChart(chart, s.WindowTime, s.InnerMeasured, s.InnerModelResponse,
                   s.ModelWindowSamples);
}
