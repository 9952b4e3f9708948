// The post-processing chain's chart images, drawn by the program's own charts: the large
// signal view and the histogram window draw the eight signal images without being shown;
// the model and regulator tabs show the identified model and the tuned loop, and their
// charts are exported as the engineer then sees them.
#pragma once

#include "report/ui/ChartReportImages.h"

class Workspace;

class ChainChartImages final : public ReportImagePort {
 public:
  explicit ChainChartImages(Workspace& form);
  void ExportSignalImages(const std::string& folder, MeasurementStore& store, int start,
                          int end) override;
  void ExportModelImage(const std::string& folder, const MeasurementStore& store,
                        bool outer) override;
  void ExportResponseImage(const std::string& folder, const ResponseCurves* curves) override;

 private:
  Workspace& form_;
  ChartReportImages charts_;
};
