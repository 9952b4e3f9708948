// Redrawing the four signal charts of the "Obdelava" tab over a full record.
#include <benchmark/benchmark.h>

#include <QPixmap>
#include <QScrollBar>
#include <QTabWidget>
#include <cmath>

#include "app/TForm1.h"
#include "data/Clock.h"
#include "data/ui/ProcessingPage.h"
#include "opc/OpcClient.h"

namespace {

struct Program {
  Program() : opc(CreateNoServerOpcClient()), windows(CreateApplicationWindows(*opc, clock)) {
    MeasurementStore& s = windows.Form1->Store();
    s.SampleCount = 4999;
    s.SampleTime = 0.1;
    s.ColumnCount = 6;
    for (int k = 1; k <= 4999; ++k) {
      s.TimeColumn[k] = (k - 1) * 0.1;
      const double mv = k < 500 ? 20 : 60;
      const double y = 10 + 0.2 * mv * (1 - std::exp(-std::max(0, k - 520) / 300.0));
      const double col[7] = {0, mv, mv, mv + std::sin(k * 0.1), mv, y + 0.1 * std::sin(k), 2 * y};
      for (int c = 1; c <= 6; ++c) s.DataColumns[c][k] = col[c];
    }
    windows.Form1->PageControl1->setCurrentIndex(TabObdelava);
    windows.Form1->show();
    Page().ConditionAfterExperiment();
  }
  ProcessingPage& Page() { return windows.Form1->ProcessingTab(); }
  ManualClock clock;
  std::unique_ptr<OpcClient> opc;
  ApplicationWindows windows;
};

// The plot routines: series, statistics and axes of all four charts.
void BM_RedrawFourCharts(benchmark::State& state) {
  Program p;
  for (auto _ : state) p.Page().RedrawSignals();
  state.SetItemsProcessed(state.iterations() * 4 * 4999);
}
BENCHMARK(BM_RedrawFourCharts)->Unit(benchmark::kMillisecond);

// The same and the page painted, as the user sees it after moving a window selector.
void BM_RedrawAndPaintFourCharts(benchmark::State& state) {
  Program p;
  QPixmap target(p.Page().size());
  for (auto _ : state) {
    p.Page().RedrawSignals();
    p.Page().render(&target);
  }
}
BENCHMARK(BM_RedrawAndPaintFourCharts)->Unit(benchmark::kMillisecond);

}  // namespace
