// The ten chart images a report shows: their file names, the port that writes them
// (the gui's charts on screen, or drawn offscreen for the command line and the
// automatic post-processing) and their deletion after the report.
#pragma once

#include <array>
#include <string>

#include "data/MeasurementStore.h"

struct ResponseCurves;

enum class ReportImage {
  TimeMV, TimeU, TimeY1, TimeY2, HistogramMV, HistogramU, HistogramY1, HistogramY2, Model,
  Responses
};
inline constexpr int ReportImageCount = 10;

// "kavrin0.png", "kavrin.png", "kavrin1.png", "kavrin2.png", "kavrin_HMV.png",
// "kavrin_HU.png", "kavrin_HY.png", "kavrin_HY1.png", "kavrin3.png", "kavrin4.png".
const char* ReportImageFile(ReportImage image);
// folder + "/" + the file name (the file name alone for an empty folder).
std::string ReportImagePath(const std::string& folder, ReportImage image);
// Deletes all ten from the folder; a file that is missing is ignored.
void DeleteReportImages(const std::string& folder);

// Writes chart images as PNG files at the chart's size on screen and twice its pixel
// density. Each export throws FileError when a file cannot be written.
class ReportImagePort {
 public:
  virtual ~ReportImagePort() = default;
  // The time plots and histograms of the four conditioned signals over samples
  // start..end (the histogram arrays of the store keep the last one computed).
  virtual void ExportSignalImages(const std::string& folder, MeasurementStore& store, int start,
                                  int end) = 0;
  // The model chart: the measured and the model response of the inner or outer model.
  virtual void ExportModelImage(const std::string& folder, const MeasurementStore& store,
                                bool outer) = 0;
  // The open- and closed-loop responses (none: an empty chart).
  virtual void ExportResponseImage(const std::string& folder, const ResponseCurves* curves) = 0;
};

// Everything a report needs besides its texts, as the report button exports it.
struct ReportImageRequest {
  int Start = 1, End = 2;  // the analysis window
  bool OuterModel = false;
  const ResponseCurves* Curves = nullptr;
};
void ExportReportImages(ReportImagePort& port, const std::string& folder,
                        MeasurementStore& store, const ReportImageRequest& request);
