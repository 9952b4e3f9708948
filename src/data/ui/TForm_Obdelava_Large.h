// The large view of one signal over the analysis window.
#pragma once

#include <QString>
#include <QWidget>

#include "data/MeasurementStore.h"

class VorChart;
class ChartSeries;

class TForm_Obdelava_Large : public QWidget {
  Q_OBJECT
 public:
  // A window of its own; the report and the command line also draw into one unseen.
  TForm_Obdelava_Large();

  // Draws signal[start..end] against time[start..end] in blue under `title`, with a
  // fixed vertical axis 10 % beyond the extremes (-0.1..0.1 when start >= end).
  void PlotSignalLarge(const SampleArray& time, const SampleArray& signal, int start,
                       const QString& title, int end);

  VorChart* Chart1 = nullptr;
  ChartSeries* Series1 = nullptr;

  // The background gradient it shows on screen (0x00BBGGRR colours).
  static constexpr unsigned GradientStartBgr = 16771263;
  static constexpr unsigned GradientEndBgr = 16751932;

 protected:
  void resizeEvent(QResizeEvent* event) override;
};
