#include "tuning/Robustness.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <initializer_list>
#include <stdexcept>
#include <vector>

#include "data/NumberFormat.h"
#include "data/NumericHelpers.h"
#include "tuning/Recomputation.h"

const char* const UnstableText = "nestabilno";
const char* const RobustnessTableTitle = "Robustnost regulatorjev";

namespace {

using Complex = std::complex<double>;
constexpr double Pi = 3.14159265358979323846;
// Crossovers and peaks are located to this relative width in frequency.
constexpr double Tolerance = 1e-10;
// The grid: a relative step at low frequencies, and at most a quarter of a half turn of
// the loop's delay per step, so no crossing of the real axis or of |L| = 1 hides in a step.
constexpr double RelativeStep = 0.06;
constexpr double StepsPerHalfTurn = 4;

// q = e^{-j theta} to the power n; exact at theta = pi, where the loop is real.
Complex ShiftPower(int n, double theta) {
  if (theta == Pi) return {n % 2 == 0 ? 1.0 : -1.0, 0.0};
  return std::polar(1.0, -n * theta);
}

// The process side of the open loop, L = C(q) * Num(q) / Den(q) in the backward shift
// q = e^{-j w h}, built from the simulation's recurrences:
//  single loop: x = (1-a) v + a x_prev, y written D samples on, the controller sees it
//   two samples later:  Num = K (1-a) q^(D+2),  Den = 1 - a q;
//  cascade: the inner P loop (gain Kc, inner lag ai, Di, seeing its output two samples
//   late) closed, the outer lag fed one sample late and seen two samples late:
//   Num = Kc Kin (1-ai) q^Di * Ko (1-ao) q^(Do+3),
//   Den = ((1 - ai q) + Kc Kin (1-ai) q^(Di+2)) (1 - ao q).
//  an integrating (outer) process adds the sum z = z + h k' x: Num gets h, Den (1 - q).
struct ProcessSide {
  double Numerator = 0, Pole = 0;  // K (1-a) and a of the (outer) lag
  int Delay = 0;                   // its power of q
  bool Cascade = false;
  bool Integrator = false;
  double InnerNumerator = 0, InnerPole = 0;  // Kc Kin (1-ai), ai
  int InnerDelay = 0;                        // Di
  double DcGain = 0;                         // |Num/Den| at q = 1

  // q and the two powers of q the loop needs at one frequency.
  struct Shifts {
    Complex Q, Outer, Inner;
  };
  Shifts At(double theta) const {
    return {ShiftPower(1, theta), ShiftPower(Delay, theta),
            Cascade ? ShiftPower(InnerDelay, theta) : Complex(1.0)};
  }
  void At(const Shifts& s, Complex& num, Complex& den) const {
    num = Numerator * s.Outer;
    den = 1.0 - Pole * s.Q;
    if (Integrator) den *= 1.0 - s.Q;
    if (!Cascade) return;
    const Complex innerOpen = InnerNumerator * s.Inner;
    num *= innerOpen;
    den *= (1.0 - InnerPole * s.Q) + innerOpen * s.Q * s.Q;
  }
  // The highest power of q: how fast the loop turns with frequency.
  int Turns() const { return Delay + (Cascade ? InnerDelay + 2 : 0) + 2 + (Integrator ? 1 : 0); }
};

ProcessSide MakeProcessSide(const SampledProcess& p) {
  const double h = p.SampleTime;
  ProcessSide s;
  s.Pole = TRegulator::SampledLagPole(p.TimeConstant, h);
  s.Numerator = p.Gain * (1 - s.Pole);
  s.Delay = TRegulator::DeadTimeSamples(p.DeadTime, h) + 2;
  s.DcGain = std::fabs(p.Gain);
  if (p.Integrating) {
    // No gain at rest: the slope per sample stands in for it in the lowest corner.
    s.Integrator = true;
    s.Numerator *= h;
    s.DcGain = std::fabs(p.Gain * h);
  }
  if (p.Cascade) {
    s.Cascade = true;
    s.Delay += 1;
    s.InnerPole = TRegulator::SampledLagPole(p.InnerTimeConstant, h);
    s.InnerNumerator = p.InnerLoopGain * p.InnerGain * (1 - s.InnerPole);
    s.InnerDelay = TRegulator::DeadTimeSamples(p.InnerDeadTime, h);
    const double kcK = p.InnerLoopGain * p.InnerGain;
    s.DcGain *= std::fabs(SafeDivide(kcK, 1 + kcK, 1));
  }
  return s;
}

// The controller side: C = Num/Den with only the terms the controller type uses.
//  P: Kp;  integral sum: Ki h / (1 - q);  filtered derivative: cD (1 - q) / (1 - beta q).
struct ControllerSide {
  double Kp = 0, KiH = 0, DerivativeGain = 0, Beta = 0;
  bool Integral = false, Derivative = false;

  bool Zero() const { return Kp == 0 && !Integral && !Derivative; }
  void At(Complex q, Complex& num, Complex& den) const {
    const Complex d1 = Integral ? 1.0 - q : Complex(1.0);
    const Complex d2 = Derivative ? 1.0 - Beta * q : Complex(1.0);
    den = d1 * d2;
    num = Kp * den;
    if (Integral) num += KiH * d2;
    if (Derivative) num += DerivativeGain * (1.0 - q) * d1;
  }
  // The lowest frequency where the controller's own response bends [rad per sample].
  double LowestCorner(double processDcGain) const {
    double corner = 1;
    if (Integral && Kp != 0) corner = std::min(corner, std::fabs(KiH / Kp));
    if (Integral && processDcGain > 0) corner = std::min(corner, std::fabs(KiH) * processDcGain);
    if (Derivative) corner = std::min(corner, 1 - Beta);
    return corner;
  }
};

ControllerSide MakeControllerSide(const LoopController& c, double h) {
  ControllerSide s;
  const bool usesP = c.Type != SimI, usesI = c.Type != SimP, usesD = c.Type == SimPID;
  if (usesP) s.Kp = c.Kp;
  if (usesI && c.Ki * h != 0) {
    s.Integral = true;
    s.KiH = c.Ki * h;
  }
  if (usesD) {
    const TRegulator::DerivativeTerm d = TRegulator::SampledDerivative(h, c.Kd, c.Kp);
    if (d.Gain != 0) {
      s.Derivative = true;
      s.Beta = d.Beta;
      s.DerivativeGain = d.Gain;
    }
  }
  return s;
}

// The loop at one frequency as L = N / D with N = Nc Np and D = Dc Dp, so that F = D + N
// is the (reversed) characteristic polynomial at q and S = D / F.
struct LoopValue {
  Complex N, D;
  Complex F() const { return D + N; }
  Complex L() const { return N / D; }
  double SensitivityMagnitude() const { return std::sqrt(std::norm(D) / std::norm(F())); }
  double PhaseSign() const { return (N * std::conj(D)).imag(); }  // sign of Im L
  double GainExcess() const { return std::norm(N) - std::norm(D); }  // sign of |L| - 1
};

class Loop {
 public:
  Loop(const ProcessSide& p, const ControllerSide& c) : p_(p), c_(c) {}
  LoopValue At(double theta) const {
    const ProcessSide::Shifts s = p_.At(theta);
    Complex pn, pd;
    p_.At(s, pn, pd);
    return At(s.Q, pn, pd);
  }
  LoopValue At(Complex q, Complex pn, Complex pd) const {
    Complex cn, cd;
    c_.At(q, cn, cd);
    return {cn * pn, cd * pd};
  }

 private:
  const ProcessSide& p_;
  const ControllerSide& c_;
};

// The frequency grid shared by the controllers of one process, with the process side
// evaluated once per point. Point 0 is theta = 0, the last is pi.
struct Grid {
  std::vector<double> Theta;
  std::vector<Complex> Q, Num, Den;
};

Grid MakeGrid(const ProcessSide& p, double lowest) {
  Grid g;
  const double maxStep = Pi / (StepsPerHalfTurn * (p.Turns() + 4));
  double theta = std::clamp(lowest, 1e-12, 1e-3);
  g.Theta.push_back(0);
  std::vector<char> equalStep{0};  // reached from the previous point by maxStep
  bool equal = false;
  while (theta < Pi) {
    g.Theta.push_back(theta);
    equalStep.push_back(equal);
    equal = RelativeStep * theta >= maxStep;
    theta += equal ? maxStep : RelativeStep * theta;
  }
  g.Theta.push_back(Pi);
  equalStep.push_back(0);
  const size_t n = g.Theta.size();
  g.Q.resize(n);
  g.Num.resize(n);
  g.Den.resize(n);
  // Where the steps are equal the powers of q are rotated from point to point instead of
  // taken from sines and cosines anew; a fresh start every 64 points keeps the rounding
  // below 1e-13, and every crossover and peak is refined on the exact loop anyway.
  ProcessSide::Shifts shifts, turn;
  int rotated = 0;
  for (size_t i = 0; i < n; ++i) {
    if (equalStep[i] && rotated > 0 && rotated < 64) {
      shifts = {shifts.Q * turn.Q, shifts.Outer * turn.Outer, shifts.Inner * turn.Inner};
      ++rotated;
    } else {
      shifts = p.At(g.Theta[i]);
      if (rotated == 0) turn = p.At(maxStep);
      rotated = 1;
    }
    g.Q[i] = shifts.Q;
    p.At(shifts, g.Num[i], g.Den[i]);
  }
  return g;
}

// Argument of f in (-pi, pi], with the negative real axis (a negative zero included) at pi.
double Arg(Complex f) { return std::atan2(f.imag() == 0 ? 0.0 : f.imag(), f.real()); }

// Counts the turns of F = D + N around 0 as theta goes from 0 to pi, in crossings of the
// negative real axis; a step that turns by more than 60 degrees is halved.
class WindingCounter {
 public:
  explicit WindingCounter(const Loop& loop) : loop_(loop) {}
  void Step(double a, Complex fa, double b, Complex fb, int depth = 0) {
    if (fa == 0.0 || fb == 0.0) {
      onCircle_ = true;  // a root on the unit circle: not asymptotically stable
      return;
    }
    const Complex w = fb * std::conj(fa);
    const bool wide = w.real() < 0 || 4 * w.real() * w.real() < std::norm(w);
    if (wide && depth < 60 && b - a > 1e-15 * b) {
      const double m = 0.5 * (a + b);
      const Complex fm = loop_.At(m).F();
      Step(a, fa, m, fm, depth + 1);
      Step(m, fm, b, fb, depth + 1);
      return;
    }
    const bool upperA = fa.imag() >= 0, upperB = fb.imag() >= 0;
    if (upperA == upperB) return;
    const double x = fa.real() + (fb.real() - fa.real()) * fa.imag() / (fa.imag() - fb.imag());
    if (x < 0) crossings_ += upperA ? 1 : -1;
  }
  // Roots of the characteristic polynomial outside the unit circle (as roots of its
  // reversed polynomial in q inside): minus the winding over the whole circle.
  long long Outside(Complex f0, Complex fEnd) const {
    const double turn = Arg(fEnd) - Arg(f0) + 2 * Pi * static_cast<double>(crossings_);
    return std::llround(-turn / Pi);
  }
  bool OnCircle() const { return onCircle_; }

 private:
  const Loop& loop_;
  long long crossings_ = 0;
  bool onCircle_ = false;
};

// Narrows [a, b], where sign(f) differs at the ends, to Tolerance relative.
template <class F>
double Bisect(double a, double b, F f) {
  const bool signA = f(a) > 0;
  while (b - a > Tolerance * b) {
    const double m = 0.5 * (a + b);
    if ((f(m) > 0) == signA)
      a = m;
    else
      b = m;
  }
  return 0.5 * (a + b);
}

// The maximum of f over [a, b] by golden section to Tolerance relative; the ends count.
template <class F>
std::pair<double, double> GoldenMaximum(double a, double b, F f) {
  const double r = 0.5 * (std::sqrt(5.0) - 1);
  double c = b - r * (b - a), d = a + r * (b - a);
  double fc = f(c), fd = f(d);
  while (b - a > Tolerance * b) {
    if (fc >= fd) {
      b = d, d = c, fd = fc;
      c = b - r * (b - a);
      fc = f(c);
    } else {
      a = c, c = d, fc = fd;
      d = a + r * (b - a);
      fd = f(d);
    }
  }
  const double m = 0.5 * (a + b);
  return {m, f(m)};
}

// An upper bound of |S| = 1/|1 + L| between three neighbouring grid points. Over two
// steps |L| changes by a few percent and arg L turns by less than 90 degrees, so L stays
// in the ring sector spanned by the three values, widened by 25 % in |L| and 10 degrees on
// each side; the bound is one over the distance of -1 from that sector.
double SensitivityBound(Complex a, Complex b, Complex c) {
  const double rhoMax = std::sqrt(std::max({std::norm(a), std::norm(b), std::norm(c)})) * 1.25;
  if (rhoMax < 0.5) return 1 / (1 - rhoMax);  // far from -1 whatever the phase
  const double rhoMin = std::sqrt(std::min({std::norm(a), std::norm(b), std::norm(c)})) / 1.25;
  // The arc from arg a through arg b to arg c, as offsets from arg b.
  const double toA = std::arg(a / b), toC = std::arg(c / b);
  const double slack = 10 * Pi / 180;
  const double from = std::min({toA, toC, 0.0}) - slack, to = std::max({toA, toC, 0.0}) + slack;
  if (to - from >= Pi) return RobustnessFigures::Infinite;
  const double phiB = std::arg(b);
  auto offsetOfMinusOne = std::remainder(Pi - phiB, 2 * Pi);
  double distance;
  if (offsetOfMinusOne >= from && offsetOfMinusOne <= to) {
    distance = rhoMin > 1 ? rhoMin - 1 : rhoMax < 1 ? 1 - rhoMax : 0;
  } else {
    // Nearest on one of the two radial edges: |rho e^{j phi} + 1|^2 = rho^2 + 2 rho cos phi + 1.
    distance = RobustnessFigures::Infinite;
    for (double phi : {phiB + from, phiB + to}) {
      const double rho = std::clamp(-std::cos(phi), rhoMin, rhoMax);
      distance = std::min(distance, std::sqrt(std::max(0.0, rho * rho + 2 * rho * std::cos(phi) + 1)));
    }
  }
  return distance > 0 ? 1 / distance : RobustnessFigures::Infinite;
}

RobustnessFigures Analyse(const ProcessSide& p, const ControllerSide& c, const Grid& g, double h) {
  RobustnessFigures r;
  const size_t n = g.Theta.size();
  const Loop loop(p, c);
  std::vector<LoopValue> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = loop.At(g.Q[i], g.Num[i], g.Den[i]);

  WindingCounter winding(loop);
  for (size_t i = 1; i < n; ++i) winding.Step(g.Theta[i - 1], v[i - 1].F(), g.Theta[i], v[i].F());
  r.Stable = !winding.OnCircle() && winding.Outside(v[0].F(), v[n - 1].F()) == 0;
  if (!r.Stable) return r;

  // Maximum sensitivity: the local maxima of the grid, largest first, each refined unless
  // a bound on |S| over its two steps shows it cannot beat the best found.
  auto sensitivity = [&](double theta) { return loop.At(theta).SensitivityMagnitude(); };
  std::vector<double> s(n, 0);
  for (size_t i = 1; i < n; ++i) s[i] = v[i].SensitivityMagnitude();
  std::vector<size_t> peaks;
  for (size_t i = 1; i < n; ++i) {
    if (s[i] >= s[i - 1] && (i + 1 == n || s[i] >= s[i + 1])) peaks.push_back(i);
  }
  std::sort(peaks.begin(), peaks.end(), [&](size_t a, size_t b) { return s[a] > s[b]; });
  r.Ms = 0;
  for (size_t i : peaks) {
    const size_t lo = i - 1, hi = std::min(i + 1, n - 1);
    if (r.Ms > 0 && SensitivityBound(v[lo].L(), v[i].L(), v[hi].L()) <= r.Ms) continue;
    auto [theta, value] = GoldenMaximum(g.Theta[lo], g.Theta[hi], sensitivity);
    if (s[i] > value) theta = g.Theta[i], value = s[i];
    if (value > r.Ms) r.Ms = value, r.PeakFrequency = theta / h;
  }

  if (c.Zero() || p.Numerator == 0) {  // no loop: nothing crosses
    r.GainMargin = r.GainMarginDb = RobustnessFigures::Infinite;
    return r;
  }
  auto phaseSign = [&](double theta) { return loop.At(theta).PhaseSign(); };
  auto gainExcess = [&](double theta) { return loop.At(theta).GainExcess(); };

  // Gain margin at the first phase crossover: the first point where L is real and negative.
  r.GainMargin = r.GainMarginDb = RobustnessFigures::Infinite;
  for (size_t i = 1; i < n; ++i) {
    double theta = -1;
    if (v[i].PhaseSign() == 0) {
      theta = g.Theta[i];
    } else if (i + 1 < n && (v[i].PhaseSign() > 0) != (v[i + 1].PhaseSign() > 0) &&
               v[i + 1].PhaseSign() != 0) {
      if (v[i].L().real() > 0 && v[i + 1].L().real() > 0) continue;  // on the positive side
      theta = Bisect(g.Theta[i], g.Theta[i + 1], phaseSign);
    } else {
      continue;
    }
    const Complex l = loop.At(theta).L();
    if (!(l.real() < 0)) continue;
    r.PhaseCrossover = theta / h;
    r.GainMargin = 1 / std::abs(l);
    r.GainMarginDb = 20 * std::log10(r.GainMargin);
    break;
  }

  // Phase margin: the smallest over the gain crossovers.
  for (size_t i = 1; i + 1 < n; ++i) {
    const double a = v[i].GainExcess(), b = v[i + 1].GainExcess();
    if (!((a > 0 && b <= 0) || (a <= 0 && b > 0))) continue;
    const double theta = b == 0 ? g.Theta[i + 1] : Bisect(g.Theta[i], g.Theta[i + 1], gainExcess);
    const Complex l = loop.At(theta).L();
    const double margin = std::atan2(-l.imag(), -l.real()) * 180 / Pi;
    if (std::isnan(r.PhaseMargin) || margin < r.PhaseMargin) {
      r.PhaseMargin = margin;
      r.GainCrossover = theta / h;
    }
  }
  return r;
}

bool AllFinite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double x) { return std::isfinite(x); });
}

bool Finite(const LoopController& c) { return AllFinite({c.Kp, c.Ki, c.Kd}); }

}  // namespace

std::string RobustnessRefusal(const SampledProcess& p) {
  const std::string head = "Robustnost ni izračunana: ";
  const double h = p.SampleTime;
  if (!(h > 0) || !std::isfinite(h))
    return head + "čas vzorčenja zaprte zanke ni podan ali ni večji od 0.";
  if (!AllFinite({p.Gain, p.TimeConstant, p.DeadTime, p.InnerGain, p.InnerTimeConstant,
                  p.InnerDeadTime, p.InnerLoopGain}))
    return head + "model ni podan s končnimi števili.";
  if ((p.Cascade ? p.InnerGain : p.Gain) == 0) return head + "ojačenje notranjega procesa je 0.";
  for (double deadTime : {p.DeadTime, p.Cascade ? p.InnerDeadTime : 0.0}) {
    const double samples = std::nearbyint(deadTime / h);
    if (samples < 0) return head + "mrtvi čas modela je negativen.";
    if (samples > MaxDelaySamples)
      return head + "mrtvi čas modela je daljši od " + std::to_string(MaxDelaySamples) +
             " vzorcev.";
  }
  return {};
}

RobustnessFigures LoopRobustness(const SampledProcess& process, const LoopController& controller) {
  const RobustnessSet set = ComputeRobustness(process, {}, controller);
  if (!set.Reason.empty()) throw std::invalid_argument(set.Reason);
  return *set.Scaled;
}

SampledProcess SampledProcessOfStore(const MeasurementStore& store, double h, bool cascade) {
  SampledProcess p;
  p.SampleTime = h;
  p.Cascade = cascade;
  p.InnerGain = store.InnerGain;
  p.InnerTimeConstant = store.InnerTimeConstant;
  p.InnerDeadTime = store.InnerDeadTime;
  if (cascade) {
    p.Gain = store.OuterGain;
    p.TimeConstant = store.OuterTimeConstant;
    p.DeadTime = store.OuterDeadTime;
    p.InnerLoopGain = store.Tuning.InnerLoopGain;
  } else {
    p.Gain = store.InnerGain;
    p.TimeConstant = store.InnerTimeConstant;
    p.DeadTime = store.InnerDeadTime;
  }
  const bool outerIntegrating = cascade ? store.OuterKind == ProcessKind::Integrating
                                        : store.InnerKind == ProcessKind::Integrating;
  if (outerIntegrating) {
    const IntegratingModel& m = cascade ? store.OuterIntegrating : store.InnerIntegrating;
    p.Integrating = true;
    p.Gain = m.Slope;
    p.TimeConstant = m.Lag;
    p.DeadTime = m.DeadTime;
  }
  return p;
}

RobustnessSet ComputeRobustness(const SampledProcess& process, const ProposedControllers& proposals,
                                const std::optional<LoopController>& scaled) {
  RobustnessSet set;
  set.SampleTime = process.SampleTime;
  set.Reason = RobustnessRefusal(process);
  if (set.Reason.empty() &&
      !(Finite(proposals.I) && Finite(proposals.P) && Finite(proposals.PI) &&
        Finite(proposals.PID) && (!scaled || Finite(*scaled))))
    set.Reason = "Robustnost ni izračunana: parametri regulatorja niso končna števila.";
  if (!set.Reason.empty()) return set;

  const double h = process.SampleTime;
  const ProcessSide p = MakeProcessSide(process);
  const ControllerSide sides[] = {
      MakeControllerSide(proposals.I, h), MakeControllerSide(proposals.P, h),
      MakeControllerSide(proposals.PI, h), MakeControllerSide(proposals.PID, h),
      MakeControllerSide(scaled.value_or(LoopController{}), h)};
  double lowest = 1;
  for (const ControllerSide& c : sides) lowest = std::min(lowest, c.LowestCorner(p.DcGain));
  // Around an integrator a P term alone crosses over near Kp h k' per sample.
  if (p.Integrator)
    for (const ControllerSide& c : sides)
      if (c.Kp != 0) lowest = std::min(lowest, std::fabs(c.Kp) * p.DcGain);
  for (double pole : {p.Pole, p.Cascade ? p.InnerPole : 0.0}) lowest = std::min(lowest, 1 - pole);
  const Grid grid = MakeGrid(p, 1e-3 * lowest);
  set.I = Analyse(p, sides[0], grid, h);
  set.P = Analyse(p, sides[1], grid, h);
  set.PI = Analyse(p, sides[2], grid, h);
  set.PID = Analyse(p, sides[3], grid, h);
  if (scaled) set.Scaled = Analyse(p, sides[4], grid, h);
  const LoopController* given[] = {&proposals.I, &proposals.P, &proposals.PI, &proposals.PID};
  RobustnessFigures* figures[] = {&set.I, &set.P, &set.PI, &set.PID};
  for (int i = 0; i < 4; ++i)
    figures[i]->Proposed = given[i]->Kp != 0 || given[i]->Ki != 0 || given[i]->Kd != 0;
  return set;
}

RobustnessTexts FormatRobustness(const RobustnessFigures& f, char separator) {
  RobustnessTexts t;
  if (!f.Stable) {
    t.Ms = t.GainMargin = t.PhaseMargin = t.Line = UnstableText;
    t.Warning = true;
    t.ToolTip =
        "Zaprta zanka je nestabilna: karakteristični polinom ima koren zunaj enotskega\n"
        "kroga, simulirani odziv divergira. Premaknite drsnik proti \"Robustno\" ali\n"
        "skrajšajte čas vzorčenja.";
    return t;
  }
  auto fixed = [separator](double x, int decimals) { return FormatFixed(x, decimals, separator); };
  const std::string infinity = "\xE2\x88\x9E";  // "∞"
  const std::string degree = "\xC2\xB0";        // "°"
  t.Ms = fixed(f.Ms, 2);
  const std::string ratio = std::isinf(f.GainMargin) ? infinity : fixed(f.GainMargin, 2);
  t.GainMargin = std::isinf(f.GainMargin) ? infinity
                                          : ratio + " (" + fixed(f.GainMarginDb, 1) + " dB)";
  t.PhaseMargin = std::isnan(f.PhaseMargin) ? NotFiniteText : fixed(f.PhaseMargin, 1) + degree;
  // The line beside a controller is short: the phase margin in whole degrees.
  t.Line = "Ms " + t.Ms + " Ar " + ratio + " \xCF\x86r " +
           (std::isnan(f.PhaseMargin) ? NotFiniteText : fixed(f.PhaseMargin, 0) + degree);
  auto at = [&](double w) {
    return std::isfinite(w) ? " pri \xCF\x89 = " + FormatGeneral(w, 4, separator) + " rad/s" : "";
  };
  t.Warning = f.Ms > FragileMs;
  if (t.Warning)
    t.ToolTip =
        "Ms > 2: zanka je krhka, že majhna napaka modela jo lahko zaniha ali spravi v\n"
        "nestabilnost (običajno je Ms med 1,2 in 2). Premaknite drsnik proti \"Robustno\".\n";
  t.ToolTip += "Maksimalna občutljivost Ms = " + fixed(f.Ms, 3) + at(f.PeakFrequency) + "\n";
  t.ToolTip += "Amplitudni razloček Ar = " + t.GainMargin + at(f.PhaseCrossover) + "\n";
  t.ToolTip += "Fazni razloček \xCF\x86r = " + t.PhaseMargin + at(f.GainCrossover);
  return t;
}

std::vector<RobustnessTableRow> RobustnessTableRows(const RobustnessSet& set, char separator) {
  std::vector<RobustnessTableRow> rows{
      {"Tip regulatorja", "Ms", "Amplitudni razloček", "Fazni razloček"}};
  const std::pair<const char*, const RobustnessFigures*> proposals[] = {
      {"I regulator", &set.I}, {"P regulator", &set.P}, {"PI regulator", &set.PI},
      {"PID regulator", &set.PID}};
  for (const auto& [name, figures] : proposals) {
    if (!set.Reason.empty()) {
      rows.push_back({name, NotFiniteText, NotFiniteText, NotFiniteText});
      continue;
    }
    const RobustnessTexts t = FormatRobustness(*figures, separator);
    rows.push_back({name, t.Ms, t.GainMargin, t.PhaseMargin});
  }
  return rows;
}

std::vector<ProposalWarningFigures> WarningFiguresOf(const RobustnessSet& set) {
  std::vector<ProposalWarningFigures> out;
  if (!set.Reason.empty()) return out;
  const auto add = [&](const char* name, const RobustnessFigures& f) {
    out.push_back({name, f.Proposed, f.Stable, f.Stable && f.Ms > FragileMs, f.Ms});
  };
  add("I", set.I);
  add("P", set.P);
  add("PI", set.PI);
  add("PID", set.PID);
  if (set.Scaled) add("skalirani", *set.Scaled);
  return out;
}
