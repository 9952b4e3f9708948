// "Robustni predlog": the fastest position of the robustness-speed slider at which the
// controller the scaled panel would load is stable and keeps the maximum sensitivity Ms
// within a limit, and, where no position does, the sampling time at which one would.
#pragma once

#include <optional>
#include <string>

#include "data/MeasurementStore.h"
#include "tuning/Recomputation.h"
#include "tuning/Robustness.h"

// The range of the limit on Ms the tab offers, and its default.
constexpr double DefaultMaxMs = 1.6;
constexpr double LowestMaxMs = 1.2;
constexpr double HighestMaxMs = 2.0;
constexpr int SliderPositions = 21;  // 0 (slowest, most robust) .. 20 (fastest)

struct RobustProposalRequest {
  int Method = 0;
  bool Cascade = false;
  double SampleTime = 1;  // the closed loop's sampling time h [s]
  double MaxMs = DefaultMaxMs;
  PanelInput Panel;  // the controller type, form, scales and sequencer gain of the panel
};

struct RobustProposal {
  // The fastest position that meets the limit, its robustness factor and figures.
  std::optional<int> Position;
  double Factor = 0;
  RobustnessFigures Figures;
  // The largest sampling time (3 significant digits, rounded down) at which some slider
  // position would meet the limit, when none does at the requested one.
  std::optional<double> SampleTimeThatWould;
  // Slovenian, for the status bar: where the slider went, or why it did not move.
  std::string Text;
};

// Searches the 21 slider positions from the fastest down (the store is not changed). A
// limit outside LowestMaxMs .. HighestMaxMs, a method that sets no gains or a process that
// cannot be judged gives no position and says why.
RobustProposal FindRobustPosition(const MeasurementStore& store, const RobustProposalRequest& request,
                                  char separator);

// The closed loop's sampling time against the recommended one for the slider position:
// empty while h is within it, else the tab's note "Čas vzorčenja … je daljši od priporočenega …".
std::string SampleTimeNote(double h, double recommended, char separator);

// The limit from the tab's text: a number within LowestMaxMs .. HighestMaxMs, else throws
// std::invalid_argument with the Slovenian reason.
double ParseMaxMs(const std::string& text, char separator);
