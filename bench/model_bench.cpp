// Identification of both models over the largest window: the program's identification and
// the straightforward one it is checked against.
#include <benchmark/benchmark.h>

#include <thread>

#include "../tests/model/ModelTestData.h"
#include "../tests/model/ReferenceIdentification.h"
#include "model/DelaySweep.h"
#include "model/IdentifyModel.h"
#include "model/LiveModel.h"
#include "model/TModel.h"

static void BM_IdentifyModel(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto store = modeltest::LongNoisyStep(n);
  for (auto _ : state) {
    IdentifyModel(*store, 1, n);
    benchmark::DoNotOptimize(store->InnerGain);
  }
}
BENCHMARK(BM_IdentifyModel)->Arg(4999)->Unit(benchmark::kMillisecond)->UseRealTime();

// Today's first-order identification alone, as it ran before the integrating fits: the
// inner and the outer model on two threads. BM_IdentifyModel above fits both kinds of
// both processes (four identifications taken in turn by two threads).
static void BM_IdentifyFirstOrderOnly(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto store = modeltest::LongNoisyStep(n);
  IdentifyModel(*store, 1, n);  // the window arrays
  MeasurementStore& s = *store;
  const ModelSignals inner{s.UDeviation, s.Y1Deviation, s.InnerMeasured, s.InnerModelResponse};
  const ModelSignals outer{s.Y1Deviation, s.Y2Deviation, s.OuterMeasured, s.OuterModelResponse};
  const double filterTime = 0.05 * (s.TimeColumn[n] - s.TimeColumn[1]);
  for (auto _ : state) {
    ModelEstimate in, out;
    std::thread worker([&] { out = TModel::IdentifyOne(outer, n, s.SampleTime, filterTime); });
    in = TModel::IdentifyOne(inner, n, s.SampleTime, filterTime);
    worker.join();
    benchmark::DoNotOptimize(in.Gain);
    benchmark::DoNotOptimize(out.Gain);
  }
}
BENCHMARK(BM_IdentifyFirstOrderOnly)->Arg(4999)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with the sweep's baseline form, which processors without AVX2 run.
static void BM_IdentifyModelBaselineSweep(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto store = modeltest::LongNoisyStep(n);
  ChooseSweepKernel(SweepKernel::Baseline);
  for (auto _ : state) {
    IdentifyModel(*store, 1, n);
    benchmark::DoNotOptimize(store->InnerGain);
  }
  ChooseSweepKernel(SweepKernel::Best);
}
BENCHMARK(BM_IdentifyModelBaselineSweep)->Arg(4999)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_IdentifyModelReference(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto store = modeltest::LongNoisyStep(n);
  for (auto _ : state) {
    const reference::Result r = reference::IdentifyModel(*store, 1, n);
    benchmark::DoNotOptimize(r.Inner.Gain);
  }
}
BENCHMARK(BM_IdentifyModelReference)->Arg(4999)->Unit(benchmark::kMillisecond)->UseRealTime();

// One update of the live model on a window of 2 000 samples (both kinds, one core): what a
// fit during a running step costs, against a tenth of the sampling period.
static void BM_LiveModelUpdate(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto store = modeltest::LongNoisyStep(n);
  LiveModelSettings settings;
  settings.SampleTime = store->SampleTime;
  LiveModel live(settings);
  for (int k = 1; k <= n; ++k) live.AddSample(store->DataColumns[3][k], store->DataColumns[5][k]);
  const LiveModelRecord record = live.TakeRecord();
  for (auto _ : state) {
    const LiveModelFit fit = LiveModel::Fit(record);
    benchmark::DoNotOptimize(fit.Gain);
  }
}
BENCHMARK(BM_LiveModelUpdate)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One delay sweep of the inner model over the largest window: every candidate to its end,
// and only as far as a candidate may still be the best.
static void SweepOfInnerModel(benchmark::State& state, bool forBest) {
  const int n = static_cast<int>(state.range(0));
  auto store = modeltest::LongNoisyStep(n);
  IdentifyModel(*store, 1, n);  // the window arrays
  const MeasurementStore& s = *store;
  std::vector<Candidate> table;
  for (auto _ : state) {
    if (forBest)
      SweepDelaysForBest(s.UDeviation, s.Y1Deviation, s.InnerMeasured, n, s.SampleTime, 25.0, -1,
                         table);
    else
      SweepDelays(s.UDeviation, s.Y1Deviation, s.InnerMeasured, n, s.SampleTime, 25.0, table);
    benchmark::DoNotOptimize(table.data());
  }
}
static void BM_SweepDelays(benchmark::State& state) { SweepOfInnerModel(state, false); }
static void BM_SweepDelaysForBest(benchmark::State& state) { SweepOfInnerModel(state, true); }
BENCHMARK(BM_SweepDelays)->Arg(4999)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SweepDelaysForBest)->Arg(4999)->Unit(benchmark::kMillisecond)->UseRealTime();
