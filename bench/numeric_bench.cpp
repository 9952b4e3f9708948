#include <benchmark/benchmark.h>

#include <memory>

#include "data/NumericHelpers.h"

static void BM_FirstOrderResponse(benchmark::State& state) {
  auto store = std::make_unique<MeasurementStore>();
  const int n = static_cast<int>(state.range(0));
  for (int k = 1; k <= n; ++k) store->DataColumns[1][k] = k > 20 ? 1.0 : 0.0;
  for (auto _ : state) {
    FirstOrderResponse(store->DataColumns[1], store->Y1Conditioned, store->FilterRate, 1, n, 2.0,
                       20.0, 5.0, 0.0, 1.0);
    benchmark::DoNotOptimize(store->Y1Conditioned[n]);
  }
}
BENCHMARK(BM_FirstOrderResponse)->Arg(4999);
