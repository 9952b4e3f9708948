// A full report (all sections, ten chart images) over a 4999-sample record: the images
// drawn offscreen, the ".docx" written, the PDF written.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <cmath>
#include <memory>

#include "model/IdentifyModel.h"
#include "report/ReportImages.h"
#include "report/ReportTexts.h"
#include "report/TPorocilo.h"
#include "report/ui/ChartReportImages.h"
#include "report/ui/PdfReportWriter.h"
#include "tuning/Recomputation.h"

namespace {

struct ReportSetup {
  ReportSetup() : store(std::make_unique<MeasurementStore>()) {
    MeasurementStore& s = *store;
    s.SampleCount = 4999;
    s.SampleTime = 0.1;
    for (int k = 1; k <= 4999; ++k) {
      s.TimeColumn[k] = (k - 1) * 0.1;
      const double u = k < 500 ? 20 : 60;
      const double y = 10 + 0.2 * u * (1 - std::exp(-std::max(0, k - 520) / 300.0));
      s.MVConditioned[k] = s.UConditioned[k] = u;
      s.Y1Conditioned[k] = y + 0.05 * std::sin(k);
      s.Y2Conditioned[k] = 2 * y;
    }
    IdentifyModel(s, 1, 4999);
    ApplyTuning(s, 0, 10, false);
    double last = 0;
    sim = SimulateResponses(s, ResolveSampleTime("0.1", '.', last), 0, false);
    in.TitleLine = " Vor Tuner 1.0.7";
    in.Statistics = ShownStatistics(s, 1, 4999, '.');
    SetModelTexts(in, ShownModelTexts(s, false, 5, '.'));
    SetControllerTexts(in, SummaryTexts(s, false, '.'), ComputeControllerPanel(s.Tuning, {}, '.'));
  }
  void ExportImages() {
    ReportImageRequest request;
    request.Start = 1;
    request.End = 4999;
    request.Curves = sim.Curves ? &*sim.Curves : nullptr;
    ExportReportImages(images, dir.path().toStdString(), *store, request);
  }
  QTemporaryDir dir;
  std::unique_ptr<MeasurementStore> store;
  SimulationOutcome sim;
  OffscreenReportImages images;
  ReportInputs in;
};

void BM_ReportImages(benchmark::State& state) {
  ReportSetup setup;
  for (auto _ : state) setup.ExportImages();
}
BENCHMARK(BM_ReportImages)->Unit(benchmark::kMillisecond);

void BM_ReportDocx(benchmark::State& state) {
  ReportSetup setup;
  setup.ExportImages();
  setup.in.ReportPath = setup.dir.path().toStdString() + "/r.docx";
  for (auto _ : state) TPorocilo().CreateReport(setup.in);
}
BENCHMARK(BM_ReportDocx)->Unit(benchmark::kMillisecond);

void BM_ReportPdf(benchmark::State& state) {
  ReportSetup setup;
  setup.ExportImages();
  setup.in.ReportPath = setup.dir.path().toStdString() + "/r.pdf";
  const PdfReportWriter pdf;
  for (auto _ : state) TPorocilo(&pdf).CreateReport(setup.in);
}
BENCHMARK(BM_ReportPdf)->Unit(benchmark::kMillisecond);

// The whole report button: images, document, deletion.
void BM_ReportFull(benchmark::State& state) {
  ReportSetup setup;
  setup.in.ReportPath = setup.dir.path().toStdString() + "/r.docx";
  for (auto _ : state) {
    setup.ExportImages();
    TPorocilo().CreateReport(setup.in);
    DeleteReportImages(setup.dir.path().toStdString());
  }
}
BENCHMARK(BM_ReportFull)->Unit(benchmark::kMillisecond);

}  // namespace
