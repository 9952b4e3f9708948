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
#include "opc/PlantWriteGate.h"

class Clock;

// What to load: the item IDs of the P, I and D terms (column 0 of the OPC table rows
// ControllerItemRows) and the three values. An empty value is a term the controller
// type has no use for: the controller receives the integer 0 there.
struct ControllerTerms {
  bool Outer = false;  // the outer controller of a cascade
  std::array<std::string, 3> ItemIds;
  std::array<std::optional<double>, 3> Values;
  // What the items must hold before anything is written (an undo: the values the load
  // wrote); a term without one is not checked.
  std::array<std::optional<double>, 3> Expected;
};
struct ControllerLoad : ControllerTerms {
  // In cascade: the inner controller, set in the same transaction to the P controller the
  // outer one was tuned around. Its terms are written first.
  std::optional<ControllerTerms> Inner;
};

// The inner controller of a cascade as the P controller of gain `gain` in controller
// form `form` (0 parallel Kp, Ki, Kd; 1 Kp, Ti, Td; 2 Kp, 1/Ti, Td; 3 series Kp, Ti, Td):
// the integral and derivative terms switched off in that form's own way (Ki = 0, 1/Ti = 0,
// Td = 0, Kd = 0). None when "off" is no number the form can take (Ti = ∞); `byHand`
// then says what the engineer sets on the controller himself.
std::optional<ControllerTerms> InnerPController(int form, double gain,
                                                const std::array<std::string, 3>& itemIds,
                                                char separator, std::string& byHand);

// OPC table rows of the P, I and D items: 7-9 for the inner controller, 14-16 for the
// outer controller of a cascade.
std::array<int, 3> ControllerItemRows(bool outer);

enum class ControllerLoadOutcome {
  Confirmed,   // written, and the three items read back the written values
  Differs,     // written, but an item reads back another value or cannot be read
  NotWritten,  // refused before the first write: an empty row, a value that is not a
               // finite number, an item that did not reach Good quality, is read-only or
               // whose type does not hold the value
  RolledBack,  // a write was refused midway: the items already written were given their
               // old values back (Text says whether all of them took them)
  Changed,     // nothing written: an item no longer holds its Expected value (Now says
               // what the items hold)
  Unknown,     // the link was lost during a write: Text says which items were written,
               // which not and which are unknown; read them again once the link is back
};

struct ControllerLoadResult {
  ControllerLoadOutcome Outcome = ControllerLoadOutcome::NotWritten;
  // Slovenian text: the values the controller holds (Confirmed, for the status bar), the
  // items that differ (Differs, for the status bar), or why nothing was written.
  std::string Text;
  // The controller as it was before the load, as a load that restores it ("Povrni
  // prejšnje"); none when nothing was written.
  std::optional<ControllerLoad> Before;
  // Changed: what the items hold now, as a load of the same shape.
  std::optional<ControllerLoad> Now;
};

// How long the load waits for Good quality of the items, and then for the read-back.
constexpr int ControllerQualityWaitMs = 10000;
constexpr int ControllerReadBackWaitMs = 3000;

// Empties `group`, adds the items of the terms to be written (a term without a value
// and without an item is left out), waits for their Good quality, writes P, I, D and
// reads them back. An item the server does not know is said at once, not after the wait.
// keepWaiting is called while waiting (it processes the user
// interface's events; false ends a wait early). Every write passes the plant write gate:
// all items and values are checked before the first write, and a write the server
// refuses midway gives the items already written their old values back (RolledBack).
// context: who asks (a load, an undo), the server, the log and the link; a link that is
// down (never connected, or lost) refuses the load at once, also during the wait.
// keepReadingBack: called instead of keepWaiting while the set written is read back
// (none: keepWaiting). A load given up during its writes (keepWaiting false from then on)
// still reads back for the whole wait, so that values the server shows a little later
// are not reported as differing; only the program's end should cut that wait short.
// Calling thread: the window's for an in-process plant; a thread of its own for a plant
// over a network (keepWaiting then only sleeps and says whether to go on).
ControllerLoadResult LoadIntoController(OpcGroup& group, const ControllerLoad& load,
                                        const Clock& clock,
                                        const std::function<bool()>& keepWaiting, char separator,
                                        const PlantWriteContext& context = {},
                                        const std::function<bool()>& keepReadingBack = {});
