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
  return "Čakalna vrsta je ustavljena pri eksperimentu \"" + entry.Label + "\" (" +
         entry.StartText + "): " + entry.Stall;
}

std::string SetAsideText(const QueuedExperiment& entry) {
  return "Eksperiment \"" + entry.Label + "\" (" + entry.StartText +
         ") ni bil izveden in je izpuščen, čakalna vrsta teče naprej: " + entry.Stall;
}

std::string StalledEntryQuestion(const QueuedExperiment& entry) {
  return "Čakalna vrsta je ustavljena pri eksperimentu \"" + entry.Label + "\" (" +
         entry.StartText + "): " + entry.Stall +
         "\n\nKaj naj se zgodi z ustavljenim eksperimentom? Če ga ponovite zdaj, se takoj "
         "znova izvede na obratu, novi eksperiment pa počaka za njim.";
}

std::vector<std::string> StalledEntryChoices() {
  return {"Ponovi ga zdaj", "Odstrani ga", "Pusti ga ustavljenega"};
}

namespace {

// The system's texts of the usual causes, as the file errors carry them.
std::string CauseText(const std::string& cause) {
  static const std::pair<const char*, const char*> known[] = {
      {"No such file or directory", "datoteka ali mapa ne obstaja"},
      {"Permission denied", "dostop ni dovoljen"},
      {"No space left on device", "na disku ni prostora"},
      {"Is a directory", "to je mapa"},
      {"Read-only file system", "datotečni sistem je samo za branje"},
      {"Not a directory", "pot ne vodi v mapo"},
      {"File name too long", "ime datoteke je predolgo"},
      {"Disk quota exceeded", "kvota diska je presežena"},
  };
  for (const auto& [english, slovenian] : known)
    if (cause.rfind(english, 0) == 0) return slovenian;
  return cause;
}

}  // namespace

std::string QueueErrorText(const std::string& what) {
  // "... Cannot <verb> file "<path>". <cause>" (after a step's name, or alone)
  static const std::pair<const char*, const char*> verbs[] = {
      {"Cannot open file \"", "odpreti"},
      {"Cannot read file \"", "prebrati"},
      {"Cannot create file \"", "ustvariti"},
      {"Cannot write file \"", "zapisati"}};
  for (const auto& [prefix, verb] : verbs) {
    const std::string p = prefix;
    const std::size_t at = what.find(p);
    if (at == std::string::npos) continue;
    const std::size_t end = what.find("\". ", at + p.size());
    if (end == std::string::npos) break;
    const std::string path = what.substr(at + p.size(), end - at - p.size());
    const std::string cause = what.substr(end + 3);
    return what.substr(0, at) + "Datoteke \"" + path + "\" ni mogoče " + verb + ": " +
           CauseText(cause) + ".";
  }
  return what;
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

std::optional<std::size_t> ExperimentQueue::DueEntry(const LocalDateTime& now) const {
  if (Stalled() != nullptr) return std::nullopt;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (!entries_[i].Stall.empty()) continue;
    if (now < entries_[i].Start) return std::nullopt;
    return i;
  }
  return std::nullopt;
}

bool ExperimentQueue::HasWaiting() const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [](const QueuedExperiment& e) { return e.Stall.empty(); });
}

void ExperimentQueue::MarkHeadStalled(std::string reason) {
  if (!entries_.empty()) MarkStalled(0, std::move(reason), false);
}

void ExperimentQueue::MarkStalled(std::size_t index, std::string reason, bool setAside) {
  if (index >= entries_.size()) throw ListIndexError(static_cast<int>(index));
  entries_[index].Stall = std::move(reason);
  entries_[index].SetAside = setAside;
}

void ExperimentQueue::SetStalledAside() {
  for (QueuedExperiment& e : entries_)
    if (!e.Stall.empty()) e.SetAside = true;
}

void ExperimentQueue::ClearStall() {
  for (QueuedExperiment& e : entries_) {
    e.Stall.clear();
    e.SetAside = false;
  }
}

void ExperimentQueue::ClearStall(std::size_t index) {
  if (index >= entries_.size()) throw ListIndexError(static_cast<int>(index));
  entries_[index].Stall.clear();
  entries_[index].SetAside = false;
}

const QueuedExperiment* ExperimentQueue::Stalled() const {
  const std::size_t i = StalledIndex();
  return i < entries_.size() ? &entries_[i] : nullptr;
}

std::size_t ExperimentQueue::StalledIndex() const {
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (!entries_[i].Stall.empty() && !entries_[i].SetAside) return i;
  return entries_.size();
}

std::string ExperimentQueue::SettingsPath(std::size_t index) const {
  if (index >= entries_.size()) throw ListIndexError(static_cast<int>(index));
  const QueuedExperiment& e = entries_[index];
  if (!e.SavedPath.empty()) return e.SavedPath;
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
