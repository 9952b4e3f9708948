// Tuning rules for integrating processes G(s) = k' e^(-L s) / (s (lag s + 1)): levels,
// pressures in closed vessels, positions. Each rule gives the I, P, PI and PID rows of the
// tuning record in the parallel form u = Kp e + Ki ∫e dt + Kd de/dt.
#include <cmath>

#include "data/NumericHelpers.h"
#include "tuning/TRegulator.h"

namespace {

// A series PID (Kc, tauI, tauD) in the parallel form: Kp = Kc (1 + tauD/tauI),
// Ki = Kc / tauI, Kd = Kc tauD.
void SeriesToParallel(double kc, double tauI, double tauD, ControllerSet& c) {
  c.KpPID = kc * (1 + SafeDivide(tauD, tauI, 0));
  c.KiPID = SafeDivide(kc, tauI, 0);
  c.KdPID = kc * tauD;
}

}  // namespace

double TRegulator::IntegratingClosedLoopTimeConstant(int method, int sliderPosition, double lag,
                                                     double deadTime, double fallback) {
  double reference = (method == IntegratingLambda ? 3 : 1) * (deadTime + 0.5 * lag);
  if (!(reference > 0)) reference = fallback > 0 ? fallback : 1;
  return std::pow(2.0, (10.0 - sliderPosition) / 5.0) * reference;
}

ControllerSet TRegulator::TuneIntegrating(int method, double slope, double lag, double deadTime,
                                          double tauC) {
  ControllerSet c;
  // The PI rules see the lag as dead time by Skogestad's half rule: L + lag/2.
  const double effective = deadTime + 0.5 * lag;
  switch (method) {
    case IntegratingSimc: {
      // SIMC: S. Skogestad, "Simple analytic rules for model reduction and PID controller
      // tuning", J. Process Control 13 (2003) 291-309, table 1, integrating process with
      // dead time: Kc = 1/(k' (tauC + L)), tauI = 4 (tauC + L); with a lag (the PID):
      // the same Kc and tauI and tauD = lag in the series form. The P controller is the
      // PI's Kc without the integral.
      c.KpPI = SafeDivide(1, slope * (tauC + effective), 0);
      c.KiPI = SafeDivide(c.KpPI, 4 * (tauC + effective), 0);
      const double kc = SafeDivide(1, slope * (tauC + deadTime), 0);
      if (lag > 0)
        SeriesToParallel(kc, 4 * (tauC + deadTime), lag, c);
      else
        c.KpPID = c.KpPI, c.KiPID = c.KiPI, c.KdPID = 0;
      c.KpP = c.KpPI;
      break;
    }
    case IntegratingLambda: {
      // Lambda (arrest-time) tuning of an integrating process, the IMC-PI of I.-L. Chien
      // and P. S. Fruehauf, "Consider IMC tuning to improve controller performance",
      // Chem. Eng. Prog. 86(10) (1990) 33-41: with arrest time lambda = tauC,
      // tauI = 2 lambda + L and Kc = (2 lambda + L) / (k' (lambda + L)^2); with a lag the
      // PID adds tauD = lag in the series form. The P controller is Kc = 1/(k' (lambda + L)),
      // a first-order closed loop of time constant lambda plus the dead time.
      const double tiPi = 2 * tauC + effective;
      c.KpPI = SafeDivide(tiPi, slope * (tauC + effective) * (tauC + effective), 0);
      c.KiPI = SafeDivide(c.KpPI, tiPi, 0);
      if (lag > 0) {
        const double ti = 2 * tauC + deadTime;
        SeriesToParallel(SafeDivide(ti, slope * (tauC + deadTime) * (tauC + deadTime), 0), ti, lag,
                         c);
      } else {
        c.KpPID = c.KpPI, c.KiPID = c.KiPI, c.KdPID = 0;
      }
      c.KpP = SafeDivide(1, slope * (tauC + effective), 0);
      break;
    }
    default:
      break;  // a rule for self-regulating processes: nothing computed on this model
  }
  c.KiI = 0;  // integral action alone cannot hold an integrating process
  return c;
}

CascadeTuning TRegulator::TuneCascadeIntegratingOuter(int method, double innerK, double innerT,
                                                      double innerL, double outerSlope,
                                                      double outerLag, double outerL,
                                                      int sliderPosition, double fallback,
                                                      double* tauC) {
  CascadeTuning result;
  if (!IsIntegratingMethod(method)) return result;
  result.InnerLoopGain =
      TuneSingleLoop(AreaSetpoint, innerK, innerT, innerL, MaxLoopGain).KpP / 0.85;
  const AreaSet b = InnerLoopAreas(ComputeAreas(innerK, innerT, innerL), result.InnerLoopGain);
  const double slope = outerSlope * b[0];
  const double deadTime = outerL + SafeDivide(b[1], b[0], 0);
  const double t =
      IntegratingClosedLoopTimeConstant(method, sliderPosition, outerLag, deadTime, fallback);
  if (tauC) *tauC = t;
  result.Outer = TuneIntegrating(method, slope, outerLag, deadTime, t);
  return result;
}
