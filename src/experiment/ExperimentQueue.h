// The waiting list of automatic experiments: one ordered list of entries (start, label,
// folder) behind the start-time list, the label list and the queued folders, so the three
// can never disagree. Insertion by start time, the start-time check of an activation,
// removal and the due test against the clock's local time.
#pragma once

#include <compare>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tuning/TRegulator.h"

// A local date and time to the second, as the start date and time fields give it.
struct LocalDateTime {
  int Year = 2000, Month = 1, Day = 1;
  int Hour = 0, Minute = 0, Second = 0;
  auto operator<=>(const LocalDateTime&) const = default;
};

// An activation's start is accepted on a later day at any time, or today at a later
// second than the present one; a start in the past or at this very second is not.
bool StartIsAccepted(const LocalDateTime& start, const LocalDateTime& now);

// The process model an entry tunes on when it does not identify its own: the model the
// program held at the activation (its values as a controller file keeps them) and where
// it came from, kept with the entry so a later identification cannot change it.
struct HeldModel {
  ControllerSettings Values;
  std::string Source;
};

struct QueuedExperiment {
  LocalDateTime Start;
  std::string StartText;  // as the start-time list shows it: short date, blank, time
  std::string Label;      // base name of the settings file
  std::string Folder;     // folder of the settings file, without a final separator
  // Why the entry could not start or did not finish (the error's text); empty while it
  // waits.
  std::string Stall;
  // A stopped entry that does not hold the queue: it failed before it touched the plant,
  // or the engineer chose to leave it stopped. The entries after it run at their times.
  bool SetAside = false;
  // The model a tuning without identification uses (none when the entry identifies).
  std::optional<HeldModel> Model;
  // The settings file as it was saved, when its name does not end in ".vtx"; empty
  // otherwise (the file is then Folder/Label.vtx).
  std::string SavedPath;
};

// The message shown while the queue is stopped at an entry.
std::string StalledQueueText(const QueuedExperiment& entry);
// The message shown when an entry failed before touching the plant and was set aside.
std::string SetAsideText(const QueuedExperiment& entry);
// The question a new activation asks while the queue is stopped at an entry, and its
// answers in order (the last, the default, leaves the entry stopped).
std::string StalledEntryQuestion(const QueuedExperiment& entry);
enum class StalledEntryChoice { RunAgain = 0, Remove = 1, LeaveStopped = 2 };
std::vector<std::string> StalledEntryChoices();

// An error's text for the queue's messages, in the program's language: the file errors'
// "Cannot open file "…". No such file or directory" and the like become Slovenian,
// other texts stay as they are.
std::string QueueErrorText(const std::string& what);

class ExperimentQueue {
 public:
  // Inserts by start time; an entry whose start equals others' goes after them, so equal
  // starts run in the order of activation. Returns the entry's index.
  std::size_t Insert(QueuedExperiment entry);
  // Removes entry `index`; an index the list does not have throws ListIndexError.
  void Remove(std::size_t index);

  bool Empty() const { return entries_.empty(); }
  std::size_t Size() const { return entries_.size(); }
  const std::vector<QueuedExperiment>& Entries() const { return entries_; }
  // The first entry; throws ListIndexError (0) on an empty list.
  const QueuedExperiment& Head() const;

  // The head entry's start has come (false on an empty list).
  bool HeadDue(const LocalDateTime& now) const;
  // The entry that runs next, when its start has come: the first entry not stopped, and
  // none while an entry holds the queue.
  std::optional<std::size_t> DueEntry(const LocalDateTime& now) const;
  // Some entry still waits for its start.
  bool HasWaiting() const;
  // The head entry could not start, and why; cleared when the queue is set going again.
  void MarkHeadStalled(std::string reason);
  // Entry `index` failed: it holds the queue, or (setAside) it is only skipped.
  void MarkStalled(std::size_t index, std::string reason, bool setAside);
  // The entry that holds the queue no longer does; it stays stopped and is skipped.
  void SetStalledAside();
  // Entry `index` (every entry, without an index) waits again for its start.
  void ClearStall();
  void ClearStall(std::size_t index);
  // The entry the queue is stopped at (one that holds it), or nullptr.
  const QueuedExperiment* Stalled() const;
  // Its index; Size() when none holds the queue.
  std::size_t StalledIndex() const;

  // The settings file of entry `index`: folder, separator, label, ".vtx" (or the file
  // as saved under another extension).
  std::string SettingsPath(std::size_t index) const;

  // The lists' lines: the start texts and the labels (a stalled entry's label says so).
  std::vector<std::string> StartTexts() const;
  std::vector<std::string> LabelTexts() const;

 private:
  std::vector<QueuedExperiment> entries_;
};

// What the label list adds to the label of the entry the queue is stopped at.
inline constexpr const char* StalledLabelSuffix = " (ustavljen)";
