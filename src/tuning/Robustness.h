// Robustness figures of the tuned loops exactly as the closed-loop simulation runs them:
// maximum sensitivity, gain and phase margin, and closed-loop stability.
#pragma once

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "data/MeasurementStore.h"
#include "data/Warnings.h"
#include "tuning/Recomputation.h"
#include "tuning/TRegulator.h"

// The sampled process the simulation closes its loop around: a first-order-plus-dead-time
// process, or in cascade the outer process around the closed inner P loop.
struct SampledProcess {
  double SampleTime = 1;
  double Gain = 0, TimeConstant = 0, DeadTime = 0;  // the (outer) process
  // An integrating (outer) process: Gain is its slope k', TimeConstant its lag, and the
  // simulation integrates the lag's output, z = z + h*k'*x.
  bool Integrating = false;
  bool Cascade = false;
  double InnerGain = 0, InnerTimeConstant = 0, InnerDeadTime = 0, InnerLoopGain = 0;
};

struct RobustnessFigures {
  static constexpr double None = std::numeric_limits<double>::quiet_NaN();
  static constexpr double Infinite = std::numeric_limits<double>::infinity();
  bool Stable = false;  // the other figures exist only for a stable loop
  bool Proposed = true;  // false: the rule proposed no such controller (all gains 0)
  // max |1 / (1 + L(e^{jwh}))| over 0 < w <= pi/h, and where it is reached [rad/s].
  double Ms = None, PeakFrequency = None;
  // 1/|L| at the first phase crossover (L real and negative); Infinite when there is none.
  double GainMargin = None, GainMarginDb = None, PhaseCrossover = None;
  // 180° + arg L at the gain crossover |L| = 1 [degrees], the smallest over the crossovers
  // (there is one in an ordinary loop); None when |L| never crosses 1.
  double PhaseMargin = None, GainCrossover = None;
};

// The figures of one controller on one process. Stability is decided from the closed
// loop's characteristic polynomial: its roots outside the unit circle are counted by the
// argument principle on the circle, which stays exact for dead times of thousands of
// samples. Crossovers and the peak of |S| are refined to 1e-9 relative in frequency.
// Throws std::invalid_argument when the process cannot be judged (RobustnessRefusal) or
// a gain of the controller is not a finite number.
RobustnessFigures LoopRobustness(const SampledProcess& process, const LoopController& controller);

// Why a process cannot be judged (Slovenian, for the status bar), or empty: a sampling
// time that is not positive, a zero or infinite model value, a negative dead time or one
// of more than MaxDelaySamples samples.
std::string RobustnessRefusal(const SampledProcess& process);
constexpr int MaxDelaySamples = 100000;

// The process of the simulation for the store's models and sampling time h.
SampledProcess SampledProcessOfStore(const MeasurementStore& store, double h, bool cascade);

// The figures of the four proposals and, when given, of the scaled controller of the
// panel (ProposedLoopControllers, ControllerPanel::Controller), all on one process (one frequency grid, shared). Empty figures and a reason
// when the process cannot be judged.
struct RobustnessSet {
  std::string Reason;  // empty when the figures below were computed
  double SampleTime = 0;  // s: the discrete controllers' sampling time the figures are for
  RobustnessFigures I, P, PI, PID;
  std::optional<RobustnessFigures> Scaled;
};
RobustnessSet ComputeRobustness(const SampledProcess& process, const ProposedControllers& proposals,
                                const std::optional<LoopController>& scaled);

// The texts the tab, the report and the command line show for a set of figures:
// Ms with 2 decimals, the gain margin with 2 decimals and in dB with 1, "∞" without a
// phase crossover, the phase margin in whole degrees with one decimal, "–" without a
// gain crossover; "nestabilno" for all three of an unstable loop. Warning: Ms above 2
// or unstable, with a tooltip that says what it means.
struct RobustnessTexts {
  std::string Ms, GainMargin, PhaseMargin;
  std::string Line;  // "Ms 1,45 Ar 3,21 φr 52°" or "nestabilno"
  std::string ToolTip;
  bool Warning = false;
};
RobustnessTexts FormatRobustness(const RobustnessFigures& figures, char separator);
constexpr double FragileMs = 2;
extern const char* const UnstableText;

// The proposals (and the scaled controller) as the warnings judge them; none where the set
// could not be judged (the tab says why).
std::vector<ProposalWarningFigures> WarningFiguresOf(const RobustnessSet& set);

// The report's table "Robustnost regulatorjev": the header ("Tip regulatorja", "Ms",
// "Amplitudni razloček", "Fazni razloček") and one row per proposal in the order of the
// controller table (I, P, PI, PID); "–" in every cell of a set that could not be judged.
using RobustnessTableRow = std::array<std::string, 4>;
std::vector<RobustnessTableRow> RobustnessTableRows(const RobustnessSet& set, char separator);
extern const char* const RobustnessTableTitle;  // "Robustnost regulatorjev"
