// An automatic experiment without a window (the command line's "experiment"): the
// preparation, the run, the plant put back after it and the post-processing chain, in one
// synchronous call on the caller's thread. The same state machine (ExperimentRun), sampler,
// write gate, safety envelope and chain as the window's automatic run; what happens is
// told event by event.
#pragma once

#include <atomic>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "experiment/ExperimentRun.h"
#include "experiment/PostProcessingChain.h"
#include "experiment/SettingsFile.h"

class Clock;
class PlantWriteLog;

struct UnattendedJob {
  std::string Folder, Label;  // of the settings file F/L.vtx: the files go beside it
  ExperimentSettings Settings;
  char Separator = '.';  // of the file's numbers
  // Overrides the file's envelope: each limit given replaces the file's.
  SafetyEnvelope Envelope;
  // The run is made on the built-in simulated process by choice: nothing is written, and
  // the record is processed as the simulation's.
  bool Simulate = false;
  // Sampling on the sampler's own threads and clock (a plant over a network); else period
  // by period on the caller's thread.
  bool SampleOnOwnThreads = false;
  std::string ServerName;              // for the write log
  const PlantWriteLog* Log = nullptr;  // every write of the run logged there
  // The present moment as the files write it: the short date and the long time.
  std::function<std::pair<std::string, std::string>()> Now;
  std::string TitleLine;
  // When the run was due, on the clock's tick count (ms); the first sample's lateness
  // against it goes into the warnings file. None: not scheduled.
  std::optional<std::int64_t> DueTickMs;
};

struct UnattendedEvent {
  // "phase" (Text: "priprava", "poizkus", "povrnitev", "obdelava"), "step" (Number, Value:
  // MV), "trip" (Text), "link lost", "late" (Number: the sample), "file" (Text: its path),
  // "forecast" (Text, Number: the step, Value: s until the crossing), "early end" (Text,
  // Number: the step, Value: s it lasted), "period too short" (Text: PeriodTooShortText,
  // before the run).
  std::string Kind;
  std::string Text;
  double Time = 0;  // s into the record
  int Number = 0;
  double Value = std::nan("");
};

enum class UnattendedEnd {
  Processed,    // the chain ran to its end
  Stopped,      // the envelope or the engineer stopped it (also before the start)
  PlantFailed,  // the plant could not be reached, refused the run, or the link was lost
  ChainFailed,  // a step of the post-processing failed
};

struct UnattendedOutcome {
  UnattendedEnd End = UnattendedEnd::Processed;
  std::string Reason;              // why it stopped; empty when processed
  std::vector<std::string> Files;  // the files written, in order
  RunFindings Findings;
  int Samples = 0;
  std::string StartTime;  // the long time of the first sample; empty when no run began
  double Waited = 0;      // s from the due time to the first sample
};

// "Ročno voden poizkus" in the file: a manual experiment needs the engineer's hand.
inline constexpr const char* ManualExperimentRefusal =
    "Datoteka nastavitev opisuje ročno voden poizkus, ki potrebuje inženirja ob zaslonu; "
    "brez okna se izvaja le samodejni poizkus.";

// The separator of the file's numbers: a comma when one of its numbers has one, else a
// point.
char SettingsSeparator(const ExperimentSettings& settings);

// Runs the experiment. stop: the engineer's end (Ctrl-C), read between samples. Throws
// ConversionError (or std::invalid_argument) for a file whose numbers cannot be read,
// before anything is written.
UnattendedOutcome RunUnattendedExperiment(const UnattendedJob& job, MeasurementStore& store,
                                          OpcClient& opc, const Clock& clock,
                                          ReportImagePort& images, ReportDocumentPort& report,
                                          const std::atomic<bool>& stop,
                                          const std::function<void(const UnattendedEvent&)>& tell);
