// The tuning rules of TRegulator: characteristic areas, the area (magnitude-optimum)
// rules, the tabular rules, single-loop and cascade tuning, and the sequencer gain.
#include <algorithm>
#include <cmath>

#include "data/NumericHelpers.h"
#include "tuning/TRegulator.h"

namespace {

// The open-loop gain A0*Kp must stay within 0 .. maxLoopGain.
double ClampLoopGain(double kp, double a0, double maxLoopGain) {
  const double loop = a0 * kp;
  if (loop > maxLoopGain || loop < 0 || std::isnan(loop)) return SafeDivide(maxLoopGain, a0, 0);
  return kp;
}

// Kp = numerator / denominator, or the largest loop gain when the denominator is 0.
double RatioOrMaxGain(double numerator, double denominator, double a0, double maxLoopGain) {
  if (denominator != 0) return numerator / denominator;
  return a0 != 0 ? maxLoopGain / a0 : maxLoopGain;
}

void PiToIAndP(ControllerSet& c) {
  c.KiI = c.KiPI;
  c.KpP = c.KpPI;
}

// The rule for a small dead time relative to the time constant, shared by the area
// methods: the PI and P controllers get a fixed loop gain, the PID equals the PI.
ControllerSet SmallDeadTimeRule(bool disturbance, double k, double a0, double a1) {
  ControllerSet c;
  c.KiI = SafeDivide(0.5, a1, 0);
  c.KpPI = SafeDivide(5.05, k, 0);
  const double ti = disturbance
                        ? SafeDivide(2 * c.KpPI * a1, (c.KpPI * a0 + 1) * (c.KpPI * a0 + 1), 0)
                        : SafeDivide(a1, k + 0.5 * c.KpPI, 0);
  c.KiPI = SafeDivide(c.KpPI, ti, 0);
  c.KpP = c.KpPID = c.KpPI;
  c.KiPID = c.KiPI;
  c.KdPID = 0;
  return c;
}

}  // namespace

AreaSet TRegulator::ComputeAreas(double k, double t, double l) {
  AreaSet a{};
  a[0] = k;
  a[1] = k * (l + t);
  const double f2 = l * l * 0.5;
  a[2] = t * a[1] + k * f2;
  const double f3 = l * f2 * 0.33333333;
  a[3] = t * a[2] + k * f3;
  const double f4 = l * f3 * 0.25;
  a[4] = t * a[3] + k * f4;
  const double f5 = l * f4 * 0.2;
  a[5] = t * a[4] + k * f5;
  return a;
}

double TRegulator::GainI(double a1) { return SafeDivide(0.5, a1, 0); }

double TRegulator::GainP(const AreaSet& a, double maxLoopGain) {
  const double kp = SafeDivide(2 * a[0] * a[2] - a[1] * a[1],
                               2 * a[0] * (a[1] * a[1] - a[0] * a[2]), 0);
  return ClampLoopGain(kp, a[0], maxLoopGain);
}

namespace {
double AreaPiGain(const AreaSet& a, double maxLoopGain) {
  double kp = 0;
  if (a[3] != 0) kp = RatioOrMaxGain(a[3], 2 * (a[1] * a[2] - a[0] * a[3]), a[0], maxLoopGain);
  return ClampLoopGain(kp, a[0], maxLoopGain);
}
}  // namespace

PiGains TRegulator::SetpointPI(const AreaSet& a, double maxLoopGain) {
  PiGains g;
  g.Kp = AreaPiGain(a, maxLoopGain);
  g.Ki = SafeDivide(a[0] * g.Kp + 0.5, a[1], 0);
  return g;
}

PiGains TRegulator::DisturbancePI(const AreaSet& a, double maxLoopGain) {
  PiGains g;
  g.Kp = AreaPiGain(a, maxLoopGain);
  const double loop = a[0] * g.Kp + 1;
  g.Ki = SafeDivide(0.5 * loop * loop, a[1], 0);
  return g;
}

PidGains TRegulator::SetpointPID(const AreaSet& a, double maxLoopGain) {
  const double d = a[3] * a[3] - a[1] * a[5];
  const double n = 2 * (a[1] * a[2] * a[3] + a[0] * a[1] * a[5] - a[1] * a[1] * a[4] -
                        a[0] * a[3] * a[3]);
  PidGains g;
  g.Kp = d == 0 ? 0 : RatioOrMaxGain(d, n, a[0], maxLoopGain);
  g.Kp = ClampLoopGain(g.Kp, a[0], maxLoopGain);
  g.Kd = a[1] != 0 ? (2 * g.Kp * (a[1] * a[2] - a[0] * a[3]) - a[3]) / (2 * a[1] * a[1]) : 0;
  const double loopKd = a[0] * g.Kd;
  if (loopKd < 0 || std::isnan(loopKd)) g.Kd = 0;
  if (g.Kd == 0) {
    const PiGains pi = SetpointPI(a, maxLoopGain);
    return {pi.Kp, pi.Ki, 0};
  }
  g.Ki = SafeDivide(2 * a[0] * g.Kp + 1, 2 * a[1], 0);
  return g;
}

PidGains TRegulator::DisturbancePID(const AreaSet& a, double maxLoopGain) {
  const double kd = SetpointPID(a, maxLoopGain).Kd;
  const double a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
  const double alpha = 2 * a0 * a0 * a3 + 2 * a1 * a1 * a1 - 4 * a1 * a0 * a2;
  const double beta = 4 * a0 * a3 - 4 * a0 * a1 * a1 * kd - 4 * a1 * a2 + 4 * a0 * a0 * a2 * kd;
  const double gamma = 4 * a0 * a2 * kd + 2 * a3 + 2 * a1 * a1 * kd + 6 * a1 * a0 * a0 * kd * kd +
                       2 * a0 * a0 * a0 * a0 * kd * kd * kd;
  double kp = 0;
  if (alpha == 0) {
    kp = SafeDivide(-gamma, beta, 0);
  } else {
    const double discriminant = beta * beta - 4 * alpha * gamma;
    if (discriminant < 0) {
      // No real gain meets the rule: fall back to the PI rule for disturbances.
      const PiGains pi = DisturbancePI(a, maxLoopGain);
      return {pi.Kp, pi.Ki, 0};
    }
    kp = (-beta - std::sqrt(discriminant)) / 2 / alpha;
  }
  PidGains g;
  g.Kp = ClampLoopGain(kp, a0, maxLoopGain);
  g.Kd = kd;
  g.Ki = SafeDivide(0.5 * (1 + 2 * a0 * g.Kp + a0 * a0 * g.Kp * g.Kp), a1 + a0 * a0 * kd, 0);
  return g;
}

ControllerSet TRegulator::TuneSingleLoop(int method, double k, double t, double l,
                                         double maxLoopGain) {
  const AreaSet a = ComputeAreas(k, t, l);
  const bool small = SafeDivide(l, t, 1000) < 0.1;
  const double rho = SafeDivide(t, k * l, 10000);
  ControllerSet c;
  switch (method) {
    case AreaSetpoint:
    case AreaDisturbance: {
      const bool disturbance = method == AreaDisturbance;
      if (small) return SmallDeadTimeRule(disturbance, k, a[0], a[1]);
      const PidGains pid = disturbance ? DisturbancePID(a, maxLoopGain) : SetpointPID(a, maxLoopGain);
      const PiGains pi = disturbance ? DisturbancePI(a, maxLoopGain) : SetpointPI(a, maxLoopGain);
      c = {GainI(a[1]), GainP(a, maxLoopGain), pi.Kp, pi.Ki, pid.Kp, pid.Ki, pid.Kd};
      if (!disturbance) {
        for (double* v : {&c.KiI, &c.KpP, &c.KpPI, &c.KiPI, &c.KpPID, &c.KiPID, &c.KdPID})
          *v *= 0.85;
      }
      return c;
    }
    case ChrSetpoint:
      c.KpPID = 0.6 * rho;
      c.KdPID = l * (0.5 * c.KpPID);
      c.KiPID = SafeDivide(c.KpPID, t, 0);
      c.KpPI = 0.35 * rho;
      c.KiPI = SafeDivide(c.KpPI, 1.2 * t, 0);
      PiToIAndP(c);
      return c;
    case ChrDisturbance:
      c.KpPID = 0.95 * rho;
      c.KdPID = l * (0.42 * c.KpPID);
      c.KiPID = SafeDivide(c.KpPID, 2.4 * l, 0);
      c.KpPI = 0.6 * rho;
      c.KiPI = SafeDivide(c.KpPI, 4 * l, 0);
      PiToIAndP(c);
      return c;
    case Balanced: {
      const double tau = SafeDivide(t, l + t, 10000);
      const double n = (tau * tau + 1) * 0.5;
      c.KpPI = SafeDivide(n, k, 10000);
      c.KiPI = SafeDivide(c.KpPI, (l + t) * n, 0);
      PiToIAndP(c);
      return c;
    }
    case ZieglerNicholsDisturbance:
      c.KpPID = 1.2 * rho;
      c.KdPID = l * (0.5 * c.KpPID);
      c.KiPID = SafeDivide(c.KpPID, 2 * l, 0);
      c.KpPI = 0.9 * rho;
      c.KiPI = SafeDivide(c.KpPI, 3 * l, 10000);
      c.KiI = c.KiPI;
      c.KpP = rho;
      return c;
    default:
      return c;
  }
}

AreaSet TRegulator::InnerLoopAreas(const AreaSet& inner, double kc) {
  const double g = SafeDivide(1, 1 + kc * inner[0], 1);
  AreaSet b{};
  double power = 1;
  for (int k = 0; k < 6; ++k) {
    power *= g;
    b[k] = kc * inner[k] * power;
  }
  return b;
}

AreaSet TRegulator::AreaProduct(const AreaSet& b, const AreaSet& a) {
  AreaSet c{};
  for (int k = 0; k < 6; ++k) {
    double sum = 0;
    for (int j = 0; j <= k; ++j) sum += b[j] * a[k - j];
    c[k] = sum;
  }
  return c;
}

QuadraticResult TRegulator::QuadraticRoots(double alpha, double beta, double gamma) {
  QuadraticResult r;
  const double disc = beta * beta - 4 * gamma * alpha;
  if (disc >= 0) {
    const double root = std::sqrt(disc);
    r.X1 = SafeDivide((root - beta) / 2, gamma, 1e10);
    r.X2 = SafeDivide((-beta - root) / 2, gamma, 1e10);
  } else {
    r.X1 = r.X2 = SafeDivide(-beta / 2, gamma, 1e10);
    r.Imaginary = SafeDivide(std::sqrt(-disc) / 2, gamma, 1e10);
  }
  return r;
}

CascadeTuning TRegulator::TuneCascade(int method, double innerK, double innerT, double innerL,
                                      double outerK, double outerT, double outerL,
                                      double maxLoopGain) {
  const AreaSet ai = ComputeAreas(innerK, innerT, innerL);
  const AreaSet ao = ComputeAreas(outerK, outerT, outerL);
  CascadeTuning result;
  result.InnerLoopGain = TuneSingleLoop(method, innerK, innerT, innerL, maxLoopGain).KpP / 0.85;
  const AreaSet c = AreaProduct(InnerLoopAreas(ai, result.InnerLoopGain), ao);

  // The outer loop seen as one first-order-plus-dead-time process.
  const double keq = c[0];
  const QuadraticResult roots =
      QuadraticRoots(SafeDivide(c[1] * c[1], c[0], 1e10) - c[2], -c[1], 0.5 * c[0]);
  double leq = 0;
  if (roots.Imaginary == 0) {
    if (roots.X1 < 0)
      leq = roots.X2;
    else if (roots.X2 >= 0)
      leq = std::min(roots.X1, roots.X2);
    else
      leq = roots.X1;
  }
  const double teq = SafeDivide(c[1], c[0], 1e10) - leq;
  const bool small = SafeDivide(leq, teq, 1000) < 0.1;
  const double rho = SafeDivide(teq, leq * keq, 10000);

  ControllerSet& o = result.Outer;
  switch (method) {
    case AreaSetpoint:
    case AreaDisturbance: {
      const bool disturbance = method == AreaDisturbance;
      if (small) {
        o = SmallDeadTimeRule(disturbance, keq, c[0], c[1]);
        return result;
      }
      const PiGains pi = disturbance ? DisturbancePI(c, maxLoopGain) : SetpointPI(c, maxLoopGain);
      o.KpPI = pi.Kp;
      o.KiPI = pi.Ki;
      o.KiI = GainI(c[1]);
      o.KpP = GainP(c, maxLoopGain);
      if (!disturbance) {
        for (double* v : {&o.KpPI, &o.KiPI, &o.KpP, &o.KiI}) *v *= 0.85;
      }
      break;
    }
    case ChrSetpoint:
      o.KpPI = 0.35 * rho;
      o.KiPI = SafeDivide(o.KpPI, 1.2 * teq, 0);
      break;
    case ChrDisturbance:
      o.KpPI = 0.6 * rho;
      o.KiPI = SafeDivide(o.KpPI, 4 * leq, 0);
      break;
    case Balanced: {
      const double tau = SafeDivide(teq, leq + teq, 10000);
      const double n = (tau * tau + 1) * 0.5;
      o.KpPI = SafeDivide(n, keq, 10000);
      o.KiPI = SafeDivide(o.KpPI, (leq + teq) * n, 0);
      break;
    }
    case ZieglerNicholsDisturbance:
      o.KpPI = 0.9 * rho;
      o.KiPI = SafeDivide(o.KpPI, 3 * leq, 10000);
      o.KpP = rho;
      break;
    default:
      return result;
  }
  // In a cascade the outer PID is the outer PI.
  o.KpPID = o.KpPI;
  o.KiPID = o.KiPI;
  o.KdPID = 0;
  return result;
}

double TRegulator::SequencerMaxGain(const std::vector<std::pair<double, double>>& rows,
                                    double minimum, double maximum) {
  const int n = static_cast<int>(rows.size());
  if (n < 2) return 1;
  std::vector<double> slope(static_cast<size_t>(n));
  for (int j = 0; j + 1 < n; ++j)
    slope[j] = SafeDivide(rows[j + 1].second - rows[j].second, rows[j + 1].first - rows[j].first,
                          1000);
  slope[n - 1] = slope[n - 2];

  int a = n - 2;
  for (int k = 0; k <= n - 2; ++k) {
    if (rows[k].second >= minimum) {
      a = k;
      break;
    }
  }
  a = std::max(a, 1);
  int b = n - 1;
  for (int k = a - 1; k <= n - 1; ++k) {
    if (rows[k].second >= maximum) {
      b = k;
      break;
    }
  }
  double gain = slope[a - 1];
  for (int j = a; j <= b; ++j) gain = std::max(gain, slope[j]);
  return gain;
}
