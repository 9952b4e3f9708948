#include "tuning/Recomputation.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "data/NumberFormat.h"
#include "data/NumericHelpers.h"

const char* const NotFiniteText = "\xE2\x80\x93";  // "–"

double RobustnessFactor(int sliderPosition) {
  const double s = sliderPosition;
  return s * std::sqrt(s) * 0.0284605 + 0.1;
}

std::string FormatParameter(double value, int decimals, char separator) {
  if (!std::isfinite(value)) return NotFiniteText;
  return FormatFixed(value, decimals, separator);
}

std::string FormatControllerParameter(double value, int decimals, char separator) {
  if (!std::isfinite(value)) return NotFiniteText;
  if (value == 0) return FormatFixed(value, decimals, separator);
  constexpr int SignificantDigits = 4, MostDecimals = 12;
  // Decimals for four significant digits; the rounding may carry into one more integer
  // digit (0.99996 -> "1.0000"), which only adds a digit.
  const int exponent = static_cast<int>(std::floor(std::log10(std::abs(value))));
  const int needed = std::max(decimals, SignificantDigits - 1 - exponent);
  if (needed > MostDecimals) return FormatGeneral(value, SignificantDigits + 2, separator);
  return FormatFixed(value, needed, separator);
}

double InnerLoopGainAsShown(double gain) {
  if (!std::isfinite(gain) || gain == 0) return gain;
  constexpr int Decimals = 4, SignificantDigits = 4, MostDecimals = 12;
  const int exponent = static_cast<int>(std::floor(std::log10(std::abs(gain))));
  const int needed = std::max(Decimals, SignificantDigits - 1 - exponent);
  if (needed > MostDecimals) return gain;
  const double scale = std::pow(10.0, needed);
  return std::nearbyint(gain * scale) / scale;
}

namespace {
void StoreSet(TuningResult& t, const ControllerSet& c) {
  t.KiI = c.KiI;
  t.KpP = c.KpP;
  t.KpPI = c.KpPI;
  t.KiPI = c.KiPI;
  t.KpPID = c.KpPID;
  t.KiPID = c.KiPID;
  t.KdPID = c.KdPID;
}
void StoreCascadeSet(TuningResult& t, const ControllerSet& c) {
  t.CascKiI = c.KiI;
  t.CascKpP = c.KpP;
  t.CascKpPI = c.KpPI;
  t.CascKiPI = c.KiPI;
  t.CascKpPID = c.KpPID;
  t.CascKiPID = c.KiPID;
  t.CascKdPID = c.KdPID;
}
// The set the summary, the panel and the simulation read.
ControllerSet ActiveSet(const TuningResult& t, bool cascade) {
  if (cascade)
    return {t.CascKiI, t.CascKpP, t.CascKpPI, t.CascKiPI, t.CascKpPID, t.CascKiPID, t.CascKdPID};
  return {t.KiI, t.KpP, t.KpPI, t.KiPI, t.KpPID, t.KiPID, t.KdPID};
}
}  // namespace

TuningResult TunedRecord(const MeasurementStore& store, int method, int sliderPosition,
                         bool cascade) {
  if (method == -1) method = 0;
  TuningResult t = store.Tuning;
  t.RobustnessFactor = RobustnessFactor(sliderPosition);
  t.ClosedLoopTimeConstant = 0;
  if (UsesIntegratingRules(store, cascade)) {
    // The slider sets the closed-loop time constant; the gains are used as computed.
    t.RobustnessFactor = 1;
    if (!cascade) {
      const IntegratingModel& m = store.InnerIntegrating;
      t.ClosedLoopTimeConstant = TRegulator::IntegratingClosedLoopTimeConstant(
          method, sliderPosition, m.Lag, m.DeadTime, store.SampleTime);
      StoreSet(t, TRegulator::TuneIntegrating(method, m.Slope, m.Lag, m.DeadTime,
                                              t.ClosedLoopTimeConstant));
      return t;
    }
    const IntegratingModel& m = store.OuterIntegrating;
    CascadeTuning c;
    if (store.InnerKind == ProcessKind::SelfRegulating)
      c = TRegulator::TuneCascadeIntegratingOuter(
          method, store.InnerGain, store.InnerTimeConstant, store.InnerDeadTime, m.Slope, m.Lag,
          m.DeadTime, sliderPosition, store.SampleTime, &t.ClosedLoopTimeConstant);
    StoreCascadeSet(t, c.Outer);
    t.InnerLoopGain = InnerLoopGainAsShown(c.InnerLoopGain);
    t.KpP = t.InnerLoopGain;
    return t;
  }
  if (!cascade) {
    StoreSet(t, TRegulator::TuneSingleLoop(method, store.InnerGain, store.InnerTimeConstant,
                                           store.InnerDeadTime, MaxLoopGain));
    return t;
  }
  // A first-order cascade around an integrating inner process would be tuned on the
  // wrong model: nothing is computed.
  const CascadeTuning c =
      store.InnerKind == ProcessKind::Integrating
          ? CascadeTuning{}
          : TRegulator::TuneCascade(method, store.InnerGain, store.InnerTimeConstant,
                                    store.InnerDeadTime, store.OuterGain, store.OuterTimeConstant,
                                    store.OuterDeadTime, MaxLoopGain);
  StoreCascadeSet(t, c.Outer);
  // The inner controller is one number on the tab, in the question, on the plant and in
  // the simulation: the gain as the tab shows it.
  t.InnerLoopGain = InnerLoopGainAsShown(c.InnerLoopGain);
  t.KpP = t.InnerLoopGain;  // the inner-loop gain shares the P controller's slot
  return t;
}

void ApplyTuning(MeasurementStore& store, int method, int sliderPosition, bool cascade) {
  store.Tuning = TunedRecord(store, method, sliderPosition, cascade);
}

bool UsesIntegratingRules(const MeasurementStore& store, bool cascade) {
  return (cascade ? store.OuterKind : store.InnerKind) == ProcessKind::Integrating;
}

int MethodForKind(const MeasurementStore& store, int method, bool cascade) {
  const bool integrating = UsesIntegratingRules(store, cascade);
  if (method == NoMethod || IsIntegratingMethod(method) == integrating) return method;
  return integrating ? IntegratingSimc : AreaSetpoint;
}

double RecommendedSampleTime(const MeasurementStore& store, bool cascade) {
  return RecommendedSampleTime(store, store.Tuning, cascade);
}

double RecommendedSampleTime(const MeasurementStore& store, const TuningResult& t, bool cascade) {
  const double f = t.RobustnessFactor;
  double x1 = 0, x2 = 0;
  if (cascade) {
    x1 = SafeDivide(store.OuterTimeConstant, std::fabs(t.CascKpPI * f), 1000);
    x2 = SafeDivide(1, t.CascKiPI * f * store.OuterGain, 1000);
  } else {
    x1 = SafeDivide(store.InnerTimeConstant, std::fabs(t.KpPI * f * store.InnerGain), 1000);
    x2 = SafeDivide(1, t.KiPI * f * store.InnerGain, 1000);
  }
  if (UsesIntegratingRules(store, cascade)) {
    // An integrating loop: a tenth of the dead time (of the closed-loop time constant
    // when that is shorter or there is no dead time).
    const IntegratingModel& m = cascade ? store.OuterIntegrating : store.InnerIntegrating;
    x1 = x2 =
        m.DeadTime > 0 ? std::min(m.DeadTime, t.ClosedLoopTimeConstant) : t.ClosedLoopTimeConstant;
  }
  const double x = x2 < x1 ? x2 : x1;
  return std::nearbyint(100 * x) * 0.001;
}

TuningSummary SummaryTexts(const MeasurementStore& store, bool cascade, char separator) {
  const TuningResult& t = store.Tuning;
  const double f = t.RobustnessFactor;
  const ControllerSet c = ActiveSet(t, cascade);
  auto show = [&](double v, int decimals) {
    return FormatControllerParameter(v * f, decimals, separator);
  };
  TuningSummary s;
  // The inner loop's P gain is what the outer tuning was computed around: the robustness
  // factor scales the outer controller only.
  s.KpCascade = cascade ? FormatControllerParameter(t.InnerLoopGain, 4, separator) : "0";
  s.Ki = show(c.KiI, 5);
  s.KpP = show(c.KpP, 5);
  s.PIKp = show(c.KpPI, 3);
  s.PIKi = show(c.KiPI, 6);
  s.PIDKp = show(c.KpPID, 3);
  s.PIDKi = show(c.KiPID, 6);
  s.PIDKd = show(c.KdPID, 3);
  s.Recommended = FormatParameter(RecommendedSampleTime(store, cascade), 3, separator);
  return s;
}

double ResolveSampleTime(std::string_view text, char separator, double& lastValid) {
  if (text.empty()) return lastValid;
  double h = ParseFloat(text, separator);
  if (!(h > 0)) h = lastValid;
  lastValid = h;
  return h;
}

Horizon SimulationHorizon(double innerDeadTime, double innerTimeConstant, double h) {
  constexpr double Last = SimulationCapacity - 1;  // 4999
  Horizon z;
  const double m = std::nearbyint(innerDeadTime / h);
  z.DeadTimeSamples = RoundToInt(m);
  double n = std::nearbyint((10 * innerDeadTime + 5 * innerTimeConstant) / h) + 1;
  if (n > Last - m) n = Last - m;
  if (n > Last) n = Last;  // a negative dead time must not stretch the arrays
  if (!(n >= 10)) n = 10;
  z.Samples = static_cast<int>(n);
  return z;
}

namespace {
bool AllFinite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}
}  // namespace

// Every gain times f, the derivative too: the PID row shows Kd·f and the panel loads it, so
// the curve and the figures describe that controller (not one with the unscaled Kd).
ProposedControllers ProposedLoopControllers(const TuningResult& t, bool cascade) {
  const double f = t.RobustnessFactor;
  const ControllerSet s = ActiveSet(t, cascade);
  return {{SimI, 0, s.KiI * f, 0},
          {SimP, s.KpP * f, 0, 0},
          {SimPI, s.KpPI * f, s.KiPI * f, 0},
          {SimPID, s.KpPID * f, s.KiPID * f, s.KdPID * f}};
}

namespace {

// The responses of a loop around an integrating process: the horizon covers ten dead
// times, five lags and three integral times of the slower proposal; the open-loop curve is
// the ramp of an input step of 1/(k' t_end), which reaches about 1 at the horizon's end;
// the disturbance is a step of 1/(k' (tauC + L)) at the process input, which the loop
// arrests at about one output unit.
SimulationOutcome SimulateIntegratingResponses(const MeasurementStore& store, double h,
                                               int responseKind, bool cascade) {
  SimulationOutcome out;
  const IntegratingModel& m = cascade ? store.OuterIntegrating : store.InnerIntegrating;
  const TuningResult& t = store.Tuning;
  if (m.Slope == 0 || (cascade && store.InnerGain == 0)) {
    out.Reason = "Odzivi niso narisani: naklon integrirnega procesa je 0.";
    return out;
  }
  if (!AllFinite({m.Slope, m.Lag, m.DeadTime, store.InnerGain, store.InnerTimeConstant,
                  store.InnerDeadTime, t.InnerLoopGain, t.ClosedLoopTimeConstant}) ||
      !AllFinite({t.KiI, t.KpP, t.KpPI, t.KiPI, t.KpPID, t.KiPID, t.KdPID, t.CascKiI, t.CascKpP,
                  t.CascKpPI, t.CascKiPI, t.CascKpPID, t.CascKiPID, t.CascKdPID})) {
    out.Reason = "Odzivi niso narisani: model ali parametri regulatorja niso končna števila.";
    return out;
  }
  const ProposedControllers p = ProposedLoopControllers(t, cascade);
  const double integralTime =
      std::max(SafeDivide(p.PI.Kp, p.PI.Ki, 0), SafeDivide(p.PID.Kp, p.PID.Ki, 0));
  const Horizon z = SimulationHorizon(m.DeadTime, m.Lag + 0.6 * integralTime, h);
  const int n = z.Samples;
  ResponseCurves c;
  c.N = n;
  c.SampleTime = h;
  const auto cap = static_cast<size_t>(SimulationCapacity);
  for (auto* v : {&c.Time, &c.OpenLoop, &c.YI, &c.YP, &c.YPI, &c.YPID}) v->assign(cap, 0);
  for (int k = 0; k < n; ++k) c.Time[k] = k * h;
  // Open loop: the lag and the integral of the single-loop simulation, no controller.
  const double input = SafeDivide(1, m.Slope * (n - 1) * h, 0);
  {
    const double a = TRegulator::SampledLagPole(m.Lag, h);
    const int delay = TRegulator::DeadTimeSamples(m.DeadTime, h);
    double x = 0, y = 0;
    for (int k = 0; k + delay + 1 < n; ++k) {
      x = (1 - a) * input + a * x;
      y += h * m.Slope * x;
      c.OpenLoop[static_cast<size_t>(k + delay + 1)] = y;
    }
  }
  const bool disturbance = responseKind == 1;
  const double r = disturbance ? 0 : 1;
  const double d = !disturbance ? 0
                   : cascade    ? SafeDivide(1, store.InnerGain, 0)
                             : SafeDivide(1, m.Slope * (t.ClosedLoopTimeConstant + m.DeadTime), 0);
  const std::pair<const LoopController*, std::vector<double>*> curves[] = {
      {&p.I, &c.YI}, {&p.PI, &c.YPI}, {&p.PID, &c.YPID}, {&p.P, &c.YP}};
  for (const auto& [cv, y] : curves) {
    if (cascade) {
      std::vector<double> inner(cap, 0);
      TRegulator::SimulateCascadeIntegratingOuter(cv->Type, n, *y, inner, m.DeadTime, m.Lag,
                                                  m.Slope, store.InnerDeadTime,
                                                  store.InnerTimeConstant, store.InnerGain, h, d, r,
                                                  t.InnerLoopGain, cv->Kd, cv->Ki, cv->Kp);
    } else {
      TRegulator::SimulateIntegratingLoop(cv->Type, n, *y, m.DeadTime, m.Lag, m.Slope, h, d, r,
                                          cv->Kd, cv->Ki, cv->Kp);
    }
  }
  out.Curves = std::move(c);
  return out;
}

}  // namespace

SimulationOutcome SimulateResponses(const MeasurementStore& store, double h, int responseKind,
                                    bool cascade) {
  SimulationOutcome out;
  if (!(h > 0) || !std::isfinite(h)) {
    out.Reason = "Odzivi niso narisani: čas vzorčenja zaprte zanke ni podan ali ni večji od 0.";
    return out;
  }
  if (UsesIntegratingRules(store, cascade))
    return SimulateIntegratingResponses(store, h, responseKind, cascade);
  if (store.InnerGain == 0) {
    out.Reason = "Odzivi niso narisani: ojačenje notranjega procesa je 0.";
    return out;
  }
  const TuningResult& t = store.Tuning;
  if (!AllFinite({store.InnerGain, store.InnerTimeConstant, store.InnerDeadTime,
                  store.OuterGain, store.OuterTimeConstant, store.OuterDeadTime,
                  t.RobustnessFactor, t.InnerLoopGain}) ||
      !AllFinite({t.KiI, t.KpP, t.KpPI, t.KiPI, t.KpPID, t.KiPID, t.KdPID, t.CascKiI,
                  t.CascKpP, t.CascKpPI, t.CascKiPI, t.CascKpPID, t.CascKiPID, t.CascKdPID})) {
    out.Reason = "Odzivi niso narisani: model ali parametri regulatorja niso končna števila.";
    return out;
  }

  const Horizon z = SimulationHorizon(store.InnerDeadTime, store.InnerTimeConstant, h);
  const int n = z.Samples;
  ResponseCurves c;
  c.N = n;
  c.SampleTime = h;
  const auto cap = static_cast<size_t>(SimulationCapacity);
  c.Time.assign(cap, 0);
  c.OpenLoop.assign(cap, 0);
  c.YI.assign(cap, 0);
  c.YP.assign(cap, 0);
  c.YPI.assign(cap, 0);
  c.YPID.assign(cap, 0);
  std::vector<double> u(cap, 0), rate(static_cast<size_t>(n), 0);
  const double input = 1 / store.InnerGain;
  for (int k = 0; k < n; ++k) {
    u[k] = input;
    c.Time[k] = k * h;
  }
  FirstOrderResponse(std::span<const double>(u).first(n), std::span<double>(c.OpenLoop).first(n),
                     rate, store.InnerGain, store.InnerTimeConstant, z.DeadTimeSamples * h, 0, h);

  const bool disturbance = responseKind == 1;
  const double r = disturbance ? 0 : 1;
  const double d = disturbance ? input : 0;
  const ProposedControllers p = ProposedLoopControllers(t, cascade);
  const std::pair<const LoopController*, std::vector<double>*> curves[] = {
      {&p.I, &c.YI}, {&p.PI, &c.YPI}, {&p.PID, &c.YPID}, {&p.P, &c.YP}};
  for (const auto& [cv, y] : curves) {
    if (cascade) {
      std::vector<double> inner(cap, 0);
      TRegulator::SimulateCascade(cv->Type, n, *y, inner, store.OuterDeadTime,
                                  store.OuterTimeConstant, store.OuterGain, store.InnerDeadTime,
                                  store.InnerTimeConstant, store.InnerGain, h, d, r,
                                  t.InnerLoopGain, cv->Kd, cv->Ki, cv->Kp);
    } else {
      TRegulator::SimulateLoop(cv->Type, n, *y, store.InnerDeadTime, store.InnerTimeConstant,
                               store.InnerGain, h, d, r, cv->Kd, cv->Ki, cv->Kp);
    }
  }
  out.Curves = std::move(c);
  return out;
}

AxisRange ResponseAxisRange(const ResponseCurves& c) {
  double maximum = 0, minimum = 0;
  bool first = true;
  for (const std::vector<double>* y : {&c.YI, &c.OpenLoop, &c.YPI, &c.YPID, &c.YP}) {
    const int last = std::min(c.N, static_cast<int>(y->size())) - 1;
    // Only the finite head of a curve is drawn (an unstable loop may overflow).
    int end = 0;
    while (end <= last && std::isfinite((*y)[end])) ++end;
    const Extremes e = MinMaxOfRange(*y, 0, end - 1);
    if (first || e.Maximum > maximum) maximum = e.Maximum;
    if (first || e.Minimum < minimum) minimum = e.Minimum;
    first = false;
  }
  if (maximum > 2) maximum = 2;
  if (minimum < -1) minimum = -1;
  double range = maximum - minimum;
  if (range == 0) range = 1;
  return {minimum - 0.1 * range, maximum + 0.1 * range};
}

UsedScales ScalesUsedBy(int type) {
  switch (type) {
    case 0: return {true, false, false};
    case 1: return {false, true, false};
    case 2: return {true, true, false};
    case 3: return {true, true, true};
    default: return {};
  }
}

double UsableSequencerGain(double rawGain, std::string& note) {
  note.clear();
  if (rawGain == 0 || !std::isfinite(rawGain)) {
    note = "Opozorilo: karakteristika sekvencerja je na območju meritve ravna (ojačenje 0); "
           "upoštevano je ojačenje 1.";
    return 1;
  }
  return rawGain;
}

namespace {

// The PID of a set in the series form: Kp' = Kp(1 + sqrt w)/2, Ti' = Ti(1 + sqrt w)/2,
// Td' = Ti(1 - sqrt w)/2 with w = 1 - 4 Td/Ti; all zero when no series form exists (w < 0).
struct SeriesGains {
  double Kp = 0, Ti = 0, Td = 0;
};
SeriesGains SeriesPid(const ControllerSet& c) {
  const double ti = SafeDivide(c.KpPID, c.KiPID, 0);
  const double td = SafeDivide(c.KdPID, c.KpPID, 0);
  const double w = 1 - 4 * SafeDivide(td, ti, -1);
  if (w < 0) return {};
  return {(1 + std::sqrt(w)) * 0.5 * c.KpPID, 0.5 * ti * (1 + std::sqrt(w)),
          0.5 * ti * (1 - std::sqrt(w))};
}

}  // namespace

ScaledParameters ScaledControllerParameters(const TuningResult& t, const PanelInput& in) {
  ScaledParameters s;
  const int form = in.Form < 0 ? 0 : in.Form;
  const double g = in.Cascade ? 1 / in.SequencerGain : 1;
  const ControllerSet c = ActiveSet(t, in.Cascade);
  const double f = t.RobustnessFactor;
  auto gain = [&](double scale, double value) { return scale * g * value * f; };
  // The integral term of a PI or PID in the chosen form.
  auto integral = [&](double kp, double ki) {
    if (form == 0) return gain(in.ScaleI, ki);
    if (form == 2) return in.ScaleI * SafeDivide(ki, kp, 0);
    return in.ScaleI * SafeDivide(kp, ki, 0);
  };
  switch (in.Type) {
    case 0:
      s.Kp = gain(in.ScaleP, c.KpP);
      break;
    case 1:
      s.Ki = gain(in.ScaleI, c.KiI);
      break;
    case 2:
      s.Kp = gain(in.ScaleP, c.KpPI);
      s.Ki = integral(c.KpPI, c.KiPI);
      break;
    case 3:
      if (form == 3) {
        const auto [kps, tis, tds] = SeriesPid(c);
        s.Kp = gain(in.ScaleP, kps);
        s.Ki = in.ScaleI * tis;
        s.Kd = in.ScaleD * tds;
      } else {
        s.Kp = gain(in.ScaleP, c.KpPID);
        s.Ki = integral(c.KpPID, c.KiPID);
        s.Kd = form == 0 ? gain(in.ScaleD, c.KdPID) : in.ScaleD * SafeDivide(c.KdPID, c.KpPID, 0);
      }
      break;
    default:
      break;
  }
  return s;
}

namespace {

// The scaled controller as it would be loaded, in parallel gains (without the sequencer
// division, which the sequencer puts back in the plant): the loop the robustness figures
// of the panel describe.
LoopController PanelController(const TuningResult& t, const PanelInput& in) {
  const int form = in.Form < 0 ? 0 : in.Form;
  const ControllerSet c = ActiveSet(t, in.Cascade);
  const double f = t.RobustnessFactor;
  // The loaded controller's integral gain from its proportional gain kp and the shown
  // integral term of a PI or PID in the chosen form.
  auto loadedKi = [&](double kp, double pKp, double pKi) {
    if (form == 0) return in.ScaleI * pKi * f;
    if (form == 2) return kp * in.ScaleI * SafeDivide(pKi, pKp, 0);
    return SafeDivide(kp, in.ScaleI * SafeDivide(pKp, pKi, 0), 0);
  };
  switch (in.Type) {
    case 0:
      return {SimP, in.ScaleP * c.KpP * f, 0, 0};
    case 1:
      return {SimI, 0, in.ScaleI * c.KiI * f, 0};
    case 2: {
      const double kp = in.ScaleP * c.KpPI * f;
      return {SimPI, kp, loadedKi(kp, c.KpPI, c.KiPI), 0};
    }
    case 3: {
      if (form == 3) {
        // A series controller Kp'(1 + 1/(Ti' s))(1 + Td' s) in parallel gains.
        const auto [kps, tis, tds] = SeriesPid(c);
        const double kp = in.ScaleP * kps * f, tiS = in.ScaleI * tis, tdS = in.ScaleD * tds;
        return {SimPID, kp * (1 + SafeDivide(tdS, tiS, 0)), SafeDivide(kp, tiS, 0), kp * tdS};
      }
      const double kp = in.ScaleP * c.KpPID * f;
      return {SimPID, kp, loadedKi(kp, c.KpPID, c.KiPID),
              form == 0 ? in.ScaleD * c.KdPID * f
                        : kp * in.ScaleD * SafeDivide(c.KdPID, c.KpPID, 0)};
    }
    default:
      return {};
  }
}

}  // namespace

ControllerPanel ComputeControllerPanel(const TuningResult& t, const PanelInput& in,
                                       char separator) {
  ControllerPanel p;
  const int form = in.Form < 0 ? 0 : in.Form;
  if (in.Cascade) {
    p.SequencerCaption = "Maks. ojač. sekv.:";
    p.SequencerValue = FormatParameter(in.SequencerGain, 4, separator);
  }
  const ScaledParameters s = ScaledControllerParameters(t, in);
  p.ShowKp = s.Kp.has_value();
  p.ShowKi = s.Ki.has_value();
  p.ShowKd = s.Kd.has_value();
  if (p.ShowKp) {
    p.NameKp = "Kp:";
    p.Kp = FormatControllerParameter(*s.Kp, 3, separator);
  }
  if (p.ShowKi) {
    p.NameKi = in.Type == 1 || form == 0 ? "Ki:" : form == 2 ? "1/Ti:" : "Ti:";
    p.Ki = FormatControllerParameter(*s.Ki, 6, separator);
  }
  if (p.ShowKd) {
    p.NameKd = form == 0 ? "Kd:" : "Td:";
    p.Kd = FormatControllerParameter(*s.Kd, 3, separator);
  }
  p.Controller = PanelController(t, in);
  return p;
}

LoopController ControllerOfPanelValues(const PanelInput& in, const ScaledParameters& v) {
  const int form = in.Form < 0 ? 0 : in.Form;
  const double q = in.Cascade ? in.SequencerGain : 1;
  const double kp = v.Kp.value_or(0) * q;
  // The integral gain of a PI or PID from the shown integral term in the chosen form.
  const auto ki = [&] {
    const double shown = v.Ki.value_or(0);
    if (form == 0) return shown * q;
    if (form == 2) return kp * shown;
    return SafeDivide(kp, shown, 0);
  };
  switch (in.Type) {
    case 0:
      return {SimP, kp, 0, 0};
    case 1:
      return {SimI, 0, v.Ki.value_or(0) * q, 0};
    case 2:
      return {SimPI, kp, ki(), 0};
    case 3: {
      const double shownD = v.Kd.value_or(0);
      if (form == 3) {
        const double ti = v.Ki.value_or(0), td = shownD;
        return {SimPID, kp * (1 + SafeDivide(td, ti, 0)), SafeDivide(kp, ti, 0), kp * td};
      }
      return {SimPID, kp, ki(), form == 0 ? shownD * q : kp * shownD};
    }
    default:
      return {};
  }
}

bool PanelShowsProposal(const TuningResult& t, const PanelInput& in, const ControllerPanel& shown,
                        char separator) {
  const UsedScales used = ScalesUsedBy(in.Type);
  if ((used.P && in.ScaleP != 1) || (used.I && in.ScaleI != 1) || (used.D && in.ScaleD != 1))
    return false;
  const ControllerPanel proposal = ComputeControllerPanel(t, in, separator);
  return shown.ShowKp == proposal.ShowKp && shown.ShowKi == proposal.ShowKi &&
         shown.ShowKd == proposal.ShowKd && (!proposal.ShowKp || shown.Kp == proposal.Kp) &&
         (!proposal.ShowKi || shown.Ki == proposal.Ki) &&
         (!proposal.ShowKd || shown.Kd == proposal.Kd);
}

ControllerSet ShownGains(const TuningResult& t, bool cascade) {
  const ControllerSet c = ActiveSet(t, cascade);
  const double f = t.RobustnessFactor;
  return {c.KiI * f, c.KpP * f, c.KpPI * f, c.KiPI * f, c.KpPID * f, c.KiPID * f, c.KdPID * f};
}

ControllerSettings ControllerSettingsWithModels(ControllerSettings s, const MeasurementStore& store) {
  s.InnerGain = store.InnerGain;
  s.InnerTimeConstant = store.InnerTimeConstant;
  s.InnerDeadTime = store.InnerDeadTime;
  s.InnerRelativeError = store.InnerRelativeError;
  s.OuterGain = store.OuterGain;
  s.OuterTimeConstant = store.OuterTimeConstant;
  s.OuterDeadTime = store.OuterDeadTime;
  s.OuterRelativeError = store.OuterRelativeError;
  s.InnerKind = store.InnerKind;
  s.OuterKind = store.OuterKind;
  s.InnerIntegrating = store.InnerIntegrating;
  s.OuterIntegrating = store.OuterIntegrating;
  return s;
}

void ApplyControllerModels(const ControllerSettings& s, MeasurementStore& store) {
  store.InnerGain = s.InnerGain;
  store.InnerTimeConstant = s.InnerTimeConstant;
  store.InnerDeadTime = s.InnerDeadTime;
  store.InnerRelativeError = s.InnerRelativeError;
  store.OuterGain = s.OuterGain;
  store.OuterTimeConstant = s.OuterTimeConstant;
  store.OuterDeadTime = s.OuterDeadTime;
  store.OuterRelativeError = s.OuterRelativeError;
  // A file of first-order models (38 lines) leaves both kinds self-regulating.
  store.InnerKind = s.InnerKind;
  store.OuterKind = s.OuterKind;
  store.InnerIntegrating = s.InnerIntegrating;
  store.OuterIntegrating = s.OuterIntegrating;
}
