#include <benchmark/benchmark.h>

#include <memory>

#include "tuning/Recomputation.h"

// One recomputation of the "Regulator" tab with the longest horizon: tuning, the open
// loop and four closed loops over 4999 samples (what every slider step costs).
static void BM_TuneAndSimulate(benchmark::State& state) {
  auto store = std::make_unique<MeasurementStore>();
  store->InnerGain = 2, store->InnerTimeConstant = 200, store->InnerDeadTime = 50;
  store->OuterGain = 1.5, store->OuterTimeConstant = 400, store->OuterDeadTime = 80;
  const bool cascade = state.range(0) != 0;
  for (auto _ : state) {
    ApplyTuning(*store, 1, 10, cascade);
    const SimulationOutcome o = SimulateResponses(*store, 0.1, 0, cascade);
    benchmark::DoNotOptimize(o.Curves->YPID[o.Curves->N - 1]);
  }
}
BENCHMARK(BM_TuneAndSimulate)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
