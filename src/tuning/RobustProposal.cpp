#include "tuning/RobustProposal.h"

#include <cmath>
#include <stdexcept>

#include "data/NumberFormat.h"

namespace {

const char* TypeName(int type) {
  static const char* const names[] = {"P", "I", "PI", "PID"};
  return type >= 0 && type < 4 ? names[type] : "?";
}

bool Meets(const RobustnessFigures& f, double maxMs) { return f.Stable && f.Ms <= maxMs; }

// The figures of the panel's controller at every slider position for one sampling time;
// the gains before the robustness factor do not depend on the position.
struct Sweep {
  std::optional<int> Fastest;  // the fastest position meeting the limit
  RobustnessFigures AtFastest;
  int Lowest = -1;  // the stable position with the lowest Ms, when none meets the limit
  RobustnessFigures AtLowest;
  std::string Reason;  // why the process cannot be judged
};

Sweep SweepPositions(const TuningResult& tuned, const SampledProcess& process,
                     const RobustProposalRequest& r) {
  Sweep s;
  s.Reason = RobustnessRefusal(process);
  if (!s.Reason.empty()) return s;
  PanelInput panel = r.Panel;
  panel.Cascade = r.Cascade;
  TuningResult t = tuned;
  for (int position = SliderPositions - 1; position >= 0; --position) {
    t.RobustnessFactor = RobustnessFactor(position);
    const LoopController c = ComputeControllerPanel(t, panel, '.').Controller;
    RobustnessFigures f;
    try {
      f = LoopRobustness(process, c);
    } catch (const std::invalid_argument& e) {  // gains that are not finite numbers
      s.Reason = e.what();
      return s;
    }
    if (f.Stable && (s.Lowest < 0 || f.Ms < s.AtLowest.Ms)) {
      s.Lowest = position;
      s.AtLowest = f;
    }
    if (Meets(f, r.MaxMs)) {  // the slower positions are not needed then
      s.Fastest = position;
      s.AtFastest = f;
      break;
    }
  }
  return s;
}

// A value rounded down to three significant digits.
double RoundDown3(double x) {
  const double scale = std::pow(10.0, 2 - std::floor(std::log10(x)));
  return std::floor(x * scale) / scale;
}

// The largest sampling time below h (to three significant digits) at which some position
// meets the limit; none when even a thousandth of h does not, or the dead time would then
// span more samples than the figures can judge.
std::optional<double> SampleTimeThatWould(const TuningResult& tuned, SampledProcess process,
                                          const RobustProposalRequest& r) {
  auto meetsAt = [&](double h) {
    process.SampleTime = h;
    return SweepPositions(tuned, process, r).Fastest.has_value();
  };
  double fails = r.SampleTime, meets = 0;
  for (double h = r.SampleTime / 2; h >= r.SampleTime * 1e-3; h /= 2) {
    process.SampleTime = h;
    if (!RobustnessRefusal(process).empty()) return std::nullopt;
    if (meetsAt(h)) {
      meets = h;
      break;
    }
    fails = h;
  }
  if (meets == 0) return std::nullopt;
  for (int i = 0; i < 12; ++i) {
    const double mid = (meets + fails) / 2;
    (meetsAt(mid) ? meets : fails) = mid;
  }
  const double rounded = RoundDown3(meets);
  return meetsAt(rounded) ? rounded : meets;
}

}  // namespace

double ParseMaxMs(const std::string& text, char separator) {
  const std::optional<double> v = TryParseFloat(text, separator);
  if (!v || !(*v >= LowestMaxMs && *v <= HighestMaxMs))
    throw std::invalid_argument("Največji Ms mora biti število od " +
                                FormatGeneral(LowestMaxMs, 3, separator) + " do " +
                                FormatGeneral(HighestMaxMs, 3, separator) + ".");
  return *v;
}

RobustProposal FindRobustPosition(const MeasurementStore& store, const RobustProposalRequest& r,
                                  char separator) {
  RobustProposal out;
  const std::string limit = FormatFixed(r.MaxMs, 2, separator);
  const std::string type = TypeName(r.Panel.Type);
  if (!(r.MaxMs >= LowestMaxMs && r.MaxMs <= HighestMaxMs)) {
    out.Text = "Največji Ms mora biti od " + FormatGeneral(LowestMaxMs, 3, separator) + " do " +
               FormatGeneral(HighestMaxMs, 3, separator) + ".";
    return out;
  }
  if (r.Method == NoMethod) {
    out.Text = "Robustni predlog ni mogoč: metoda nastavljanja ni izbrana.";
    return out;
  }
  const TuningResult tuned = TunedRecord(store, r.Method, 0, r.Cascade);
  SampledProcess process = SampledProcessOfStore(store, r.SampleTime, r.Cascade);
  process.InnerLoopGain = tuned.InnerLoopGain;
  const Sweep s = SweepPositions(tuned, process, r);
  if (!s.Reason.empty()) {
    out.Text = "Robustni predlog ni mogoč. " + s.Reason;
    return out;
  }
  if (s.Fastest) {
    out.Position = s.Fastest;
    out.Factor = RobustnessFactor(*s.Fastest);
    out.Figures = s.AtFastest;
    out.Text = "Robustni predlog: regulator " + type + " na položaju drsnika " +
               std::to_string(*s.Fastest) + ", Ms " + FormatFixed(s.AtFastest.Ms, 2, separator) +
               " (meja " + limit + ").";
    return out;
  }
  const std::string h = FormatGeneral(r.SampleTime, 4, separator);
  out.SampleTimeThatWould = SampleTimeThatWould(tuned, process, r);
  if (out.SampleTimeThatWould) {
    out.Text = "Noben položaj drsnika ne da regulatorja " + type + " z Ms največ " + limit +
               " pri času vzorčenja " + h +
               " s: čas vzorčenja je predolg za model. Meja je dosegljiva pri času vzorčenja " +
               FormatGeneral(*out.SampleTimeThatWould, 3, separator) + " s ali krajšem.";
    return out;
  }
  out.Text = "Noben položaj drsnika ne da stabilnega regulatorja " + type + " z Ms največ " +
             limit + " pri času vzorčenja " + h + " s; ";
  out.Text += s.Lowest < 0 ? std::string("regulator je nestabilen na vseh položajih.")
                           : "najmanjši Ms je " + FormatFixed(s.AtLowest.Ms, 2, separator) +
                                 " (položaj " + std::to_string(s.Lowest) + ").";
  return out;
}

std::string SampleTimeNote(double h, double recommended, char separator) {
  if (!(recommended > 0) || !(h > recommended)) return {};
  return "Čas vzorčenja " + FormatGeneral(h, 4, separator) + " s je daljši od priporočenega (" +
         FormatGeneral(recommended, 4, separator) + " s).";
}
