#include "experiment/ExperimentQueue.h"

#include <algorithm>
#include <tuple>

#include "data/TextFile.h"

bool StartIsAccepted(const LocalDateTime& start, const LocalDateTime& now) {
  const auto date = [](const LocalDateTime& t) { return std::tie(t.Year, t.Month, t.Day); };
  const auto time = [](const LocalDateTime& t) { return std::tie(t.Hour, t.Minute, t.Second); };
  if (date(now) > date(start)) return false;
  return !(time(now) >= time(start) && date(now) >= date(start));
}

std::string StalledQueueText(const QueuedExperiment& entry) {
  return "Čakalna vrsta je ustavljena pri eksperimentu \"" + entry.Label + "\" (" + entry.StartText +
         "): " + entry.Stall;
}

std::size_t ExperimentQueue::Insert(QueuedExperiment entry) {
  const auto at = std::upper_bound(
      entries_.begin(), entries_.end(), entry.Start,
      [](const LocalDateTime& start, const QueuedExperiment& e) { return start < e.Start; });
  const auto index = static_cast<std::size_t>(at - entries_.begin());
  entries_.insert(at, std::move(entry));
  return index;
}

void ExperimentQueue::Remove(std::size_t index) {
  if (index >= entries_.size()) throw ListIndexError(static_cast<int>(index));
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
}

const QueuedExperiment& ExperimentQueue::Head() const {
  if (entries_.empty()) throw ListIndexError(0);
  return entries_.front();
}

bool ExperimentQueue::HeadDue(const LocalDateTime& now) const {
  return !entries_.empty() && !(now < entries_.front().Start);
}

void ExperimentQueue::MarkHeadStalled(std::string reason) {
  if (!entries_.empty()) entries_.front().Stall = std::move(reason);
}

void ExperimentQueue::ClearStall() {
  for (QueuedExperiment& e : entries_) e.Stall.clear();
}

const QueuedExperiment* ExperimentQueue::Stalled() const {
  for (const QueuedExperiment& e : entries_)
    if (!e.Stall.empty()) return &e;
  return nullptr;
}

std::string ExperimentQueue::SettingsPath(std::size_t index) const {
  if (index >= entries_.size()) throw ListIndexError(static_cast<int>(index));
  const QueuedExperiment& e = entries_[index];
  std::string path = e.Folder;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  return path + e.Label + ".vtx";
}

std::vector<std::string> ExperimentQueue::StartTexts() const {
  std::vector<std::string> lines;
  for (const QueuedExperiment& e : entries_) lines.push_back(e.StartText);
  return lines;
}

std::vector<std::string> ExperimentQueue::LabelTexts() const {
  std::vector<std::string> lines;
  for (const QueuedExperiment& e : entries_)
    lines.push_back(e.Stall.empty() ? e.Label : e.Label + StalledLabelSuffix);
  return lines;
}
