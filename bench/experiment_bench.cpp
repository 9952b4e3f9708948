// One sample of the experiment window: the store append, four chart points (with the
// oldest dropped once the 200 s window is full) and the five labels, without and with the
// repaint of the shown window; and the core's tick alone.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QCoreApplication>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "app/TForm1.h"
#include "data/Clock.h"
#include "experiment/ExperimentRun.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "opc/OpcClient.h"

namespace {

void StartRun(TEksperiment& window) {
  window.FormShow();
  window.Timer1->stop();  // the benchmark drives the ticks
  // Fill the charts' 200 s window first: the steady state of a long experiment.
  while (window.Run().ExperimentTime <= 210) window.Timer1Timer();
}

// The program's windows with the experiment window set up for a manual run at the given
// sampling period.
struct ExperimentWindowBench {
  explicit ExperimentWindowBench(int periodMs)
      : opc(CreateNoServerOpcClient()), windows(CreateApplicationWindows(*opc, clock)) {
    Form().ExperimentTab().RadioRocno->setChecked(true);
    // The charts keep 200 s: 200 points per series at 1 s, 4000 at the shortest 50 ms.
    Window().Run().Setup.SamplePeriodMs = periodMs;
    Form().Store().SampleTime = periodMs * 0.001;
  }
  TForm1& Form() { return *windows.Form1; }
  TEksperiment& Window() { return *windows.Eksperiment; }

  std::unique_ptr<OpcClient> opc;
  SystemClock clock;
  ApplicationWindows windows;
};

}  // namespace

static void BM_ExperimentWindowTick(benchmark::State& state) {
  ExperimentWindowBench bench(static_cast<int>(state.range(0)));
  TForm1& form = bench.Form();
  TEksperiment& window = bench.Window();
  StartRun(window);
  for (auto _ : state) {
    window.Timer1Timer();
    if (form.Store().SampleCount > MaxSamples - 10) {
      state.PauseTiming();
      StartRun(window);
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_ExperimentWindowTick)->Arg(1000)->Arg(50)->Unit(benchmark::kMicrosecond);

// The same with the window shown: each sample followed by the repaint it causes (the
// four charts' lines drawn into the window), the whole of what a sample costs the
// window's thread.
static void BM_ExperimentWindowTickPainted(benchmark::State& state) {
  ExperimentWindowBench bench(static_cast<int>(state.range(0)));
  TForm1& form = bench.Form();
  TEksperiment& window = bench.Window();
  window.show();  // the run begins
  window.Timer1->stop();
  while (window.Run().ExperimentTime <= 210) window.Timer1Timer();
  QCoreApplication::processEvents();
  // The longest sample and repaint in the thread's CPU time (a loaded machine's other
  // work does not count).
  double tickMax = 0, paintMax = 0, paintSum = 0;
  const auto cpuMs = [] {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
  };
  for (auto _ : state) {
    const double start = cpuMs();
    window.Timer1Timer();
    const double painting = cpuMs();
    QCoreApplication::processEvents();  // the repaint
    tickMax = std::max(tickMax, painting - start);
    const double paint = cpuMs() - painting;
    paintMax = std::max(paintMax, paint);
    paintSum += paint;
    if (form.Store().SampleCount > MaxSamples - 10) {
      state.PauseTiming();
      StartRun(window);
      state.ResumeTiming();
    }
  }
  state.counters["tick_cpu_max_ms"] = tickMax;
  state.counters["paint_cpu_max_ms"] = paintMax;
  state.counters["paint_cpu_mean_ms"] = paintSum / static_cast<double>(state.iterations());
  window.hide();
}
BENCHMARK(BM_ExperimentWindowTickPainted)->Arg(50)->Unit(benchmark::kMicrosecond);

static void BM_ExperimentCoreTick(benchmark::State& state) {
  auto store = std::make_unique<MeasurementStore>();
  auto opc = CreateNoServerOpcClient();
  ExperimentRun run(*store, *opc);
  run.Setup.InitialInput = 20;
  run.Begin();
  for (auto _ : state) {
    benchmark::DoNotOptimize(run.Tick(false));
    if (store->SampleCount > MaxSamples - 10) run.Begin();
  }
}
BENCHMARK(BM_ExperimentCoreTick)->Unit(benchmark::kNanosecond);
