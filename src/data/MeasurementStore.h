// data/ holds the record and what reads, writes, conditions and judges it: data files, historian
// imports, number formats, text files, the warnings module. Its ui/ holds the processing page
// and its windows.
//
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

// The kind of a process model: a first-order lag that settles (K, T, L), or an
// integrating process y' = k'*u(t - L) through an optional first-order lag T.
enum class ProcessKind { SelfRegulating = 0, Integrating = 1 };

// An integrating model y' = Slope * u(t - DeadTime), through a lag of time constant Lag;
// Slope in output units per second per input unit. Figures as for the first-order model.
struct IntegratingModel {
  double Slope = 0, Lag = 0, DeadTime = 0, StdDev = 0, RelativeError = 0, SlopeBound = 0,
         LagBound = 0;
};

// Gains of the tuned controllers, before the robustness factor is applied.
struct TuningResult {
  double KiI = 0, KpP = 0, KpPI = 0, KiPI = 0, KpPID = 0, KiPID = 0, KdPID = 0;
  double CascKiI = 0, CascKpP = 0, CascKpPI = 0, CascKiPI = 0, CascKpPID = 0, CascKiPID = 0,
         CascKdPID = 0;
  double InnerLoopGain = 0;
  double RobustnessFactor = 0;
  // The closed-loop time constant the integrating rules were given (0 for the others).
  double ClosedLoopTimeConstant = 0;
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
  // The integrating models' responses (the arrays above keep the first-order ones).
  SampleArray InnerIntegratingResponse{};
  SampleArray OuterIntegratingResponse{};
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
  // The integrating fits of both processes beside the first-order ones, and the kind in
  // use (the automatic choice, or the engineer's).
  IntegratingModel InnerIntegrating, OuterIntegrating;
  ProcessKind InnerKind = ProcessKind::SelfRegulating, OuterKind = ProcessKind::SelfRegulating;

  // Controller tuning.
  TuningResult Tuning;
  bool TuningEventsSuppressed = false;
  double ClosedLoopSampleTime = 0;

  // Histogram window: 20 classes, 1-based.
  std::array<double, 21> HistogramLowerEdges{};
  std::array<std::int32_t, 21> HistogramCounts{};
};
