// The model of the response so far, beside the experiment window's charts: fitted off the
// window's thread every few samples from the first step on, shown as kind, K (or slope),
// T, L, quality and bounds, with its curve over the measured Y1, and the word when the
// record holds enough.
#pragma once

#include <QGroupBox>
#include <memory>
#include <vector>

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
  LiveModelPanel(QWidget* parent, VorChart& chart);
  ~LiveModelPanel() override;

  // A new run of the given sampling period: the model starts afresh.
  void Begin(double samplePeriod);
  // The samples the window has just drawn (U and Y1 go to the model); chartFrom is the
  // oldest time the chart shows. A fit starts as a job when one is due and none runs.
  void AddSamples(const std::vector<ExperimentSample>& samples, double chartFrom);
  // The run has ended: a fit under way delivers nothing more.
  void End();

  const LiveModel& Model() const { return *model_; }

  QLabel* Label_Live_Kind = nullptr;
  QLabel* Label_Live_Gain = nullptr;
  QLabel* Label_Live_Time = nullptr;
  QLabel* Label_Live_Delay = nullptr;
  QLabel* Label_Live_Quality = nullptr;
  QLabel* Label_Live_State = nullptr;
  ChartSeries* ModelSeries = nullptr;

 private:
  void StartFit();
  void Show();
  void DrawCurve();

  std::unique_ptr<LiveModel> model_;
  VorChart& chart_;
  double chartFrom_ = 0;
  bool fitting_ = false;
  int generation_ = 0;  // fits of an earlier run deliver nothing
};
