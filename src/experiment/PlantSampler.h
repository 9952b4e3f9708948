// The plant sampled on its own clock, on a grid t0 + k·Ts of a monotonic clock, every
// period's sample handed to the run through a queue. Where the server offers it, the
// server samples the items every period (a subscription) and each period takes the value
// sampled for it, by source time, whatever the round trip; else reads go out at the
// deadlines. A period without its own sample is held and marked. A lost link is made again
// for up to the reconnect time (its periods held and marked meanwhile, the MV written again
// once it is back); only past that does the run turn to the simulation. No catch-up
// bursts: a late read's answer is the sample of the period it arrived in.
//
// Threads: Start runs two threads of the sampler's own, a clock that keeps the deadlines
// and a plant thread that does the link's blocking I/O (the subscription, the reads, the
// MV writes, the reconnect), so that a server that does not answer still yields a held
// sample at every deadline. CommandMV, TakeSamples and
// Stop are called from the run's thread. Without Start, a caller drives the same states
// through Deadline and Answer (tests, on an injected clock) or SampleNow (a simulated or
// in-process plant, period by period on the caller's thread).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class Clock;

// What the link read for one period: U, Y1, Y2 and the MV item (index 0..3).
struct PlantReading {
  double Values[4] = {0, 0, 0, 0};
  int Qualities[4] = {0, 0, 0, 0};
  std::int64_t SourceTimeMs = 0;  // the server's source time of Y1, ms since 1970; 0 unknown
  double MV = 0;                  // the MV the plant had for this read (written or kept)
  bool MvWritten = false;         // the MV of the period went to the plant
  std::string Error;              // the MV write the server rejected
  bool Lost = false;              // the link was lost: nothing read, nothing more written
};

// A value the server sampled: the signal (0 U, 1 Y1, 2 Y2, 3 MV), its source time.
struct PlantValue {
  int Signal = 0;
  double Value = 0;
  int Quality = 0;
  std::int64_t SourceTimeUs = 0;  // µs since 1970 on the server's clock; 0 unknown
};

// One period of the grid.
struct PlantSample {
  int Index = 0;                // k: the period's deadline is t0 + k·Ts
  std::int64_t DeadlineUs = 0;  // k·Ts
  std::int64_t ReadUs = 0;      // when the answer arrived, from t0; 0 for held or simulated
  double MV = 0;                // the MV the run commanded for this period
  PlantReading Reading;         // the plant's answer (not for held or simulated samples)
  // No answer by the next deadline: the run holds the previous values for this period.
  bool Held = false;
  // An answer that came after its own period's end, taken for the period it arrived in.
  bool Late = false;
  // No plant for this period (never connected, or the link lost): the run simulates it.
  bool Simulated = false;
  // Held while the lost link is being made again.
  bool Reconnecting = false;
  // The link came back before this period: the run's MV has been written again.
  bool Reconnected = false;
};

// How the sampler takes its samples.
enum class SamplingMode { Undecided, Reads, Subscription };

// What the sampler needs of the plant; called on the sampler's plant thread only (or on
// the caller's thread without Start).
class PlantLink {
 public:
  virtual ~PlantLink() = default;
  // The plant is there to read and write (connected, MV item reached).
  virtual bool Live() = 0;
  // The MV item's present value, before the run's first read.
  virtual double PlantMV() = 0;
  // Writes MV (throws OpcError when the plant rejects it). The one place the run's MV
  // goes to the plant.
  virtual void WriteMV(double mv) = 0;
  // Reads every item of the experiment in one request; blocks until answered or lost.
  virtual PlantReading Read() = 0;
  // The server samples the items every periodMs and sends each sampling with its source
  // time. Returns the interval the server granted, ms; 0 when it offers none.
  virtual double Subscribe(std::int32_t /*periodMs*/) { return 0; }
  // The samplings that arrived, waiting up to waitMs for the first; throws on a lost link.
  virtual std::vector<PlantValue> Sampled(int /*waitMs*/) { return {}; }
  virtual void Unsubscribe() {}
  // Makes a lost link again (a new channel and session, the old session closed); true when
  // the plant is back, false when not yet. Throws when there is nothing to make again (the
  // link was ended, not lost): the run gives the plant up at once.
  virtual bool Reconnect() { return false; }
};

// A lost link is made again for this long by default, ms.
inline constexpr std::int32_t DefaultReconnectMs = 30'000;

class PlantSampler {
 public:
  PlantSampler(PlantLink& link, const Clock& clock) : link_(link), clock_(clock) {}
  ~PlantSampler() { Stop(); }
  PlantSampler(const PlantSampler&) = delete;
  PlantSampler& operator=(const PlantSampler&) = delete;

  // A new run: period Ts, t0 the clock's present reading, index 0, nothing queued.
  // writeMV: the run writes its MV to the plant (not when recording only).
  void Begin(std::int32_t periodMs, bool writeMV);
  // The MV for the periods from the next deadline on.
  void CommandMV(double mv);
  // How long a lost link is made again before the run gives the plant up (0: never);
  // only while the sampler's threads run.
  void SetReconnectMs(std::int32_t ms);
  // Starts the clock and plant threads; the first deadline is t0.
  void Start();
  // Stops both threads. A subscribed run first takes the samplings of the periods up to
  // its end (EndAfter; by default the periods up to now), waiting at most HoldUs and two
  // periods. A request in flight is let finish (it ends at the latest with the client's
  // time-out); its answer is dropped.
  void Stop();
  // The run ends after period `last` (by default the last one whose deadline has passed;
  // -1 when the grid has not begun): the periods up to it are still queued as they come
  // (a subscribed period's samplings awaited up to HoldUs, a read's answer up to the next
  // deadline, else held), no later period is queued and no MV is written for a later
  // deadline. The first call sets the end; returns it.
  int EndAfter(std::optional<int> last = std::nullopt);
  // Every period up to the end has been queued (also when the threads have stopped).
  bool EndTaken() const;
  // Tells both threads to stop and returns at once; Stop still joins them afterwards.
  void RequestStop();
  bool Started() const { return clock_thread_.joinable(); }
  // The samples that have arrived, in index order.
  std::vector<PlantSample> TakeSamples();

  // --- The states, without threads ---------------------------------------------------
  // Deadline k has come (now ≥ t0 + k·Ts): periods before k still waiting for an answer
  // are queued held; without a link, period k is queued simulated. Returns true when a
  // read for period k should start (the plant thread idle and the link live).
  bool Deadline(int k);
  // The plant I/O of period k: the MV written when it changed, then the read.
  PlantReading DoPeriodIo();
  // The answer to the read started at deadline k came now.
  void Answer(int k, const PlantReading& reading);
  // One period on the caller's thread, at once: I/O, answer, queued.
  void SampleNow();

  // --- Sampling by subscription, without threads -----------------------------------
  // From now on the server samples, at grantedMs.
  void UseSubscription(double grantedMs);
  // Samplings that arrived now: each goes to the period of its source time.
  void Sampled(const std::vector<PlantValue>& values);
  // Deadline k of a subscribed run: its MV noted (a write due), the periods whose samplings
  // have all come (or that waited past HoldUs) queued.
  void SubscribedDeadline(int k);
  // The link was found lost now: it is made again for the reconnect time, or (none, or not
  // while threads run) given up.
  void LinkLostNow();
  // The plant thread's attempt to make the link again; true when it is back.
  bool TryReconnect();

  SamplingMode Mode() const;
  // The sampling interval the server granted, ms (0 while reading).
  double GrantedMs() const;
  // The link lost is being made again: since when (µs from t0), none when not.
  std::optional<std::int64_t> ReconnectingSinceUs() const;
  // How long a period waits for its samplings before it is held, µs.
  std::int64_t HoldUs() const { return periodUs_ + 1'000'000; }
  // The round trip of the reads and writes, as measured (median), ms; 0 before any.
  double RoundTripMs() const;
  int Reconnects() const;

  std::int64_t PeriodUs() const { return periodUs_; }
  // The clock's present reading from t0, µs.
  std::int64_t ElapsedUs() const;
  bool LinkLost() const;

 private:
  void AnswerIn(int k, const PlantReading& reading, bool inItsPeriod);
  void Queue(PlantSample s);      // under mutex_
  PlantSample Make(int k) const;  // under mutex_
  void ClockLoop();
  void PlantLoop();
  // Stop of a subscribed run waits for the samplings of the periods up to its end.
  void AwaitEnd();
  void ReadStep();
  void SubscriptionStep();
  void WriteMvIfDue();
  void QueueSubscribed(int upTo, std::int64_t nowUs);                           // under mutex_
  void NoteRoundTrip(std::int64_t us);                                          // under mutex_
  std::int64_t SourceToLocalUs(std::int64_t sourceUs, std::int64_t arrivedUs);  // under mutex_

  PlantLink& link_;
  const Clock& clock_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // stop, a job for the plant thread
  std::condition_variable queued_;  // a sample queued
  std::int64_t t0Us_ = 0, periodUs_ = 1'000'000;
  bool writeMV_ = true;
  double mv_ = 0;
  int nextIndex_ = 0;       // the next sample to queue
  std::optional<int> job_;  // a read to start, for this period
  bool busy_ = false;       // the plant thread is in a request
  bool lost_ = false;
  bool stopping_ = false;
  std::optional<int> endIndex_;        // the run's last period, once it has ended
  std::optional<double> lastPlantMV_;  // the plant thread's own
  double sentMV_ = 0;                  // the MV last sent to the plant
  std::deque<PlantSample> queue_;
  bool threaded_ = false;
  SamplingMode mode_ = SamplingMode::Undecided;
  double grantedMs_ = 0;
  std::int64_t reconnectUs_ = std::int64_t{DefaultReconnectMs} * 1000;
  std::optional<std::int64_t> reconnectingSince_;  // µs from t0
  bool reconnected_ = false;                       // the next sample says so
  bool rewriteMV_ = false;                         // after a reconnect: written again
  int reconnects_ = 0;
  std::vector<std::int64_t> roundTripsUs_;
  // Subscription: each period's samplings, each signal's phase on the grid, the period
  // of its latest sampling, the values last given, the wall clock's offset.
  struct Bin {
    PlantReading Reading;
    bool Own[4] = {false, false, false, false};
    std::int64_t ArrivedUs = 0;
  };
  std::map<int, Bin> bins_;
  std::optional<std::int64_t> phaseUs_[4];
  bool initialSeen_[4] = {false, false, false, false};
  int lastBin_[4] = {-1, -1, -1, -1};
  PlantReading given_;  // the values of the last period given (each signal's own or held)
  std::int64_t wallOffsetUs_ = 0;       // wall µs − monotonic µs
  std::optional<std::int64_t> skewUs_;  // the server's clock against ours
  std::map<int, double> mvAt_;          // the MV commanded at each deadline
  bool mvDue_ = false;
  std::string pendingError_;
  bool pendingWritten_ = false;
  std::optional<double> lastWrittenMV_;  // the plant thread's own
  std::thread clock_thread_, plant_thread_;
};
