// The one record of the data set in work: recorded signals, their conditioned
// copies, the identification arrays, the process models and tuning results.
#pragma once

#include <array>
#include <cstdint>
#include <string>

constexpr int MaxSamples = 5000;
constexpr int MaxColumns = 40;

// A sample array indexed 1..MaxSamples; element 0 is unused so that code reads
// like the 1-based rules it implements.
using SampleArray = std::array<double, MaxSamples + 1>;

// Gains of the tuned controllers, before the robustness factor is applied.
struct TuningResult {
  double KiI = 0, KpP = 0, KpPI = 0, KiPI = 0, KpPID = 0, KiPID = 0, KdPID = 0;
  double CascKiI = 0, CascKpP = 0, CascKpPI = 0, CascKiPI = 0, CascKpPID = 0, CascKiPID = 0,
         CascKdPID = 0;
  double InnerLoopGain = 0;
  double RobustnessFactor = 0;
};

struct MeasurementStore {
  // Scalars.
  double SampleTime = 0;        // s
  std::int32_t SampleCount = 0;  // N; while an experiment runs, the next sample's index
  std::int32_t ColumnCount = 0;
  std::int32_t MinWindowSamples = 0;
  std::int32_t ModelWindowSamples = 0;
  std::int32_t InnerDelaySamples = 0;
  std::int32_t OuterDelaySamples = 0;
  std::int32_t StepCounter = 0;
  double PhaseElapsed = 0;  // s spent in the present phase of a running experiment

  // Raw signals: DataColumns[c][k] is sample k of column c (both 1-based).
  std::array<SampleArray, MaxColumns + 1> DataColumns{};
  SampleArray TimeColumn{};
  std::array<std::string, MaxColumns + 1> ColumnNames{};

  // Conditioned signals and the scratch arrays of conditioning.
  SampleArray MVConditioned{};
  SampleArray UConditioned{};
  SampleArray Y1Conditioned{};
  SampleArray Y2Conditioned{};
  SampleArray ActuatorOut{};
  SampleArray FilterRate{};

  // Identification arrays, valid for window samples 1..ModelWindowSamples.
  SampleArray WindowTime{};
  SampleArray UDeviation{};
  SampleArray Y1Deviation{};
  SampleArray Y2Deviation{};
  SampleArray InnerMeasured{};
  SampleArray OuterMeasured{};
  SampleArray InnerModelResponse{};
  SampleArray OuterModelResponse{};
  // Work arrays that only the identification uses.
  SampleArray FilteredInput{};
  SampleArray FilteredOutput{};
  SampleArray FilteredOutputRate{};
  SampleArray InstrumentRate{};

  // Process models: inner U -> Y1, outer Y1 -> Y2.
  double InnerGain = 0, InnerTimeConstant = 0, InnerDeadTime = 0;
  double InnerGainBound = 0, InnerTimeBound = 0, InnerRelativeError = 0, InnerStdDev = 0;
  double OuterGain = 0, OuterTimeConstant = 0, OuterDeadTime = 0;
  double OuterGainBound = 0, OuterTimeBound = 0, OuterRelativeError = 0, OuterStdDev = 0;
  // Where the models come from (an identification, a model or controller file), as the
  // program names it; empty while the program holds no model.
  std::string ModelSource;

  // Controller tuning.
  TuningResult Tuning;
  bool TuningEventsSuppressed = false;
  double ClosedLoopSampleTime = 0;

  // Histogram window: 20 classes, 1-based.
  std::array<double, 21> HistogramLowerEdges{};
  std::array<std::int32_t, 21> HistogramCounts{};
};
