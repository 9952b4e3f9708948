// The report's record and its chart-image port as the post-processing chain uses them.
// Stands in for the report component's own headers until they are merged.
#pragma once

#include <array>
#include <cstdio>
#include <string>

#include "data/MeasurementStore.h"

struct ResponseCurves;

enum class ReportImage {
  TimeMV, TimeU, TimeY1, TimeY2, HistogramMV, HistogramU, HistogramY1, HistogramY2, Model,
  Responses
};
inline constexpr int ReportImageCount = 10;

inline const char* ReportImageFile(ReportImage image) {
  static const char* const names[ReportImageCount] = {
      "kavrin0.png",    "kavrin.png",    "kavrin1.png",    "kavrin2.png", "kavrin_HMV.png",
      "kavrin_HU.png",  "kavrin_HY.png", "kavrin_HY1.png", "kavrin3.png", "kavrin4.png"};
  return names[static_cast<int>(image)];
}
inline std::string ReportImagePath(const std::string& folder, ReportImage image) {
  return folder.empty() ? ReportImageFile(image) : folder + "/" + ReportImageFile(image);
}
inline void DeleteReportImages(const std::string& folder) {
  for (int i = 0; i < ReportImageCount; ++i)
    std::remove(ReportImagePath(folder, static_cast<ReportImage>(i)).c_str());
}

class ReportImagePort {
 public:
  virtual ~ReportImagePort() = default;
  virtual void ExportSignalImages(const std::string& folder, MeasurementStore& store, int start,
                                  int end) = 0;
  virtual void ExportModelImage(const std::string& folder, const MeasurementStore& store,
                                bool outer) = 0;
  virtual void ExportResponseImage(const std::string& folder, const ResponseCurves* curves) = 0;
};

struct SignalStatisticsTexts {
  std::string Maximum, Minimum, StdDev;
};

struct ReportInputs {
  std::string TitleLine;
  std::string ModelGain, ModelTimeConstant, ModelDeadTime, ModelStdDev, ModelRelativeError,
      ModelQuality;
  std::string IKi, PKp, PIKp, PIKi, PIDKp, PIDKi, PIDKd;
  std::string ScaledKp, ScaledKi, ScaledKd;
  bool SectionObdelava = true, SectionModel = true, SectionRegulator = true;
  std::string Template = "normal.dot";
  std::string ReportPath;
  std::string OpcServer;
  std::array<std::string, 20> OpcItemIds{}, OpcDescriptions{};
  std::array<SignalStatisticsTexts, 4> Statistics{};
  bool CloseAfterSaving = false;
};
