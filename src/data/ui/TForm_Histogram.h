// The histogram window: the distribution of one signal over the analysis window.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>

class VorChart;
class QAreaSeries;

class TForm_Histogram : public QWidget {
  Q_OBJECT
 public:
  // A window of its own; the report and the command line also draw into one unseen.
  TForm_Histogram();

  // Draws classes firstClass..lastClass as bars standing at their lower edges, titled
  // `title`; the bottom axis is labelled every tenth of the range when it has one.
  void PlotHistogram(const std::array<double, 21>& lowerEdges,
                     const std::array<std::int32_t, 21>& counts, int firstClass,
                     const QString& title, double maximum, double minimum, int lastClass);

  // The histogram chart and its bar series.
  VorChart* Chart1 = nullptr;
  QAreaSeries* Series1 = nullptr;

  // The background gradient it shows on screen: white to 0xFFB00D (0x00BBGGRR).
  static constexpr unsigned GradientEndBgr = 16756749;
};
