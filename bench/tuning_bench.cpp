#include <benchmark/benchmark.h>

#include <memory>

#include "tuning/Recomputation.h"
#include "tuning/RobustProposal.h"
#include "tuning/Robustness.h"

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

// One recomputation of the "Regulator" tab as a slider step runs it: tuning, the
// simulated responses and the robustness figures of the four proposals and the scaled
// controller. Range 0: sampling time 5 s (10 samples of dead time, 30 of the horizon's
// samples per time constant); range 1: 0.1 s (500 samples of dead time, the longest
// horizon). Second argument: single loop (0) or cascade (1).
static void BM_RecomputationWithRobustness(benchmark::State& state) {
  auto store = std::make_unique<MeasurementStore>();
  store->InnerGain = 2, store->InnerTimeConstant = 200, store->InnerDeadTime = 50;
  store->OuterGain = 1.5, store->OuterTimeConstant = 400, store->OuterDeadTime = 80;
  const bool cascade = state.range(1) != 0;
  const double h = state.range(0) == 0 ? 5 : 0.1;
  PanelInput in;
  in.Cascade = cascade;
  for (auto _ : state) {
    ApplyTuning(*store, 1, 10, cascade);
    const SimulationOutcome o = SimulateResponses(*store, h, 0, cascade);
    const LoopController scaled = ComputeControllerPanel(store->Tuning, in, '.').Controller;
    const RobustnessSet r = ComputeRobustness(SampledProcessOfStore(*store, h, cascade),
                                              ProposedLoopControllers(store->Tuning, cascade),
                                              scaled);
    benchmark::DoNotOptimize(o.Curves->YPID[o.Curves->N - 1]);
    benchmark::DoNotOptimize(r.PID.Ms);
  }
}
BENCHMARK(BM_RecomputationWithRobustness)
    ->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

// "Robustni predlog" for a cascade whose dead times span 500 and 800 samples: the figures
// of the panel's PID at up to 21 slider positions (aim: well under 20 ms).
static void BM_RobustProposalCascade(benchmark::State& state) {
  auto store = std::make_unique<MeasurementStore>();
  store->InnerGain = 2, store->InnerTimeConstant = 200, store->InnerDeadTime = 50;
  store->OuterGain = 1.5, store->OuterTimeConstant = 400, store->OuterDeadTime = 80;
  RobustProposalRequest r;
  r.Cascade = true;
  r.SampleTime = 0.1;  // 500 and 800 samples of dead time
  r.Panel.Type = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const RobustProposal p = FindRobustPosition(*store, r, '.');
    benchmark::DoNotOptimize(p.Figures.Ms);
  }
}
BENCHMARK(BM_RobustProposalCascade)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);
