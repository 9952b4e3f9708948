// The one gate every write to a plant passes. A set of writes is checked whole before the
// first one (each item known, Good, writable by this user, each value finite and held
// exactly by the item's type), written in order, rolled back to the values read before
// when the server refuses one midway, read back, and logged line by line. Nothing is
// written while the run is simulated or once the link is lost.
//
// Calling thread: the thread that talks to the plant (the window's for an in-process plant;
// a sampler's or a controller load's own for a plant over a network).
#pragma once

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "opc/OpcClient.h"
#include "opc/PlantWriteLog.h"

// One write: the item, the value, and what the item is to the engineer ("P člen
// regulatorja", "MV"), for the messages.
struct PlantWrite {
  OpcItemPtr Item;
  double Value = 0;
  std::string Label;
  bool Integer = false;  // sent as an integer (a switch's 0 or 1)
  // For WritePlantValue: the item's value as the writer last read it, for the log (NaN:
  // read now, which over a network costs a round trip before the write).
  double Before = std::numeric_limits<double>::quiet_NaN();
};

// Who writes, where, and what the gate must know of the link.
struct PlantWriteContext {
  PlantWriteSource Source = PlantWriteSource::ControllerLoad;
  std::string Server;                  // for the log
  const PlantWriteLog* Log = nullptr;  // none: not logged
  const OpcClient* Client = nullptr;   // its link must be up (none: not asked)
  bool Simulated = false;              // the run simulates the process: nothing is written
};

// Why the value cannot be written into the item (Slovenian, lower case, no full stop),
// or "" when it can: an item the server does not know or that is not Good, one this user
// may not write, a value that is not finite or that the item's type does not hold.
std::string PlantWriteProblem(const OpcItem& item, double value, char separator);

// The first refusal of a set, as the window shows it: "Točka »Plant.MV« (MV) je samo za
// branje." (also for a simulated run or a lost link); "" when every write may go.
std::string CheckPlantWrites(const std::vector<PlantWrite>& writes,
                             const PlantWriteContext& context, char separator);

enum class PlantWriteOutcome {
  Written,     // every write taken
  NotWritten,  // refused by the check: nothing was written
  RolledBack,  // a write was refused midway; the items written before hold their old values
  Incomplete,  // a write was refused midway and the old values could not all be restored
  Unknown,     // the link was lost (or timed out) during a write: whether it reached the
               // plant is not known, the writes before it stand, the ones after were not made
};

// What became of one write of a set.
enum class PlantWriteFate { NotWritten, Written, Unknown, RolledBack };

struct PlantWriteResult {
  PlantWriteOutcome Outcome = PlantWriteOutcome::NotWritten;
  // Slovenian: why nothing was written, or which write was refused and what the items
  // hold now. Empty when every write was taken.
  std::string Text;
  // By write: the value read before (NaN where none was read) and the value read back.
  std::vector<double> Previous, ReadBack;
  // By write: what became of it (NotWritten throughout when the check refused the set).
  std::vector<PlantWriteFate> Fates;
  bool LogFailed = false;  // some line could not be added to the log
};

// "Zapisano: »P«. Ni zapisano: »D«. Ni znano: »I«." of the items of a set by their fates
// (a group left out when it has none).
std::string PlantWriteFatesText(const std::vector<PlantWrite>& writes,
                                const std::vector<PlantWriteFate>& fates);

// Checks, reads the present values, writes in order, and on a refusal writes the values
// read before back into the items already changed (in reverse order). A link lost during
// a write leaves the set as it stands (Unknown): nothing can be written to restore it.
// Every write, every restoring write and every refusal (the check's too) is logged.
// separator: the decimal separator of the texts.
PlantWriteResult WritePlantSet(const std::vector<PlantWrite>& writes,
                               const PlantWriteContext& context, char separator);

// One write of a running experiment (the MV at a step, the manual/automatic switch),
// whose items the run checked at its start: the value's type and the link are checked,
// the write is logged. Throws the client's OpcError when the write is refused (also
// by this check), after logging it.
void WritePlantValue(const PlantWrite& write, const PlantWriteContext& context);
