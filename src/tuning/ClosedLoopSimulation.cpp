// The closed-loop simulations of TRegulator: a discrete PID (of type I, PI, PID or P)
// with a derivative filter of time constant Td/5 on a first-order-plus-dead-time
// process, alone or as the outer controller of a cascade with an inner P loop.
#include <cmath>

#include "data/NumericHelpers.h"
#include "tuning/TRegulator.h"

namespace {

// The discrete controller of the simulations; the derivative acts on the error, the
// output has no limits and the integral no anti-windup.
class SimulatedPid {
 public:
  SimulatedPid(int type, double h, double kd, double ki, double kp)
      : type_(type), h_(h), ki_(ki), kp_(kp) {
    const TRegulator::DerivativeTerm d = TRegulator::SampledDerivative(h, kd, kp);
    beta_ = d.Beta;
    cD_ = d.Gain;
  }
  double Step(double error) {
    const double previous = e_;
    e_ = error;
    const double p = kp_ * e_;
    i_ += ki_ * e_ * h_;
    dt_ = beta_ * dt_ + cD_ * (e_ - previous);
    switch (type_) {
      case SimI: return i_;
      case SimPI: return i_ + p;
      case SimPID: return i_ + p + dt_;
      default: return p;
    }
  }

 private:
  int type_;
  double h_, ki_, kp_, beta_ = 0, cD_ = 0;
  double e_ = 0, i_ = 0, dt_ = 0;
};

// Writes y[index] only inside the array: a long dead time pushes writes past its end.
void Put(std::span<double> y, long long index, double value) {
  if (index >= 0 && index < static_cast<long long>(y.size())) y[static_cast<size_t>(index)] = value;
}

double At(std::span<const double> y, int index) {
  return index >= 0 && index < static_cast<int>(y.size()) ? y[static_cast<size_t>(index)] : 0;
}

void ClearFirst(std::span<double> y, int n) {
  for (int k = 0; k < n && k < static_cast<int>(y.size()); ++k) y[static_cast<size_t>(k)] = 0;
}

}  // namespace

double TRegulator::SampledLagPole(double t, double h) {
  return 0.01 * h < t ? std::exp(-SafeDivide(h, t, 100)) : 0;
}

TRegulator::DerivativeTerm TRegulator::SampledDerivative(double h, double kd, double kp) {
  const double td = SafeDivide(kd, kp, 0);
  DerivativeTerm d;
  d.Beta = 0.01 * h < 0.2 * td ? std::exp(-SafeDivide(5 * h, td, 100)) : 0;
  d.Gain = (1 - d.Beta) * SafeDivide(1, h, 1e6) * kd;
  return d;
}

int TRegulator::DeadTimeSamples(double deadTime, double h) {
  return RoundToInt(SafeDivide(deadTime, h, 5000));
}

void TRegulator::SimulateLoop(int type, int n, std::span<double> y, double l, double t, double k,
                              double h, double d, double r, double kd, double ki, double kp) {
  ClearFirst(y, n);
  SimulatedPid pid(type, h, kd, ki, kp);
  const long long delay = DeadTimeSamples(l, h);
  const double alpha = SampledLagPole(t, h);
  double ym = 0, x = 0;
  for (int step = 1; step <= n; ++step) {
    const double v = pid.Step(r - ym);
    x = (v + d) * (1 - alpha) + alpha * x;
    Put(y, delay + step, k * x);
    ym = At(y, step - 1);
  }
}

void TRegulator::SimulateCascade(int type, int n, std::span<double> y, std::span<double> yInner,
                                 double outerL, double outerT, double outerK, double innerL,
                                 double innerT, double innerK, double h, double d, double r,
                                 double kc, double kd, double ki, double kp) {
  ClearFirst(y, n);
  SimulatedPid pid(type, h, kd, ki, kp);
  const long long innerDelay = DeadTimeSamples(innerL, h);
  const long long outerDelay = DeadTimeSamples(outerL, h);
  const double alphaInner = SampledLagPole(innerT, h);
  const double alphaOuter = SampledLagPole(outerT, h);
  double yom = 0, yim = 0, xi = 0, xo = 0;
  for (int step = 1; step <= n; ++step) {
    const double v = pid.Step(r - yom);  // the inner loop's set-point
    const double ui = kc * (v - yim);
    xi = (ui + d) * (1 - alphaInner) + alphaInner * xi;
    Put(yInner, innerDelay + step, innerK * xi);
    yim = At(yInner, step - 1);
    xo = (1 - alphaOuter) * yim + alphaOuter * xo;
    Put(y, outerDelay + step, outerK * xo);
    yom = At(y, step - 1);
  }
}

void TRegulator::SimulateIntegratingLoop(int type, int n, std::span<double> y, double l, double lag,
                                         double slope, double h, double d, double r, double kd,
                                         double ki, double kp) {
  ClearFirst(y, n);
  SimulatedPid pid(type, h, kd, ki, kp);
  const long long delay = DeadTimeSamples(l, h);
  const double alpha = SampledLagPole(lag, h);
  double ym = 0, x = 0, z = 0;
  for (int step = 1; step <= n; ++step) {
    const double v = pid.Step(r - ym);
    x = (v + d) * (1 - alpha) + alpha * x;
    z += h * slope * x;
    Put(y, delay + step, z);
    ym = At(y, step - 1);
  }
}

void TRegulator::SimulateCascadeIntegratingOuter(int type, int n, std::span<double> y,
                                                 std::span<double> yInner, double outerL,
                                                 double outerLag, double outerSlope, double innerL,
                                                 double innerT, double innerK, double h, double d,
                                                 double r, double kc, double kd, double ki,
                                                 double kp) {
  ClearFirst(y, n);
  SimulatedPid pid(type, h, kd, ki, kp);
  const long long innerDelay = DeadTimeSamples(innerL, h);
  const long long outerDelay = DeadTimeSamples(outerL, h);
  const double alphaInner = SampledLagPole(innerT, h);
  const double alphaOuter = SampledLagPole(outerLag, h);
  double yom = 0, yim = 0, xi = 0, xo = 0, zo = 0;
  for (int step = 1; step <= n; ++step) {
    const double v = pid.Step(r - yom);
    const double ui = kc * (v - yim);
    xi = (ui + d) * (1 - alphaInner) + alphaInner * xi;
    Put(yInner, innerDelay + step, innerK * xi);
    yim = At(yInner, step - 1);
    xo = (1 - alphaOuter) * yim + alphaOuter * xo;
    zo += h * outerSlope * xo;
    Put(y, outerDelay + step, zo);
    yom = At(y, step - 1);
  }
}
