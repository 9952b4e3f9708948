#include "data/ui/TForm_Obdelava_Large.h"

#include <span>

#include "charts/VorChart.h"
#include "data/NumericHelpers.h"

TForm_Obdelava_Large::TForm_Obdelava_Large() : QWidget(nullptr) {
  setObjectName(QStringLiteral("Form_Obdelava_Large"));
  setWindowTitle(QStringLiteral("Prikaz signala"));
  resize(599, 451);

  Chart1 = new VorChart(this);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  Chart1->setGeometry(11, 21, 577, 409);
  Chart1->SetLegendVisible(false);
  Chart1->SetTitle(QStringLiteral("Časovni prikaz signala"));
  Chart1->SetGradient(true, ColorFromBgr(GradientStartBgr), ColorFromBgr(GradientEndBgr));
  Series1 = &Chart1->AddLineSeries(QStringLiteral("Series1"), ColorFromBgr(16711680));
}

void TForm_Obdelava_Large::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The chart keeps its margins to the window's edges.
  Chart1->setGeometry(11, 21, std::max(50, width() - 22), std::max(50, height() - 42));
}

void TForm_Obdelava_Large::PlotSignalLarge(const SampleArray& time, const SampleArray& signal,
                                           int start, const QString& title, int end) {
  Chart1->SetTitle(title);
  start = std::max(start, 1);
  end = std::min(end, MaxSamples);
  Series1->Replace(std::span<const double>(time), std::span<const double>(signal), start, end);
  const Extremes e = MinMaxOfRange(signal, start, end);
  Chart1->SetLeftAxisAround(e.Minimum, e.Maximum);
}
