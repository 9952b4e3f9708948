// The model class: identification of one first-order-plus-dead-time model from level-free
// window signals (IdentifyModel puts the inner U -> Y1 and outer Y1 -> Y2 models and the
// integrating fits on an integrated input together), and the model file.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "data/MeasurementStore.h"

// Gain and time constant of one fit with their unscaled deviations.
struct FitResult {
  double Gain = 0;
  double TimeConstant = 0;
  double GainDeviation = 0;  // sqrt|P11|, scaled by the error's standard deviation later
  double TimeDeviation = 0;  // sqrt|P22|
};

// One candidate model: its error against the measurement, the fit and its delay in samples.
struct Candidate {
  double Error = 0;
  FitResult Fit;
  int Delay = 0;
};

// The result of one model, in the units of the store.
struct ModelEstimate {
  double Gain = 0, TimeConstant = 0, DeadTime = 0, StdDev = 0, RelativeError = 0,
         GainBound = 0, TimeBound = 0;
};

// How far a model response lies from the measured one: the standard deviation of the
// error and the error relative to the spread of the measurement (1 when it has none).
struct ErrorFigures {
  double StdDev = 0;
  double RelativeError = 0;
};

// The window signals one model is identified from: input x, output y (samples 1..n), and
// the arrays that receive the measured response and the model response.
struct ModelSignals {
  const SampleArray& Input;
  const SampleArray& Output;
  SampleArray& Measured;
  SampleArray& ModelResponse;
};

class TModel {
 public:
  // One model: the delay sweeps, the matched-filter triple and the instrumental variables.
  static ModelEstimate IdentifyOne(const ModelSignals& model, int n, double ts,
                                   double filterTime);

  // Least squares of yf = K*uf - T*ydot over samples 1..n.
  static FitResult FitLeastSquares(const SampleArray& filteredInput,
                                   const SampleArray& filteredOutputRate,
                                   const SampleArray& filteredOutput, int n);
  // The same with the instrument's rate in the cross terms.
  static FitResult FitInstrumentalVariable(const SampleArray& filteredInput,
                                           const SampleArray& filteredOutputRate,
                                           const SampleArray& filteredOutput,
                                           const SampleArray& instrumentRate, int n);
  // Error figures of a model response against the measured response over samples 1..n.
  static ErrorFigures ErrorOf(const SampleArray& measured, const SampleArray& response, int n);

  // The normal equations of both fits from their sums: D = suu*sdz - sud*suz.
  static FitResult SolveFit(double suu, double sud, double suz, double sdz, double b1, double b2);

  // The ".vtm" file: the sixteen values of lines 4..34 in their order, n window samples
  // of the identification arrays. Numbers use the given decimal separator. Refuses
  // (std::runtime_error, nothing written) a value that is not a finite number.
  static void SaveModelFile(const std::string& fileName, const MeasurementStore& store,
                            char separator);
  // Reads a ".vtm" file into the store: model values, SampleTime (the outer line wins),
  // ModelWindowSamples, the window arrays and the delay counts. The whole file is read
  // before anything is stored, so a bad file (FileError, ConversionError, a missing line,
  // more than MaxSamples data lines announced) leaves the store as it was. Numbers are
  // read with either decimal separator, whatever the system's (the third argument).
  static void LoadModelFile(const std::string& fileName, MeasurementStore& store,
                            char separator);
  // One data line of a model file: seven fields split at TAB, the last the rest of the
  // line, each read with ParseNumber: WindowTime, UDeviation, Y1Deviation, InnerMeasured,
  // OuterMeasured, InnerModelResponse, OuterModelResponse.
  static std::array<double, 7> ParseModelLine(std::string_view line);
};
