// The chart of the open- and closed-loop responses ("Odprtozančni (OZ) in zaprtozančni
// (ZZ) odzivi"): the "Regulator" tab shows it, and the report draws it offscreen.
#pragma once

class QWidget;
class VorChart;
class ChartSeries;
struct ResponseCurves;

struct ResponseChart {
  VorChart* Chart = nullptr;
  // "ZZ Odziv I", "OZ Odziv", "ZZ odziv PI", "ZZ odziv PID", "ZZ Odziv P".
  ChartSeries *YI = nullptr, *OpenLoop = nullptr, *YPI = nullptr, *YPID = nullptr, *YP = nullptr;
};

// The chart with its title, legend and five series (without geometry).
ResponseChart CreateResponseChart(QWidget* parent);
// The five curves (each up to its first value that is not finite), then the left axis
// clipped to -1 .. 2 and widened by a tenth of the range.
void PlotResponseCurves(const ResponseChart& chart, const ResponseCurves& curves);
