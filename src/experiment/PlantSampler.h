// The plant sampled on its own clock: reads at absolute deadlines t0 + k·Ts on a
// monotonic clock, the MV written when the run asks, and every period's sample handed to
// the run through a queue — held and marked when the plant has not answered by the next
// deadline, simulated once the link is lost. No catch-up bursts: a late answer is the
// sample of the period it arrived in, and the next read waits for the next deadline.
//
// Threads: Start runs two threads of the sampler's own, a clock that keeps the deadlines
// and a plant thread that does the link's blocking I/O, so that a read the server leaves
// unanswered still yields a held sample at every deadline. CommandMV, TakeSamples and
// Stop are called from the run's thread. Without Start, a caller drives the same states
// through Deadline and Answer (tests, on an injected clock) or SampleNow (a simulated or
// in-process plant, period by period on the caller's thread).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
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
};

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
};

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
  // Starts the clock and plant threads; the first deadline is t0.
  void Start();
  // Stops both threads. A request in flight is let finish (it ends at the latest with the
  // client's time-out); its answer is dropped.
  void Stop();
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

  PlantLink& link_;
  const Clock& clock_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // stop, a job for the plant thread
  std::int64_t t0Us_ = 0, periodUs_ = 1'000'000;
  bool writeMV_ = true;
  double mv_ = 0;
  int nextIndex_ = 0;       // the next sample to queue
  std::optional<int> job_;  // a read to start, for this period
  bool busy_ = false;       // the plant thread is in a request
  bool lost_ = false;
  bool stopping_ = false;
  std::optional<double> lastPlantMV_;  // the plant thread's own
  double sentMV_ = 0;                  // the MV last sent to the plant
  std::deque<PlantSample> queue_;
  std::thread clock_thread_, plant_thread_;
};
