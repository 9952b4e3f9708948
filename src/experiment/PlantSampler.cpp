#include "experiment/PlantSampler.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "data/Clock.h"
#include "opc/OpcClient.h"

void PlantSampler::Begin(std::int32_t periodMs, bool writeMV) {
  Stop();
  const std::lock_guard lock(mutex_);
  periodUs_ = std::int64_t{std::max(periodMs, 1)} * 1000;
  writeMV_ = writeMV;
  t0Us_ = clock_.TickCountUs();
  nextIndex_ = 0;
  lastPlantMV_.reset();
  sentMV_ = std::nan("");
  job_.reset();
  busy_ = false;
  lost_ = false;
  stopping_ = false;
  queue_.clear();
}

void PlantSampler::CommandMV(double mv) {
  const std::lock_guard lock(mutex_);
  mv_ = mv;
}

std::int64_t PlantSampler::ElapsedUs() const { return clock_.TickCountUs() - t0Us_; }

bool PlantSampler::LinkLost() const {
  const std::lock_guard lock(mutex_);
  return lost_;
}

std::vector<PlantSample> PlantSampler::TakeSamples() {
  const std::lock_guard lock(mutex_);
  std::vector<PlantSample> out(queue_.begin(), queue_.end());
  queue_.clear();
  return out;
}

PlantSample PlantSampler::Make(int k) const {
  PlantSample s;
  s.Index = k;
  s.DeadlineUs = k * periodUs_;
  s.MV = mv_;
  return s;
}

void PlantSampler::Queue(PlantSample s) {
  nextIndex_ = s.Index + 1;
  queue_.push_back(std::move(s));
}

bool PlantSampler::Deadline(int k) {
  const std::lock_guard lock(mutex_);
  // The periods before k whose read has not answered hold the previous values.
  while (nextIndex_ < k) {
    PlantSample s = Make(nextIndex_);
    (lost_ ? s.Simulated : s.Held) = true;
    if (s.Held) s.MV = sentMV_;
    Queue(std::move(s));
  }
  if (nextIndex_ > k || busy_) return false;  // answered late into this period, or still waiting
  if (lost_ || !link_.Live()) {
    lost_ = true;
    PlantSample s = Make(k);
    s.Simulated = true;
    Queue(std::move(s));
    return false;
  }
  busy_ = true;
  return true;
}

PlantReading PlantSampler::DoPeriodIo() {
  double mv = 0;
  bool write = false;
  {
    const std::lock_guard lock(mutex_);
    mv = mv_;
    write = writeMV_;
  }
  PlantReading r;
  r.MV = mv;
  // The plant's MV as the last read showed it: asking the link would cost a round trip.
  if (write && mv != (lastPlantMV_ ? *lastPlantMV_ : link_.PlantMV())) {
    try {
      if (!std::isfinite(mv)) throw OpcError("MV is not a finite number");  // never written
      {
        // Periods held while the write is out show the MV it carries.
        const std::lock_guard lock(mutex_);
        sentMV_ = mv;
      }
      link_.WriteMV(mv);
      r.MvWritten = true;
    } catch (const OpcError& e) {
      r.Error = e.what();
      const std::lock_guard lock(mutex_);
      sentMV_ = std::nan("");
    }
  } else if (write) {
    const std::lock_guard lock(mutex_);
    sentMV_ = mv;
  }
  if (!link_.Live()) {
    r.Lost = true;
    return r;
  }
  PlantReading read = link_.Read();
  lastPlantMV_ = read.Values[3];
  read.MV = mv;
  read.MvWritten = r.MvWritten;
  read.Error = r.Error;
  read.Lost = read.Lost || !link_.Live();
  return read;
}

void PlantSampler::Answer(int k, const PlantReading& reading) { AnswerIn(k, reading, false); }

void PlantSampler::AnswerIn(int k, const PlantReading& reading, bool inItsPeriod) {
  const std::lock_guard lock(mutex_);
  busy_ = false;
  if (stopping_) return;
  const std::int64_t readUs = clock_.TickCountUs() - t0Us_;
  // The period the answer arrived in; never one already queued.
  const int arrived =
      inItsPeriod ? k : std::max({k, nextIndex_, static_cast<int>(readUs / periodUs_)});
  while (nextIndex_ < arrived) {
    PlantSample s = Make(nextIndex_);
    s.Held = true;
    s.MV = sentMV_;
    Queue(std::move(s));
  }
  PlantSample s = Make(arrived);
  if (reading.Lost) {
    lost_ = true;
    s.Simulated = true;
    s.Reading.Error = reading.Error;
    s.Reading.MvWritten = reading.MvWritten;
    s.Reading.MV = reading.MV;
  } else {
    s.Reading = reading;
    s.ReadUs = readUs;
    s.Late = arrived > k;
  }
  Queue(std::move(s));
}

void PlantSampler::SampleNow() {
  int k = 0;
  {
    const std::lock_guard lock(mutex_);
    k = nextIndex_;
  }
  // The caller's call is the period: its answer belongs to it, whatever the clock says.
  if (Deadline(k)) AnswerIn(k, DoPeriodIo(), true);
}

void PlantSampler::Start() {
  Stop();
  {
    const std::lock_guard lock(mutex_);
    stopping_ = false;
    t0Us_ = clock_.TickCountUs();
    nextIndex_ = 0;
  }
  plant_thread_ = std::thread([this] { PlantLoop(); });
  clock_thread_ = std::thread([this] { ClockLoop(); });
}

void PlantSampler::RequestStop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
}

void PlantSampler::Stop() {
  RequestStop();
  if (clock_thread_.joinable()) clock_thread_.join();
  if (plant_thread_.joinable()) plant_thread_.join();
}

void PlantSampler::ClockLoop() {
  for (int k = 0;; ++k) {
    {
      // Absolute deadlines: a wake-up that came late takes nothing from the next period.
      std::unique_lock lock(mutex_);
      const std::int64_t deadlineUs = t0Us_ + k * periodUs_;
      const auto wait = std::chrono::microseconds(deadlineUs - clock_.TickCountUs());
      if (wake_.wait_for(lock, wait, [this] { return stopping_; })) return;
    }
    if (Deadline(k)) {
      {
        const std::lock_guard lock(mutex_);
        job_ = k;
      }
      wake_.notify_all();
    }
  }
}

void PlantSampler::PlantLoop() {
  for (;;) {
    int k = 0;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || job_.has_value(); });
      if (stopping_) return;
      k = *job_;
      job_.reset();
    }
    PlantReading reading;
    try {
      reading = DoPeriodIo();
    } catch (const std::exception&) {
      reading = {};
      reading.Lost = true;  // whatever escaped the link leaves it unusable for this run
    }
    Answer(k, reading);
  }
}
