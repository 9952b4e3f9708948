#include "report/ReportImages.h"

#include <cstdio>

const char* ReportImageFile(ReportImage image) {
  static const char* const Names[ReportImageCount] = {
      "kavrin0.png",    "kavrin.png",    "kavrin1.png",    "kavrin2.png",  "kavrin_HMV.png",
      "kavrin_HU.png",  "kavrin_HY.png", "kavrin_HY1.png", "kavrin3.png",  "kavrin4.png"};
  return Names[static_cast<int>(image)];
}

std::string ReportImagePath(const std::string& folder, ReportImage image) {
  if (folder.empty()) return ReportImageFile(image);
  const char last = folder.back();
  return folder + (last == '/' || last == '\\' ? "" : "/") + ReportImageFile(image);
}

void DeleteReportImages(const std::string& folder) {
  for (int i = 0; i < ReportImageCount; ++i)
    std::remove(ReportImagePath(folder, static_cast<ReportImage>(i)).c_str());
}

void ExportReportImages(ReportImagePort& port, const std::string& folder,
                        MeasurementStore& store, const ReportImageRequest& request) {
  port.ExportSignalImages(folder, store, request.Start, request.End);
  port.ExportModelImage(folder, store, request.OuterModel);
  port.ExportResponseImage(folder, request.Curves);
}
