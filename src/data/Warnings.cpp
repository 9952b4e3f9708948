#include "data/Warnings.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string_view>

#include "data/NumberFormat.h"
#include "data/NumericHelpers.h"
#include "data/StepTest.h"

namespace {

// The marks the run adds to the MV column's description of a record that holds samples of
// the built-in simulation (the data file keeps them): " (simulacija)", or " (simulacija od
// 19,0 s)" where the simulation took over during the run.
constexpr const char* SimulationMark = "(simulacija)";
constexpr const char* SimulationFromMark = "(simulacija od ";

double MeanOf(const SampleArray& y, int from, int to) {
  double sum = 0;
  for (int k = from; k <= to; ++k) sum += y[static_cast<size_t>(k)];
  return sum / (to - from + 1);
}

// Y before the step, judged over the stretch of constant MV that ends at the step (from
// the record's first sample when MV waited from the start). The straight line through that
// stretch gives the drift: its change over the stretch, against the noise about the line
// (the slope must stand clear of its own uncertainty) and against the change the step
// brought (the mean of the window's last quarter against the level just before the step,
// both as measured and net of the line carried on, since a drift that goes on inflates
// the first). A baseline that moved by more than a tenth of that change was not at rest.
struct DriftFinding {
  bool Drifts = false;
  double From = 0, To = 0;
};
// The straight line through y[first..last], its middle as a sample number.
StraightLine LineThrough(const SampleArray& y, int first, int last) {
  StraightLine l = ::LineThrough(std::span<const double>(y).subspan(
      static_cast<size_t>(first), static_cast<size_t>(std::max(last - first + 1, 0))));
  l.Middle += first;
  return l;
}

// For an integrating process the step's own response is a change of slope: the slope
// before the step is judged against the change from it to the slope of the window's last
// quarter, not against a level that grows with the window.
DriftFinding DriftBeforeStep(const MeasurementStore& s, const SampleArray& y, int firstStep,
                             int end, bool integrating) {
  const SampleArray& mv = s.MVConditioned;
  const int last = firstStep - 1;
  int first = last;
  while (first > 1 && mv[static_cast<size_t>(first - 1)] == mv[static_cast<size_t>(last)]) --first;
  const int n = last - first + 1;
  if (n < 4) return {};
  const int quarter = std::max(1, n / 4);
  const double from = MeanOf(y, first, first + quarter - 1);
  const double to = MeanOf(y, last - quarter + 1, last);
  // The line through the stretch, about its middle.
  const StraightLine line = LineThrough(y, first, last);
  const double slope = line.Slope, mean = line.Mean, middle = line.Middle;
  const bool significant = std::abs(slope) > 4 * line.SlopeError;
  const double drift = slope * (n - 1);
  const int after = end - firstStep + 1;
  const int tail = std::max(1, after / 4);
  if (integrating) {
    const StraightLine late = LineThrough(y, end - tail + 1, end);
    const bool drifts = std::isfinite(slope) && std::isfinite(late.Slope) && significant &&
                        std::abs(slope) > 0.1 * std::abs(late.Slope - slope);
    return {drifts, from, to};
  }
  const double tailMean = MeanOf(y, end - tail + 1, end);
  const double measured = tailMean - to;
  const double net = tailMean - (mean + slope * ((end - tail + 1 + end) / 2.0 - middle));
  if (!std::isfinite(drift) || !std::isfinite(measured) || !std::isfinite(net)) return {};
  const double response = std::min(std::abs(measured), std::abs(net));
  const bool drifts = std::abs(drift) > 0.1 * response && significant;
  return {drifts, from, to};
}

std::string Names(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i)
    out += (i == 0 ? "" : i + 1 == names.size() ? " in " : ", ") + names[i];
  return out;
}

}  // namespace

bool RecordIsSimulated(const MeasurementStore& store) {
  const std::string& description = store.ColumnNames[1];
  return description.find(SimulationMark) != std::string::npos ||
         description.find(SimulationFromMark) != std::string::npos;
}

int FirstStepOfMV(const MeasurementStore& store, int start, int end) {
  const SampleArray& mv = store.MVConditioned;
  start = std::max(start, 1);
  end = std::min(end, MaxSamples);
  for (int k = start + 1; k <= end; ++k)
    if (mv[static_cast<size_t>(k)] != mv[static_cast<size_t>(start)]) return k;
  return 0;
}

std::vector<Warning> CollectWarnings(const MeasurementStore& s, const WarningScope& scope) {
  std::vector<Warning> out;
  const char sep = scope.Separator;
  const int start = std::max(scope.Start, 1);
  const int end = std::min(scope.End, std::max(s.SampleCount, 1));

  if (scope.Record && RecordIsSimulated(s)) {
    // Where the simulation took over, as the mark says it ("od 19,0 s").
    const std::string& description = s.ColumnNames[1];
    const std::size_t from = description.rfind(SimulationFromMark);
    const std::size_t close = from == std::string::npos ? from : description.find(')', from);
    const std::size_t at = from + std::string_view(SimulationFromMark).size() - 3;
    if (close != std::string::npos)
      out.push_back({WarningKind::SimulatedRecord,
                     "Opozorilo: zapis je simuliran " + description.substr(at, close - at) +
                         " naprej (vgrajena simulacija procesa), prej je meritev obrata."});
    else
      out.push_back({WarningKind::SimulatedRecord,
                     "Opozorilo: zapis je v celoti ali delno simuliran (vgrajena simulacija "
                     "procesa), ne meritev obrata."});
  }

  const int step = end > start ? FirstStepOfMV(s, start, end) : 0;
  if (!scope.Record) {
  } else if (step > 0) {
    const std::pair<const char*, const SampleArray*> signals[] = {{"Y1", &s.Y1Conditioned},
                                                                  {"Y2", &s.Y2Conditioned}};
    bool drifting[2] = {false, false};
    for (const auto& [name, y] : signals) {
      if (y == &s.Y2Conditioned && !scope.Outer) continue;
      const bool outer = y == &s.Y2Conditioned;
      const DriftFinding d = DriftBeforeStep(
          s, *y, step, end, outer ? scope.OuterIntegrating : scope.InnerIntegrating);
      drifting[outer ? 1 : 0] = d.Drifts;
      if (d.Drifts)
        out.push_back({WarningKind::Drift,
                       std::string("Opozorilo: ") + name + " se je pred skokom MV spreminjal (" +
                           FormatGeneral(d.From, 4, sep) + " → " + FormatGeneral(d.To, 4, sep) +
                           "); ojačenje in časovna konstanta modela sta lahko napačna."});
    }
    // What the step test says about itself, over the window.
    for (const auto& [name, y] : signals) {
      if (y == &s.Y2Conditioned && !scope.Outer) continue;
      const auto window = [start, end](const SampleArray& a) {
        return std::span<const double>(a).subspan(static_cast<size_t>(start),
                                                  static_cast<size_t>(end - start + 1));
      };
      const bool integrating =
          y == &s.Y2Conditioned ? scope.OuterIntegrating : scope.InnerIntegrating;
      const StepTestFindings t = JudgeStepTest(window(s.MVConditioned), window(*y), integrating);
      if (t.TooSmall)
        out.push_back({WarningKind::SmallStep,
                       std::string("Opozorilo: stopnica MV je premajhna glede na šum: ") + name +
                           " se je spremenil za " +
                           FormatGeneral(std::abs(t.FirstResponse), 3, sep) +
                           ", manj od petkratnika standardnega odklona šuma pred stopnico (" +
                           FormatGeneral(t.Noise, 3, sep) + ")."});
      // A drift that goes on is said already: it is why the end still moves.
      if (!drifting[y == &s.Y2Conditioned ? 1 : 0])
        for (int step : t.Unsettled)
          out.push_back(
              {WarningKind::UnsettledStep,
               std::string("Opozorilo: odziv ") + name + " se do konca " + std::to_string(step) +
                   ". stopnice ni ustalil; stopnica je prekratka za zanesljivo ojačenje."});
      if (t.GainsDiffer)
        out.push_back(
            {WarningKind::UnequalGains,
             std::string("Opozorilo: stopnice navzgor in navzdol dajo različni ojačenji ") + name +
                 " (" + FormatFixed(t.GainUp, 2, sep) + " in " + FormatFixed(t.GainDown, 2, sep) +
                 "): nelinearen ventil ali proces."});
    }
  } else {
    out.push_back({WarningKind::NoStep, "Opozorilo: v oknu analize (vzorci " +
                                            std::to_string(start) + " do " + std::to_string(end) +
                                            ") MV nima skoka; model ne opisuje odziva na skok."});
  }

  for (const ModelWarningFigures& m : scope.Models)
    if (!m.PoorQuality.empty())
      out.push_back({WarningKind::PoorModel,
                     "Opozorilo: kvaliteta " + m.Name + " modela je \"" + m.PoorQuality + "\"."});
  for (const ModelWarningFigures& m : scope.Models)
    if (m.TimeConstant == 0)
      out.push_back({WarningKind::ZeroTimeConstant,
                     "Opozorilo: časovna konstanta " + m.Name +
                         " modela je 0; model in nastavitve regulatorja niso zanesljivi."});
  if (!scope.SparseSampling.empty())
    out.push_back({WarningKind::SparseSampling, scope.SparseSampling});

  std::vector<std::string> unstable, fragile;
  for (const ProposalWarningFigures& f : scope.Proposals) {
    if (!f.Proposed) continue;  // no such controller was proposed: nothing to warn of
    if (!f.Stable)
      unstable.push_back(f.Name);
    else if (f.Fragile)
      fragile.push_back(f.Name + " (Ms " + FormatFixed(f.Ms, 2, sep) + ")");
  }
  if (!unstable.empty())
    out.push_back({WarningKind::UnstableProposal,
                   "Opozorilo: z regulatorjem " + Names(unstable) +
                       " je zaprta zanka nestabilna; takih parametrov ne nalagajte."});
  if (!fragile.empty())
    out.push_back({WarningKind::FragileProposal,
                   "Opozorilo: regulator " + Names(fragile) +
                       " ima Ms nad 2: zanka je krhka; premaknite drsnik proti \"Robustno\"."});
  return out;
}

std::string WarningsLine(const std::vector<Warning>& warnings) {
  std::string line;
  for (const Warning& w : warnings) line += (line.empty() ? "" : "  ") + w.Text;
  return line;
}
