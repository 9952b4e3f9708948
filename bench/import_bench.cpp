// Importing a historian's export: a day at 1 s (86 400 rows; time and five signals with
// decimal commas) read from the file, decoded, parsed, its MV step found and 5000
// samples around it resampled into the store.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "data/DelimitedImport.h"
#include "data/TextFile.h"

namespace {

std::string WriteDayExport() {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("vortuner_bench_day_" + std::to_string(::getpid()) + ".csv"))
                               .string();
  std::string text = "Čas;FIC101.MV;FIC101.OUT;TI101.PV;TI102.PV;PI103.PV\r\n";
  text.reserve(86400 * 64);
  double y1 = 20, y2 = 30;
  char line[128];
  for (int s = 0; s < 86400; ++s) {
    const double mv = s < 43200 ? 20 : 45;
    y1 += (1 - std::exp(-1.0 / 30)) * (0.8 * mv + 4 - y1);
    y2 += (1 - std::exp(-1.0 / 60)) * (1.2 * y1 - y2);
    const int n = std::snprintf(
        line, sizeof line, "2026-12-08 %02d:%02d:%02d;%.3f;%.3f;%.4f;%.4f;%.2f\r\n", s / 3600,
        s / 60 % 60, s % 60, mv, mv, y1 + 0.01 * std::sin(s), y2, 3 + 0.1 * std::cos(s * 0.01));
    std::string row(line, static_cast<size_t>(n));
    for (char& c : row)
      if (c == '.') c = ',';
    text += row;
  }
  WriteFileBytes(path, text);
  return path;
}

void BM_ImportDayAtOneSecond(benchmark::State& state) {
  const std::string path = WriteDayExport();
  auto store = std::make_unique<MeasurementStore>();
  for (auto _ : state) {
    const DelimitedImport r = ImportDelimitedFile(path, {}, {}, *store);
    benchmark::DoNotOptimize(r.Record.StepTime);
  }
  state.SetItemsProcessed(state.iterations() * 86400);
  std::filesystem::remove(path);
}
BENCHMARK(BM_ImportDayAtOneSecond)->Unit(benchmark::kMillisecond);

}  // namespace

// A month at 1 s as a historian exports it: 2 000 000 rows of ISO stamps with an offset
// and three signals (about 86 MB). Reports the peak resident memory of the process.
#include <sys/resource.h>

namespace {

void BM_ImportMonthIsoExport(benchmark::State& state) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("vortuner_bench_month_" + std::to_string(::getpid()) + ".csv"))
                               .string();
  {
    std::string text = "Timestamp,FIC101.OUT,FIC101.OUT2,LI101.PV\n";
    text.reserve(2'000'000 * 45);
    char line[96];
    double y = 60;
    const double a = std::exp(-1.0 / 45);
    for (int k = 0; k < 2'000'000; ++k) {
      const int u = k >= 1'000'000 ? 50 : 40;
      y = a * y + (1 - a) * 1.5 * (k - 8 >= 1'000'000 ? 50 : 40);
      const int day = 1 + k / 86400, s = k % 86400;
      const int n = std::snprintf(line, sizeof line, "2026-11-%02dT%02d:%02d:%02d+01:00,%d,%d,%.5f\n",
                                  day, s / 3600, s / 60 % 60, s % 60, u, u, y);
      text.append(line, static_cast<size_t>(n));
    }
    WriteFileBytes(path, text);
  }
  auto store = std::make_unique<MeasurementStore>();
  for (auto _ : state) {
    const DelimitedImport r = ImportDelimitedFile(path, {}, {}, *store);
    benchmark::DoNotOptimize(r.Record.StepTime);
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["PeakRssMB"] = static_cast<double>(usage.ru_maxrss) / 1024;
  state.SetItemsProcessed(state.iterations() * 2'000'000);
  std::filesystem::remove(path);
}
BENCHMARK(BM_ImportMonthIsoExport)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
