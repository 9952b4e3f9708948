// Loading P, I and D into the plant's controller ("Naloži v regulator"): the items of the
// inner controller or, in cascade, of the outer one; a wait for their Good quality; the
// writes in the order P, I, D; and a read-back of what the controller now holds. The
// regulator tab and the automatic post-processing both load through LoadIntoController.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "opc/OpcClient.h"

class Clock;

// What to load: the item IDs of the P, I and D terms (column 0 of the OPC table rows
// ControllerItemRows) and the three values. An empty value is a term the controller
// type has no use for: the controller receives the integer 0 there.
struct ControllerLoad {
  bool Outer = false;  // the outer controller of a cascade
  std::array<std::string, 3> ItemIds;
  std::array<std::optional<double>, 3> Values;
};

// OPC table rows of the P, I and D items: 7-9 for the inner controller, 14-16 for the
// outer controller of a cascade.
std::array<int, 3> ControllerItemRows(bool outer);

enum class ControllerLoadOutcome {
  Confirmed,   // written, and the three items read back the written values
  Differs,     // written, but an item reads back another value or cannot be read
  NotWritten,  // refused before the first write: an empty row, a value that is not a
               // finite number, or an item that did not reach Good quality
};

struct ControllerLoadResult {
  ControllerLoadOutcome Outcome = ControllerLoadOutcome::NotWritten;
  // Slovenian text: the values the controller holds (Confirmed, for the status bar), the
  // items that differ (Differs, for the status bar), or why nothing was written.
  std::string Text;
};

// How long the load waits for Good quality of the items, and then for the read-back.
constexpr int ControllerQualityWaitMs = 10000;
constexpr int ControllerReadBackWaitMs = 3000;

// Empties `group`, adds the items of the terms to be written (a term without a value
// and without an item is left out), waits for their Good quality, writes P, I, D and
// reads them back. keepWaiting is called while waiting (it processes the user
// interface's events; false ends a wait early). A write the server rejects throws the
// client's OpcError; the writes before it stay done.
ControllerLoadResult LoadIntoController(OpcGroup& group, const ControllerLoad& load,
                                        const Clock& clock,
                                        const std::function<bool()>& keepWaiting, char separator);
