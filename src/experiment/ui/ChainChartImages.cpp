#include "experiment/ui/ChainChartImages.h"

#include <QCheckBox>

#include "app/TForm1.h"
#include "charts/VorChart.h"
#include "data/TextFile.h"
#include "model/ui/ModelPage.h"
#include "report/Histogram.h"
#include "report/ui/TForm_Histogram.h"
#include "report/ui/TForm_Obdelava_Large.h"
#include "tuning/ui/RegulatorPage.h"

namespace {

void Export(VorChart& chart, const std::string& folder, ReportImage image) {
  const std::string path = ReportImagePath(folder, image);
  if (!chart.ExportImage(QString::fromStdString(path)))
    throw FileError("Slike '" + path + "' ni mogoče zapisati.");
}

struct Signal {
  SampleArray MeasurementStore::*Values;
  const char* LargeTitle;
  const char* HistogramTitle;
  ReportImage Time, Histogram;
};
const Signal Signals[] = {
    {&MeasurementStore::MVConditioned, "Manipulativni signal", "Histogram manipulativnega signala",
     ReportImage::TimeMV, ReportImage::HistogramMV},
    {&MeasurementStore::UConditioned, "Izhod regulatorja", "Histogram izhoda regulatorja",
     ReportImage::TimeU, ReportImage::HistogramU},
    {&MeasurementStore::Y1Conditioned, "Meritev 1", "Histogram meritve 1", ReportImage::TimeY1,
     ReportImage::HistogramY1},
    {&MeasurementStore::Y2Conditioned, "Meritev 2", "Histogram meritve 2", ReportImage::TimeY2,
     ReportImage::HistogramY2},
};

}  // namespace

ChainChartImages::ChainChartImages(TForm1& form) : form_(form) {}

void ChainChartImages::ExportSignalImages(const std::string& folder, MeasurementStore& store,
                                          int start, int end) {
  TForm_Obdelava_Large& large = form_.ObdelavaLarge();
  large.Chart1->SetGradient(true, Qt::white, Qt::white);
  for (const Signal& s : Signals) {
    large.PlotSignalLarge(store.TimeColumn, store.*s.Values, start,
                          QString::fromUtf8(s.LargeTitle), end);
    Export(*large.Chart1, folder, s.Time);
  }
  large.Chart1->SetGradient(true, ColorFromBgr(TForm_Obdelava_Large::GradientStartBgr),
                            ColorFromBgr(TForm_Obdelava_Large::GradientEndBgr));

  TForm_Histogram& histogram = form_.Histogram();
  histogram.Chart1->SetGradient(true, Qt::white, Qt::white);
  for (const Signal& s : Signals) {
    const HistogramRange r = ComputeHistogram(store, store.*s.Values, start, end);
    histogram.PlotHistogram(store.HistogramLowerEdges, store.HistogramCounts, 1,
                            QString::fromUtf8(s.HistogramTitle), r.Maximum, r.Minimum, 20);
    Export(*histogram.Chart1, folder, s.Histogram);
  }
  histogram.Chart1->SetGradient(true, Qt::white, ColorFromBgr(TForm_Histogram::GradientEndBgr));
}

void ChainChartImages::ExportModelImage(const std::string& folder, const MeasurementStore&,
                                        bool outer) {
  ModelPage& page = form_.ModelTab();
  page.CheckBox_Model_Outer->setChecked(outer);
  page.HideQualityImages();
  page.PlotChosenModel();
  page.ShowModel(outer, 5);
  page.Chart_Model->SetGradient(true);
  Export(*page.Chart_Model, folder, ReportImage::Model);
  page.Chart_Model->SetGradient(false);
}

void ChainChartImages::ExportResponseImage(const std::string& folder, const ResponseCurves*) {
  // The tab's controls hold the dialog's choices (copied before the run): it recomputes
  // what the chain computed and draws it.
  RegulatorPage& page = form_.RegulatorTab();
  page.RecomputeTuningFromControls();
  page.ShowControllerParametersFromControls();
  page.Chart1->SetGradient(true);
  Export(*page.Chart1, folder, ReportImage::Responses);
  page.Chart1->SetGradient(false);
}
