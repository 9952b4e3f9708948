// The model of the response so far, beside the experiment window's charts: fitted off the
// window's thread every few samples from the first step on, shown as kind, K (or slope),
// T, L, quality and bounds, with its curve over the measured Y1, the word when the record
// holds enough, the forecast of Y1 against the envelope's limits and the steps the run ended
// early. The model is the run's: the run feeds it and judges it, the panel fits it.
#pragma once

#include <QGroupBox>

#include "experiment/ExperimentRun.h"
#include "model/LiveModel.h"

class ChartSeries;
class QLabel;
class VorChart;

class LiveModelPanel : public QGroupBox {
  Q_OBJECT
 public:
  static constexpr int Width = 230;
  // Draws the model's curve on chart (the measurement Y1's).
  LiveModelPanel(QWidget* parent, VorChart& chart, ExperimentRun& run);
  ~LiveModelPanel() override;

  // A new run has begun (its model afresh).
  void Begin();
  // The window has drawn the samples the run took; chartFrom is the oldest time the chart
  // shows. A fit starts as a job when one is due and none runs.
  void SamplesDrawn(double chartFrom);
  // The run has ended: a fit under way delivers nothing more.
  void End();

  const LiveModel& Model() const { return run_.Live(); }

  QLabel* Label_Live_Kind = nullptr;
  QLabel* Label_Live_Gain = nullptr;
  QLabel* Label_Live_Time = nullptr;
  QLabel* Label_Live_Delay = nullptr;
  QLabel* Label_Live_Quality = nullptr;
  QLabel* Label_Live_State = nullptr;
  QLabel* Label_Live_Forecast = nullptr;  // "Y1 bo po napovedi dosegel mejo 85,0 čez ≈ 40 s"
  QLabel* Label_Live_Step = nullptr;      // the last step the run ended early
  ChartSeries* ModelSeries = nullptr;

 private:
  void StartFit();
  void Show();
  void ShowRun();
  void DrawCurve();

  ExperimentRun& run_;
  VorChart& chart_;
  double chartFrom_ = 0;
  bool fitting_ = false;
  int generation_ = 0;  // fits of an earlier run deliver nothing
};
