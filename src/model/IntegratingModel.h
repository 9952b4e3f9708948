// Integrating process models beside the first-order ones: the integrated input the
// first-order machinery is fitted to, the rule that chooses between the two kinds (and
// says why), and the model response of the kind in use.
#pragma once

#include <string>

#include "data/MeasurementStore.h"
#include "model/TModel.h"

// The integral of the held input up to each sample: out[1] = 0, out[k] = out[k-1] +
// ts*x[k-1]. An integrating process k'*e^(-Ls)/(s*(Ts+1)) driven by x is the first-order
// process k'*e^(-Ls)/(Ts+1) driven by this integral, so the first-order identification
// run on it yields k' as the gain, the lag T and the dead time L. Because the integral is
// exact at the sampling instants, L comes out as the process's own dead time (the
// first-order model's counts the one-sample hold in addition).
void IntegratedInput(const SampleArray& x, int n, double ts, SampleArray& out);

// The automatic choice of kind for one process:
//  - integrating when the first-order fit's time constant lies beyond five window lengths
//    (the response does not settle in the window: the first-order model is a stretched
//    ramp);
//  - integrating when the integrating fit's relative error is not above the first-order
//    fit's (it explains the record as well with the integrator fixed in place of a
//    fitted settling);
//  - otherwise self-regulating. An integrating fit that explains nothing (relative error
//    of 1 or more, or not finite) is never chosen.
struct KindChoice {
  ProcessKind Kind = ProcessKind::SelfRegulating;
  std::string Reason;  // Slovenian, for the model tab and the report
  bool NoResponse = false;  // neither model fits: the measurement shows no step response
};
// The relative error at and above which neither model describes a response: the model
// leaves more than half of the measurement's variance unexplained (0.7² ≈ 0.5).
inline constexpr double NoResponseError = 0.7;
KindChoice ChooseProcessKind(double firstOrderTimeConstant, double firstOrderRelativeError,
                             double integratingRelativeError, double windowLength, char separator);
// The choice for the store's inner or outer process (its fits and model window).
KindChoice ChooseProcessKind(const MeasurementStore& store, bool outer, char separator);

// "self-regulating" / "integrating" (command line, files) and "samoizravnalni" /
// "integrirni" (model tab, report).
const char* ProcessKindKey(ProcessKind kind);
const char* ProcessKindText(ProcessKind kind);
// Reads "self-regulating", "integrating" (or the Slovenian texts); throws
// std::invalid_argument naming the text otherwise.
ProcessKind ParseProcessKind(const std::string& text);

// The kind in use of the inner or outer process.
ProcessKind KindOf(const MeasurementStore& store, bool outer);
// The dead time and relative error of the model of the kind in use.
double ShownDeadTime(const MeasurementStore& store, bool outer);
double ShownRelativeError(const MeasurementStore& store, bool outer);
// Sets the kind of the inner or outer process; both fits stay as identified.
void SetProcessKind(MeasurementStore& store, bool outer, ProcessKind kind);
// The model response of the kind in use (what the model chart draws): the first-order
// model's InnerModelResponse / OuterModelResponse or the integrating model's.
const SampleArray& ShownModelResponse(const MeasurementStore& store, bool outer);
// Recomputes the integrating responses of both processes over the model window from the
// store's integrating models (after a model file is read).
void ComputeIntegratingResponses(MeasurementStore& store);

// An integrating model typed in by the engineer ("Uporabi model" with the kind
// "integrirni"): slope, lag and dead time, its response and error figures.
void ApplyIntegratingParameters(MeasurementStore& store, bool outer, double slope, double lag,
                                double deadTime);

// The response of an integrating model to the input x over samples 1..n.
void IntegratingResponse(const SampleArray& x, int n, double ts, const IntegratingModel& model,
                         SampleArray& response, SampleArray& rate);

// The figures of a first-order estimate taken for an integrating model and back.
IntegratingModel IntegratingFromEstimate(const ModelEstimate& e);
