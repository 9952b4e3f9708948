#include "report/ui/ChartReportImages.h"

#include "charts/VorChart.h"
#include "data/Histogram.h"
#include "data/TextFile.h"
#include "data/ui/TForm_Histogram.h"
#include "data/ui/TForm_Obdelava_Large.h"
#include "model/ui/ModelChart.h"
#include "tuning/Recomputation.h"

void ExportChartImage(VorChart& chart, const std::string& folder, ReportImage image) {
  const std::string path = ReportImagePath(folder, image);
  if (!chart.ExportImage(QString::fromStdString(path), ReportImagePixelRatio))
    throw FileError("Cannot write file \"" + path + "\".");
}

ChartReportImages::ChartReportImages(TForm_Obdelava_Large& large, TForm_Histogram& histogram,
                                     VorChart& modelChart, VorChart& responseChart)
    : large_(large), histogram_(histogram), model_(modelChart), responses_(responseChart) {}

void ChartReportImages::ExportSignalImages(const std::string& folder, MeasurementStore& store,
                                           int start, int end) {
  struct Signal {
    const SampleArray& Values;
    int Column;  // the record's column, whose description titles the value axis
    const char* LargeTitle;
    ReportImage Time;
    const char* HistogramTitle;
    ReportImage Histogram;
  };
  const Signal plots[] = {{store.MVConditioned, 1, "Manipulativni signal", ReportImage::TimeMV,
                           "Histogram manipulativnega signala", ReportImage::HistogramMV},
                          {store.UConditioned, 3, "Izhod regulatorja", ReportImage::TimeU,
                           "Histogram izhoda regulatorja", ReportImage::HistogramU},
                          {store.Y1Conditioned, 5, "Meritev 1", ReportImage::TimeY1,
                           "Histogram meritve 1", ReportImage::HistogramY1},
                          {store.Y2Conditioned, 6, "Meritev 2", ReportImage::TimeY2,
                           "Histogram meritve 2", ReportImage::HistogramY2}};
  // The value axis is titled with the signal's description (its unit, as the engineer
  // wrote it there); the time axis in seconds.
  auto description = [&store](const Signal& s) {
    return QString::fromStdString(store.ColumnNames[static_cast<size_t>(s.Column)]);
  };

  // White behind the curves on paper; the windows' own gradients again afterwards.
  large_.Chart1->SetGradient(true, Qt::white, Qt::white);
  struct RestoreLarge {
    TForm_Obdelava_Large& w;
    ~RestoreLarge() {
      w.Chart1->SetAxisTitles(QString(), QString());
      w.Chart1->SetGradient(true, ColorFromBgr(TForm_Obdelava_Large::GradientStartBgr),
                            ColorFromBgr(TForm_Obdelava_Large::GradientEndBgr));
    }
  } restoreLarge{large_};
  for (const Signal& s : plots) {
    large_.PlotSignalLarge(store.TimeColumn, s.Values, start, QString::fromUtf8(s.LargeTitle), end);
    large_.Chart1->SetAxisTitles(QString::fromUtf8("Čas [s]"), description(s));
    ExportChartImage(*large_.Chart1, folder, s.Time);
  }

  histogram_.Chart1->SetGradient(true, Qt::white, Qt::white);
  struct RestoreHistogram {
    TForm_Histogram& w;
    ~RestoreHistogram() {
      w.Chart1->SetAxisTitles(QString(), QString());
      w.Chart1->SetGradient(true, Qt::white, ColorFromBgr(TForm_Histogram::GradientEndBgr));
    }
  } restoreHistogram{histogram_};
  for (const Signal& s : plots) {
    const HistogramRange range = ComputeHistogram(store, s.Values, start, end);
    histogram_.PlotHistogram(store.HistogramLowerEdges, store.HistogramCounts, 1,
                             QString::fromUtf8(s.HistogramTitle), range.Maximum, range.Minimum,
                             HistogramClasses);
    histogram_.Chart1->SetAxisTitles(description(s), QString::fromUtf8("Število vzorcev"));
    ExportChartImage(*histogram_.Chart1, folder, s.Histogram);
  }
}

namespace {
// A chart exported with its gradient shown, hidden again afterwards.
void ExportWithGradient(VorChart& chart, const std::string& folder, ReportImage image) {
  chart.SetGradient(true);
  struct Hide {
    VorChart& c;
    ~Hide() { c.SetGradient(false); }
  } hide{chart};
  ExportChartImage(chart, folder, image);
}
}  // namespace

void ChartReportImages::ExportModelImage(const std::string& folder, const MeasurementStore&, bool) {
  ExportWithGradient(model_, folder, ReportImage::Model);
}

void ChartReportImages::ExportResponseImage(const std::string& folder, const ResponseCurves*) {
  ExportWithGradient(responses_, folder, ReportImage::Responses);
}

OffscreenReportImages::OffscreenReportImages()
    : large_(std::make_unique<TForm_Obdelava_Large>()),
      histogram_(std::make_unique<TForm_Histogram>()),
      model_(std::unique_ptr<VorChart>(CreateModelChart(nullptr))),
      responseHolder_(std::make_unique<QWidget>()) {
  // The sizes the charts have on their tabs.
  model_->resize(528, 526);
  responses_ = CreateResponseChart(responseHolder_.get());
  responseHolder_->resize(582, 330);
  responses_.Chart->resize(582, 330);
  charts_ = std::make_unique<ChartReportImages>(*large_, *histogram_, *model_, *responses_.Chart);
  // Shown once and for good, never on the screen: laid out for their sizes, and not
  // shown and hidden again for every image.
  for (QWidget* w : {static_cast<QWidget*>(large_.get()), static_cast<QWidget*>(histogram_.get()),
                     static_cast<QWidget*>(model_.get()), responseHolder_.get()}) {
    w->setAttribute(Qt::WA_DontShowOnScreen, true);
    w->show();
  }
}

OffscreenReportImages::~OffscreenReportImages() = default;

void OffscreenReportImages::ExportSignalImages(const std::string& folder, MeasurementStore& store,
                                               int start, int end) {
  charts_->ExportSignalImages(folder, store, start, end);
}

void OffscreenReportImages::ExportModelImage(const std::string& folder,
                                             const MeasurementStore& store, bool outer) {
  PlotStoreModel(*model_, store, outer);
  charts_->ExportModelImage(folder, store, outer);
}

void OffscreenReportImages::ExportResponseImage(const std::string& folder,
                                                const ResponseCurves* curves) {
  if (curves) PlotResponseCurves(responses_, *curves);
  charts_->ExportResponseImage(folder, curves);
}
