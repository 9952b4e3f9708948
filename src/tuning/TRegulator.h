// tuning/ turns models into controllers: tuning rules, robustness figures, closed-loop
// simulations, controller files and the load into the plant's controller. Its ui/ holds the
// controller tab.
//
// TRegulator: the tuning rules that turn a first-order-plus-dead-time model into I, P,
// PI and PID gains, the closed-loop simulations of the tuned loops and the controller
// settings file. Stateless: every operation takes plain values and returns its results.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/MeasurementStore.h"

// Upper limit of the open-loop gain A0*Kp in every area rule.
constexpr double MaxLoopGain = 10;

// Characteristic areas A0..A5 of a process: the coefficients of its transfer function
// written as A0 - A1*s + A2*s^2 - A3*s^3 + ...
using AreaSet = std::array<double, 6>;

struct PiGains {
  double Kp = 0, Ki = 0;
};
struct PidGains {
  double Kp = 0, Ki = 0, Kd = 0;
};

// The gains of the four controllers computed at once, before the robustness factor.
struct ControllerSet {
  double KiI = 0, KpP = 0, KpPI = 0, KiPI = 0, KpPID = 0, KiPID = 0, KdPID = 0;
};

struct CascadeTuning {
  double InnerLoopGain = 0;
  ControllerSet Outer;
};

struct QuadraticResult {
  double X1 = 0, X2 = 0, Imaginary = 0;
};

// Tuning methods, the index of the method list on the "Regulator" tab.
enum TuningMethod {
  AreaSetpoint = 0,
  AreaDisturbance = 1,
  ChrSetpoint = 2,
  ChrDisturbance = 3,
  Balanced = 4,
  ZieglerNicholsDisturbance = 5,
  NoMethod = 6,
  // Rules for integrating processes (IntegratingRules.cpp); the six above are for
  // self-regulating ones.
  IntegratingSimc = 7,
  IntegratingLambda = 8
};
constexpr bool IsIntegratingMethod(int method) {
  return method == IntegratingSimc || method == IntegratingLambda;
}

// Controller types of the simulations: I, PI, PID, P.
enum SimulatedController { SimI = 0, SimPI = 1, SimPID = 2, SimP = 3 };

// One controller as the simulations apply it: its type and the gains handed to
// SimulateLoop (Kd as given, filtered with Td/5 = Kd/(5 Kp)).
struct LoopController {
  int Type = SimPI;
  double Kp = 0, Ki = 0, Kd = 0;
};

// The values a controller settings file (".vtc") holds.
struct ControllerSettings {
  double InnerGain = 0, InnerTimeConstant = 0, InnerDeadTime = 0, InnerRelativeError = 0;
  double OuterGain = 0, OuterTimeConstant = 0, OuterDeadTime = 0, OuterRelativeError = 0;
  std::string SamplingTimeText;
  int Method = 0, ResponseKind = 0, Form = 0, Type = 0, Slider = 0;
  std::string ScaleP, ScaleI, ScaleD;
  bool Cascade = false;
  // The kinds of both processes and their integrating models (slope, lag, dead time,
  // relative error), on lines 39..58 only when a kind is integrating, so a file of
  // first-order models keeps its 38 lines.
  ProcessKind InnerKind = ProcessKind::SelfRegulating, OuterKind = ProcessKind::SelfRegulating;
  IntegratingModel InnerIntegrating, OuterIntegrating;
};

class TRegulator {
 public:
  // --- Tuning rules ---
  static AreaSet ComputeAreas(double k, double t, double l);
  static double GainI(double a1);
  static double GainP(const AreaSet& a, double maxLoopGain);
  static PiGains SetpointPI(const AreaSet& a, double maxLoopGain);
  static PiGains DisturbancePI(const AreaSet& a, double maxLoopGain);
  static PidGains SetpointPID(const AreaSet& a, double maxLoopGain);
  // Where the quadratic of the disturbance rule has no real root the result is the
  // DisturbancePI one with Kd = 0.
  static PidGains DisturbancePID(const AreaSet& a, double maxLoopGain);
  static ControllerSet TuneSingleLoop(int method, double k, double t, double l,
                                      double maxLoopGain);
  static CascadeTuning TuneCascade(int method, double innerK, double innerT, double innerL,
                                   double outerK, double outerT, double outerL,
                                   double maxLoopGain);
  static AreaSet InnerLoopAreas(const AreaSet& inner, double kc);

  // --- Rules for an integrating process k'*e^(-Ls)/(s*(lag*s + 1)) ---
  // The closed-loop time constant (for the lambda rule the arrest time) of slider position
  // s (0 .. 20): 2^((10 - s)/5) times a reference, so position 0 is four times slower and
  // 20 four times faster than 10. The reference is the PI rule's effective dead time
  // L + lag/2 for SIMC (position 10 is SIMC's recommended tauC = L) and three times it for
  // lambda (the usual arrest time of three dead times); the fallback when that is 0.
  static double IntegratingClosedLoopTimeConstant(int method, int sliderPosition, double lag,
                                                  double deadTime, double fallback);
  // I, P, PI and PID gains (parallel form) of the SIMC or lambda rule for closed-loop
  // time constant tauC; the I controller of an integrating loop is 0 (it cannot be
  // stabilized), a PID without a lag equals the PI. Other methods give all zeros.
  static ControllerSet TuneIntegrating(int method, double slope, double lag, double deadTime,
                                       double tauC);
  // Cascade whose outer process is integrating, the inner one self-regulating: the inner
  // P loop as for the area rules, the outer loop seen as an integrating process of slope
  // k'*B0 with the inner loop's mean residence time B1/B0 added to its dead time.
  static CascadeTuning TuneCascadeIntegratingOuter(int method, double innerK, double innerT,
                                                   double innerL, double outerSlope,
                                                   double outerLag, double outerL,
                                                   int sliderPosition, double fallback,
                                                   double* tauC = nullptr);
  static AreaSet AreaProduct(const AreaSet& b, const AreaSet& a);
  // Roots of gamma*x^2 + beta*x + alpha = 0.
  static QuadraticResult QuadraticRoots(double alpha, double beta, double gamma);

  // Largest slope of a sequencer characteristic (rows of input, output) over the part
  // of its output column between minimum and maximum; 1 with fewer than two rows.
  static double SequencerMaxGain(const std::vector<std::pair<double, double>>& rows,
                                 double minimum, double maximum);

  // --- Closed-loop simulation ---
  // Pole of a first-order lag of time constant t sampled every h: 0 (the lag passes its
  // input through in one sample) for t <= 0.01*h.
  static double SampledLagPole(double t, double h);
  // The filtered derivative of the simulated controller: Dt = Beta*Dt + Gain*(e - e_old),
  // a filter time constant of Td/5 with Td = kd/kp.
  struct DerivativeTerm {
    double Beta = 0, Gain = 0;
  };
  static DerivativeTerm SampledDerivative(double h, double kd, double kp);
  // A dead time in whole samples of h, ties to even (5000 for h = 0).
  static int DeadTimeSamples(double deadTime, double h);
  // Closed loop of a first-order-plus-dead-time process (l, t, k) with a discrete
  // controller of the given type sampled every h seconds: y[0..n-1] receive the
  // response to a set-point step r and a disturbance d at the process input. Writes
  // past the end of y are dropped.
  static void SimulateLoop(int type, int n, std::span<double> y, double l, double t, double k,
                           double h, double d, double r, double kd, double ki, double kp);
  // Cascade: the outer controller drives the set-point of an inner P loop of gain kc.
  // yInner receives the inner output and must be zero on entry.
  static void SimulateCascade(int type, int n, std::span<double> y, std::span<double> yInner,
                              double outerL, double outerT, double outerK, double innerL,
                              double innerT, double innerK, double h, double d, double r,
                              double kc, double kd, double ki, double kp);

  // The same two loops around an integrating (outer) process k'*e^(-Ls)/(s*(lag*s + 1)):
  // the lag as in SimulateLoop, then z = z + h*k'*x.
  static void SimulateIntegratingLoop(int type, int n, std::span<double> y, double l, double lag,
                                      double slope, double h, double d, double r, double kd,
                                      double ki, double kp);
  static void SimulateCascadeIntegratingOuter(int type, int n, std::span<double> y,
                                              std::span<double> yInner, double outerL,
                                              double outerLag, double outerSlope, double innerL,
                                              double innerT, double innerK, double h, double d,
                                              double r, double kc, double kd, double ki, double kp);

  // --- Controller settings file ---
  // 38 lines (58 with an integrating process); real numbers with 14 significant digits
  // and the given decimal separator.
  // Refuses (std::runtime_error) model values that are not finite numbers.
  static void SaveControllerSettings(const std::string& fileName, const ControllerSettings& s,
                                     char separator);
  // Reads the whole file before handing anything back, so a bad file changes nothing.
  // Throws "List index out of bounds (i)" for a short file, ConversionError for a bad
  // number, FileError when it cannot be read.
  static ControllerSettings LoadControllerSettings(const std::string& fileName, char separator);
  static std::vector<std::string> ControllerSettingsLines(const ControllerSettings& s,
                                                          char separator);
  static ControllerSettings ControllerSettingsFromLines(const std::vector<std::string>& lines,
                                                        char separator);
};

// Work arrays of the closed-loop simulation.
constexpr int SimulationCapacity = 5000;
