// The model chart ("Odprtozančni odziv procesa"): measured and model response against
// time. The "Model" tab shows it, and the report draws it offscreen.
#pragma once

#include "data/MeasurementStore.h"

class QWidget;
class VorChart;

// The chart with its title, legend and the series "Meritve" and "Model" (no geometry).
VorChart* CreateModelChart(QWidget* parent);
// Samples first..n of both against time; the left axis fixed to the extremes of both
// with a tenth of their range above and below.
void PlotModelChart(VorChart& chart, const SampleArray& time, const SampleArray& measured,
                    const SampleArray& model, int n, int first = 1);
// The inner (or outer) model of the store over its window samples.
void PlotStoreModel(VorChart& chart, const MeasurementStore& store, bool outer);
