// The processing class: data files, signal conditioning and the level removal before
// identification. It holds no state; each operation works on the store it is given.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/MeasurementStore.h"

// Which raw column plays which signal (1-based); an experiment records 1, 3, 5, 6.
struct SignalColumns {
  int MV = 1;
  int U = 3;
  int Y1 = 5;
  int Y2 = 6;
};

// The conditioning numbers of the processing page: the measurement filter's time
// constant and the actuator's range and full-stroke time (seconds from minimum to
// maximum; 0 disables the rate limit).
struct Conditioning {
  double FilterTime = 0;
  double ActuatorMaximum = 100;
  double ActuatorMinimum = 0;
  double FullStrokeTime = 1;
};

// Maximum, minimum and standard deviation of a signal over a window.
struct WindowStats {
  double Maximum = 0;
  double Minimum = 0;
  double StdDev = 0;
};

// The two window selectors: positions and ranges that always satisfy
// StartMin <= Start <= StartMax, EndMin <= End <= EndMax and Start < End.
struct AnalysisWindow {
  int Start = 1, End = 2;
  int StartMin = 1, StartMax = 1;
  int EndMin = 2, EndMax = 2;
};

// What a data file gives besides the store's contents, as the page shows it: the
// numbers are texts in the caller's decimal separator. Warnings say what was cut.
struct DataFileTexts {
  std::string Date, Time;
  std::string WindowStart, WindowEnd;
  std::string FilterTime, ActuatorMaximum, ActuatorMinimum, FullStrokeTime;
  std::vector<std::string> Warnings;
};

// Everything the writer puts into a ".vtd" file besides the store's samples. Columns
// are the raw columns written as fields 2..7 of each data line (MV, MV, U, U, Y1, Y2).
struct DataFileHeader {
  std::string Date, Time;
  double SampleTime = 0;
  int SampleCount = 0;
  int WindowStart = 1, WindowEnd = 1;
  int Columns[6] = {1, 1, 3, 3, 5, 6};
  Conditioning Parameters;
  std::string Descriptions[6];
};

struct ClockTime {
  int Hours = 0, Minutes = 0, Seconds = 0;
};

// The banner of the program's own data files.
inline constexpr std::string_view DataFileBanner = "VORTuner Mesurements";

class TObdelava {
 public:
  // Fills UDeviation, Y1Deviation, Y2Deviation and WindowTime for window samples
  // 1..end-start+1: the conditioned signals minus their level before the step.
  static void RemoveInitialLevel(MeasurementStore& store, int start, int end);

  // --- Conditioning (samples 1..SampleCount at SampleTime) ---

  // The four conditioned signals from the chosen columns: MV delayed by one sample; U
  // through the actuator's limits and rate limit, then the filter; Y1 and Y2 filtered.
  static void ConditionSignals(MeasurementStore& store, const SignalColumns& columns,
                               const Conditioning& parameters);
  // One signal at a time, as a column selector's change recomputes only its own.
  static void ConditionMV(MeasurementStore& store, int column);
  static void ConditionU(MeasurementStore& store, int column, const Conditioning& parameters);
  static void ConditionY1(MeasurementStore& store, int column, double filterTime);
  static void ConditionY2(MeasurementStore& store, int column, double filterTime);
  // The four edit texts as numbers; a text that is not a number throws ConversionError.
  static Conditioning ParseConditioning(std::string_view filterTime, std::string_view maximum,
                                        std::string_view minimum,
                                        std::string_view fullStrokeTime, char separator);
  // After an experiment: columns 1, 3, 5, 6 conditioned with the given numbers,
  // MinWindowSamples set; returns the window selectors over the whole record.
  static AnalysisWindow ConditionAfterExperiment(MeasurementStore& store,
                                                 const Conditioning& parameters);

  // --- Analysis window and statistics ---

  // The smallest window width (end - start) for n samples: 10, or n - 1 when n <= 10
  // (never below 1).
  static int MinWindowWidth(int n);
  // The consistent selectors for a wanted window over n samples with the given minimum
  // width: the end is kept within (1 + width)..n, then the start within 1..end - width.
  // Before any data (n < 2) the window is 1..2.
  static AnalysisWindow FitAnalysisWindow(int n, int minWidth, int start, int end);
  // Maximum, minimum (0 and 0 when from >= to) and sample standard deviation of
  // signal[from..to].
  static WindowStats WindowStatistics(const SampleArray& signal, int from, int to);

  // --- Data files ---

  // Reads a ".vtd" file or a data logger's plain column file into the store (the whole
  // data set, ColumnNames and MinWindowSamples) and returns the texts for the page.
  // The file is read whole and checked before the store is touched: a file that
  // cannot be used throws FileError or ConversionError and leaves the store as it was.
  static DataFileTexts ReadDataFile(const std::string& path, MeasurementStore& store,
                                    char separator);
  // The header that saving the processing tab's data set writes: the store's sample time
  // and count, the analysis window, the chosen columns (MV and U each twice) with their
  // descriptions, the conditioning numbers and the date and time of saving as texts.
  static DataFileHeader SaveHeader(const MeasurementStore& store, const SignalColumns& columns,
                                   int windowStart, int windowEnd, const Conditioning& parameters,
                                   std::string date, std::string time);
  // Writes the store's samples 1..SampleCount of the six columns in the banner format.
  static void WriteDataFile(const std::string& path, const MeasurementStore& store,
                            const DataFileHeader& header, char separator);
  // "hh:mm:ss": each part the integer of its leading digits.
  static ClockTime ParseClockTime(std::string_view text);
  // The numbers of a plain file's data line (after its time stamp), at most 39.
  static std::vector<double> SplitNumbers(std::string_view line, char separator);
};
