// The report's chart images drawn with the program's charts: the large signal view and
// the histogram window draw the eight signal images, the model and response charts are
// exported as they stand (ChartReportImages, the report button), or all of them are
// drawn into unseen windows of the same sizes (OffscreenReportImages, for the command
// line and the automatic post-processing; no display needed).
#pragma once

#include <QString>
#include <memory>

#include "report/ReportImages.h"
#include "tuning/ui/ResponseChart.h"

class TForm_Histogram;
class TForm_Obdelava_Large;
class VorChart;

// Pixels per screen pixel of the exported images: sharp on paper.
inline constexpr double ReportImagePixelRatio = 2;

class ChartReportImages : public ReportImagePort {
 public:
  ChartReportImages(TForm_Obdelava_Large& large, TForm_Histogram& histogram, VorChart& modelChart,
                    VorChart& responseChart);
  void ExportSignalImages(const std::string& folder, MeasurementStore& store, int start,
                          int end) override;
  // The model and response charts as they are shown, with their gradient on.
  void ExportModelImage(const std::string& folder, const MeasurementStore& store,
                        bool outer) override;
  void ExportResponseImage(const std::string& folder, const ResponseCurves* curves) override;

 private:
  TForm_Obdelava_Large& large_;
  TForm_Histogram& histogram_;
  VorChart& model_;
  VorChart& responses_;
};

class OffscreenReportImages final : public ReportImagePort {
 public:
  OffscreenReportImages();
  ~OffscreenReportImages() override;
  void ExportSignalImages(const std::string& folder, MeasurementStore& store, int start,
                          int end) override;
  // Drawn from the store's model and from the curves first.
  void ExportModelImage(const std::string& folder, const MeasurementStore& store,
                        bool outer) override;
  void ExportResponseImage(const std::string& folder, const ResponseCurves* curves) override;

 private:
  std::unique_ptr<TForm_Obdelava_Large> large_;
  std::unique_ptr<TForm_Histogram> histogram_;
  std::unique_ptr<VorChart> model_;
  std::unique_ptr<QWidget> responseHolder_;
  ResponseChart responses_;
  std::unique_ptr<ChartReportImages> charts_;
};

// A chart as a report image file; FileError when it cannot be written.
void ExportChartImage(VorChart& chart, const std::string& folder, ReportImage image);
