// The waiting list of automatic experiments: one ordered list of entries (start, label,
// folder) behind the start-time list, the label list and the queued folders, so the three
// can never disagree. Insertion by start time, the start-time check of an activation,
// removal and the due test against the clock's local time.
#pragma once

#include <compare>
#include <cstddef>
#include <string>
#include <vector>

// A local date and time to the second, as the start date and time fields give it.
struct LocalDateTime {
  int Year = 2000, Month = 1, Day = 1;
  int Hour = 0, Minute = 0, Second = 0;
  auto operator<=>(const LocalDateTime&) const = default;
};

// An activation's start is accepted on a later day at any time, or today at a later
// second than the present one; a start in the past or at this very second is not.
bool StartIsAccepted(const LocalDateTime& start, const LocalDateTime& now);

struct QueuedExperiment {
  LocalDateTime Start;
  std::string StartText;  // as the start-time list shows it: short date, blank, time
  std::string Label;      // base name of the settings file
  std::string Folder;     // folder of the settings file, without a final separator
  // Why the entry could not start (the error's text); empty while it waits.
  std::string Stall;
};

// The message shown while the queue is stopped at an entry.
std::string StalledQueueText(const QueuedExperiment& entry);

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
  // The head entry could not start, and why; cleared when the queue is set going again.
  void MarkHeadStalled(std::string reason);
  void ClearStall();
  // The entry the queue is stopped at, or nullptr.
  const QueuedExperiment* Stalled() const;

  // The settings file of entry `index`: folder, separator, label, ".vtx".
  std::string SettingsPath(std::size_t index) const;

  // The lists' lines: the start texts and the labels (a stalled entry's label says so).
  std::vector<std::string> StartTexts() const;
  std::vector<std::string> LabelTexts() const;

 private:
  std::vector<QueuedExperiment> entries_;
};

// What the label list adds to the label of the entry the queue is stopped at.
inline constexpr const char* StalledLabelSuffix = " (ustavljen)";
