#include "experiment/PlantSampler.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "data/Clock.h"
#include "opc/OpcClient.h"

namespace {

// The grid starts now (t0): the wall clock's offset taken, no period given yet. The grid
// starts again once the sampler has settled how it samples (a subscription takes a few
// round trips to set up), so that its first periods are the plant's.
void RestartGrid(const Clock& clock, std::int64_t& t0Us, std::int64_t& wallOffsetUs, int& nextIndex,
                 std::map<int, double>& mvAt) {
  t0Us = clock.TickCountUs();
  const auto nowWallUs =
      std::chrono::duration_cast<std::chrono::microseconds>(clock.Now().time_since_epoch()).count();
  wallOffsetUs = nowWallUs - t0Us;
  nextIndex = 0;
  mvAt.clear();
}

}  // namespace

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
  endIndex_.reset();
  queue_.clear();
  threaded_ = false;
  mode_ = SamplingMode::Undecided;
  grantedMs_ = 0;
  reconnectingSince_.reset();
  reconnected_ = rewriteMV_ = false;
  reconnects_ = 0;
  roundTripsUs_.clear();
  bins_.clear();
  for (auto& phase : phaseUs_) phase.reset();
  std::fill(std::begin(initialSeen_), std::end(initialSeen_), false);
  std::fill(std::begin(lastBin_), std::end(lastBin_), -1);
  given_ = {};
  skewUs_.reset();
  mvAt_.clear();
  mvDue_ = false;
  pendingError_.clear();
  pendingWritten_ = false;
  lastWrittenMV_.reset();
  const auto wallUs =
      std::chrono::duration_cast<std::chrono::microseconds>(clock_.Now().time_since_epoch())
          .count();
  wallOffsetUs_ = wallUs - t0Us_;
}

void PlantSampler::SetReconnectMs(std::int32_t ms) {
  const std::lock_guard lock(mutex_);
  reconnectUs_ = std::int64_t{std::max(ms, 0)} * 1000;
}

SamplingMode PlantSampler::Mode() const {
  const std::lock_guard lock(mutex_);
  return mode_;
}

double PlantSampler::GrantedMs() const {
  const std::lock_guard lock(mutex_);
  return grantedMs_;
}

std::optional<std::int64_t> PlantSampler::ReconnectingSinceUs() const {
  const std::lock_guard lock(mutex_);
  return reconnectingSince_;
}

int PlantSampler::Reconnects() const {
  const std::lock_guard lock(mutex_);
  return reconnects_;
}

double PlantSampler::RoundTripMs() const {
  const std::lock_guard lock(mutex_);
  if (roundTripsUs_.empty()) return 0;
  std::vector<std::int64_t> sorted = roundTripsUs_;
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
  return sorted[sorted.size() / 2] / 1000.0;
}

void PlantSampler::NoteRoundTrip(std::int64_t us) {
  constexpr std::size_t Kept = 200;  // the latest: a link that changed shows it soon
  if (roundTripsUs_.size() >= Kept) roundTripsUs_.erase(roundTripsUs_.begin());
  roundTripsUs_.push_back(us);
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
  if (endIndex_ && s.Index > *endIndex_) {
    queued_.notify_all();  // past the run's end: the run takes no more
    return;
  }
  if (reconnectingSince_ && s.Held) s.Reconnecting = true;
  if (reconnected_ && !s.Held && !s.Simulated) {
    s.Reconnected = true;
    reconnected_ = false;
  }
  if (!pendingError_.empty() && !s.Held && !s.Simulated) {
    s.Reading.Error = pendingError_;
    pendingError_.clear();
  }
  if (pendingWritten_ && !s.Held && !s.Simulated) {
    s.Reading.MvWritten = true;
    pendingWritten_ = false;
  }
  mvAt_.erase(mvAt_.begin(), mvAt_.lower_bound(s.Index));
  queue_.push_back(std::move(s));
  queued_.notify_all();
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
  if (endIndex_ && k > *endIndex_) return false;  // after the run's end: nothing read
  if (!lost_ && !reconnectingSince_ && !link_.Live() && threaded_ && reconnectUs_ > 0) {
    reconnectingSince_ = clock_.TickCountUs() - t0Us_;
    wake_.notify_all();
  }
  if (reconnectingSince_) {
    PlantSample s = Make(k);
    s.Held = true;
    s.MV = sentMV_;
    Queue(std::move(s));
    return false;
  }
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
  bool rewrite = false;
  {
    const std::lock_guard lock(mutex_);
    std::swap(rewrite, rewriteMV_);
  }
  PlantReading r;
  r.MV = mv;
  // The plant's MV as the last read showed it: asking the link would cost a round trip.
  if (write && (rewrite || mv != (lastPlantMV_ ? *lastPlantMV_ : link_.PlantMV()))) {
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
  const std::int64_t sentUs = clock_.TickCountUs();
  PlantReading read = link_.Read();
  {
    const std::lock_guard lock(mutex_);
    NoteRoundTrip(clock_.TickCountUs() - sentUs);
  }
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
  if (reading.Lost && threaded_ && reconnectUs_ > 0) {
    if (!reconnectingSince_) reconnectingSince_ = readUs;
    s.Held = true;
    s.MV = sentMV_;
    s.Reading.Error = reading.Error;
    wake_.notify_all();
  } else if (reading.Lost) {
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
    endIndex_.reset();
    mode_ = SamplingMode::Undecided;
    RestartGrid(clock_, t0Us_, wallOffsetUs_, nextIndex_, mvAt_);
    threaded_ = true;
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
  AwaitEnd();
  RequestStop();
  if (clock_thread_.joinable()) clock_thread_.join();
  if (plant_thread_.joinable()) plant_thread_.join();
}

int PlantSampler::EndAfter(std::optional<int> last) {
  const std::lock_guard lock(mutex_);
  if (!endIndex_) {
    if (last)
      endIndex_ = *last;
    else if (threaded_ && mode_ == SamplingMode::Undecided)
      endIndex_ = -1;  // the grid begins once the way of sampling is settled: no period yet
    else
      endIndex_ = static_cast<int>((clock_.TickCountUs() - t0Us_) / periodUs_);
  }
  queued_.notify_all();
  return *endIndex_;
}

bool PlantSampler::EndTaken() const {
  const std::lock_guard lock(mutex_);
  return stopping_ || (endIndex_ && nextIndex_ > *endIndex_);
}

void PlantSampler::AwaitEnd() {
  if (!clock_thread_.joinable()) return;
  const int last = EndAfter();
  std::unique_lock lock(mutex_);
  if (stopping_ || mode_ != SamplingMode::Subscription) return;
  // The periods up to the end have been sampled at the server; their samplings are on
  // their way (a round trip and a publishing interval), or held once they have waited
  // HoldUs (at a deadline of the clock's).
  queued_.wait_for(lock, std::chrono::microseconds(HoldUs() + 2 * periodUs_),
                   [&] { return nextIndex_ > last || stopping_; });
}

void PlantSampler::ClockLoop() {
  {
    // The grid starts once the way of sampling is settled (a subscription takes a few
    // round trips to set up), so that its first periods are the plant's.
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return stopping_ || mode_ != SamplingMode::Undecided; });
    if (stopping_) return;
  }
  for (int k = 0;; ++k) {
    SamplingMode mode = SamplingMode::Undecided;
    {
      // Absolute deadlines: a wake-up that came late takes nothing from the next period.
      std::unique_lock lock(mutex_);
      const std::int64_t deadlineUs = t0Us_ + k * periodUs_;
      const auto wait = std::chrono::microseconds(deadlineUs - clock_.TickCountUs());
      if (wake_.wait_for(lock, wait, [this] { return stopping_; })) return;
      mode = mode_;
    }
    if (mode == SamplingMode::Subscription) {
      SubscribedDeadline(k);
    } else if (Deadline(k)) {
      {
        const std::lock_guard lock(mutex_);
        job_ = k;
      }
      wake_.notify_all();
    }
  }
}

void PlantSampler::PlantLoop() {
  double granted = 0;
  try {
    if (link_.Live()) granted = link_.Subscribe(static_cast<std::int32_t>(periodUs_ / 1000));
  } catch (const std::exception&) {
    granted = 0;  // the reads find out what became of the link
  }
  if (granted > 0) {
    UseSubscription(granted);
  } else {
    const std::lock_guard lock(mutex_);
    mode_ = SamplingMode::Reads;
    RestartGrid(clock_, t0Us_, wallOffsetUs_, nextIndex_, mvAt_);
  }
  wake_.notify_all();
  for (;;) {
    bool reconnecting = false;
    SamplingMode mode = SamplingMode::Reads;
    {
      std::unique_lock lock(mutex_);
      if (stopping_) break;
      if (lost_ && mode_ == SamplingMode::Subscription) {
        // Given up: nothing more is read or written; the clock simulates the periods.
        wake_.wait(lock, [this] { return stopping_; });
        break;
      }
      reconnecting = reconnectingSince_.has_value() && !busy_;
      mode = mode_;
    }
    if (reconnecting) {
      if (TryReconnect()) continue;
      std::unique_lock lock(mutex_);
      if (!reconnectingSince_) continue;  // given up
      // Tried again about every second, and once more as the reconnect time runs out.
      const std::int64_t leftUs =
          *reconnectingSince_ + reconnectUs_ - (clock_.TickCountUs() - t0Us_);
      const std::int64_t waitUs = std::clamp<std::int64_t>(leftUs, 0, 1'000'000);
      wake_.wait_for(lock, std::chrono::microseconds(waitUs), [this] { return stopping_; });
      continue;
    }
    if (mode == SamplingMode::Subscription)
      SubscriptionStep();
    else
      ReadStep();
  }
  if (Mode() == SamplingMode::Subscription && link_.Live()) {
    try {
      link_.Unsubscribe();
    } catch (const std::exception&) {
      // Ends with the session.
    }
  }
}

void PlantSampler::ReadStep() {
  int k = 0;
  {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] {
      return stopping_ || job_.has_value() || (reconnectingSince_.has_value() && !busy_);
    });
    if (stopping_ || !job_) return;
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

bool PlantSampler::TryReconnect() {
  bool back = false;
  bool ended = false;
  try {
    back = link_.Reconnect() && link_.Live();
  } catch (const std::exception&) {
    ended = true;
  }
  double granted = 0;
  if (back && Mode() == SamplingMode::Subscription) {
    try {
      granted = link_.Subscribe(static_cast<std::int32_t>(periodUs_ / 1000));
    } catch (const std::exception&) {
      granted = 0;
    }
  }
  const std::lock_guard lock(mutex_);
  const std::int64_t nowUs = clock_.TickCountUs() - t0Us_;
  if (!back) {
    if (reconnectingSince_ && (ended || nowUs - *reconnectingSince_ >= reconnectUs_)) {
      // Not back within the reconnect time: the run gives the plant up, as for a link lost.
      reconnectingSince_.reset();
      lost_ = true;
    }
    return false;
  }
  reconnectingSince_.reset();
  reconnected_ = true;
  rewriteMV_ = true;  // the MV the run intends, written again
  ++reconnects_;
  lastWrittenMV_.reset();
  lastPlantMV_.reset();
  if (mode_ == SamplingMode::Subscription) {
    if (granted > 0) {
      // A new subscription: its samplings keep phases of their own.
      grantedMs_ = granted;
      for (auto& phase : phaseUs_) phase.reset();
      std::fill(std::begin(initialSeen_), std::end(initialSeen_), false);
      std::fill(std::begin(lastBin_), std::end(lastBin_), nextIndex_ - 1);
      bins_.erase(bins_.begin(), bins_.lower_bound(nextIndex_));
    } else {
      mode_ = SamplingMode::Reads;
      grantedMs_ = 0;
    }
  }
  mvDue_ = true;
  return true;
}

void PlantSampler::LinkLostNow() {
  const std::lock_guard lock(mutex_);
  if (lost_ || reconnectingSince_) return;
  if (threaded_ && reconnectUs_ > 0)
    reconnectingSince_ = clock_.TickCountUs() - t0Us_;
  else
    lost_ = true;
  wake_.notify_all();
}

// --- Sampling by subscription ---------------------------------------------------------

void PlantSampler::UseSubscription(double grantedMs) {
  const std::lock_guard lock(mutex_);
  mode_ = SamplingMode::Subscription;
  grantedMs_ = grantedMs;
  RestartGrid(clock_, t0Us_, wallOffsetUs_, nextIndex_, mvAt_);
  mvDue_ = true;
}

std::int64_t PlantSampler::SourceToLocalUs(std::int64_t sourceUs, std::int64_t arrivedUs) {
  const std::int64_t localUs = sourceUs - wallOffsetUs_ - t0Us_;
  if (!skewUs_) {
    // The server's clock is taken as ours unless its first sampling says otherwise: from
    // the future, or older than any round trip explains.
    const std::int64_t age = arrivedUs - localUs;
    skewUs_ = age < 0 || age > 2'000'000 ? age : 0;
  }
  return localUs + *skewUs_;
}

void PlantSampler::Sampled(const std::vector<PlantValue>& values) {
  const std::lock_guard lock(mutex_);
  if (stopping_ || mode_ != SamplingMode::Subscription) return;
  const std::int64_t arrivedUs = clock_.TickCountUs() - t0Us_;
  for (const PlantValue& v : values) {
    if (v.Signal < 0 || v.Signal > 3) continue;
    const int sig = v.Signal;
    // A subscription's first notification of an item is its value as it stood, stamped
    // whenever it last changed: no sampling of a period.
    if (!initialSeen_[sig]) {
      initialSeen_[sig] = true;
      if (nextIndex_ == 0 || !IsGoodQuality(given_.Qualities[sig])) {
        given_.Values[sig] = v.Value;
        given_.Qualities[sig] = v.Quality;
      }
      continue;
    }
    // Without a source time, the sampling stands for the moment it arrived.
    const std::int64_t localUs =
        v.SourceTimeUs > 0 ? SourceToLocalUs(v.SourceTimeUs, arrivedUs) : arrivedUs;
    // Each signal's samplings keep their own phase on the grid, taken from its first one,
    // so that the period of a sampling does not flip with the server's jitter.
    if (!phaseUs_[sig]) phaseUs_[sig] = ((localUs % periodUs_) + periodUs_) % periodUs_;
    const double position = static_cast<double>(localUs - *phaseUs_[sig]) / periodUs_;
    int k = static_cast<int>(std::floor(position + 0.5));
    // The server samples once a period, its timers jittering: a sampling that lands in
    // the period of the one before it, past that period's middle, came early and is the
    // next period's; one that skips a period by less than 0.85 of one came late and is
    // the skipped period's.
    if (k == lastBin_[sig] && position > k)
      ++k;
    else if (lastBin_[sig] >= 0 && k == lastBin_[sig] + 2 && position < lastBin_[sig] + 1.85)
      --k;
    if (k < nextIndex_) continue;  // before the run, or for a period already given
    Bin& bin = bins_[k];
    bin.Reading.Values[sig] = v.Value;
    bin.Reading.Qualities[sig] = v.Quality;
    bin.Own[sig] = true;
    if (sig == 1 || bin.Reading.SourceTimeMs == 0) bin.Reading.SourceTimeMs = v.SourceTimeUs / 1000;
    if (bin.ArrivedUs == 0 || sig == 1) bin.ArrivedUs = arrivedUs;
    lastBin_[sig] = std::max(lastBin_[sig], k);
  }
  QueueSubscribed(std::numeric_limits<int>::max(), arrivedUs);
}

void PlantSampler::SubscribedDeadline(int k) {
  const std::lock_guard lock(mutex_);
  if (!endIndex_ || k <= *endIndex_) {
    mvAt_[k] = mv_;
    mvDue_ = true;
  }
  const std::int64_t nowUs = clock_.TickCountUs() - t0Us_;
  if (lost_ || reconnectingSince_) {
    // No plant to wait for: the periods up to this one are held (or simulated) now.
    QueueSubscribed(k, std::numeric_limits<std::int64_t>::max());
    return;
  }
  QueueSubscribed(k, nowUs);
}

void PlantSampler::QueueSubscribed(int upTo, std::int64_t nowUs) {
  if (endIndex_) upTo = std::min(upTo, *endIndex_);
  for (;;) {
    const int k = nextIndex_;
    if (k > upTo) return;
    // A period is complete once each signal heard of has a sampling of a later one, or
    // when it has waited HoldUs past its deadline.
    bool complete = nowUs >= k * periodUs_ + HoldUs();
    if (!complete) {
      // Or once some signal has a sampling two periods later: the server sends what it
      // sampled in order, so a signal that lags (sampled more slowly than asked) holds no
      // period back.
      bool heard = false, all = true;
      int newest = -1;
      for (int sig = 0; sig < 4; ++sig)
        if (phaseUs_[sig]) {
          heard = true;
          all = all && lastBin_[sig] > k;
          newest = std::max(newest, lastBin_[sig]);
        }
      complete = heard && (all || newest > k + 1);
    }
    if (!complete) return;
    PlantSample s = Make(k);
    const auto commanded = mvAt_.find(k);
    if (commanded != mvAt_.end()) s.MV = commanded->second;
    const auto bin = bins_.find(k);
    const bool own =
        bin != bins_.end() && std::any_of(std::begin(bin->second.Own), std::end(bin->second.Own),
                                          [](bool b) { return b; });
    if (own) {
      // A signal without a sampling of its own in the period keeps its value of the
      // period before.
      for (int sig = 0; sig < 4; ++sig)
        if (!bin->second.Own[sig]) {
          bin->second.Reading.Values[sig] = given_.Values[sig];
          bin->second.Reading.Qualities[sig] = given_.Qualities[sig];
        }
      given_ = bin->second.Reading;
      s.Reading = bin->second.Reading;
      s.Reading.MV = s.MV;
      s.ReadUs = std::max<std::int64_t>(bin->second.ArrivedUs, 1);
    } else if (lost_) {
      s.Simulated = true;
    } else {
      s.Held = true;
      s.MV = sentMV_;
    }
    if (bin != bins_.end()) bins_.erase(bin);
    Queue(std::move(s));
  }
}

void PlantSampler::WriteMvIfDue() {
  double mv = 0;
  bool rewrite = false;
  {
    const std::lock_guard lock(mutex_);
    if (!mvDue_ || !writeMV_ || lost_ || reconnectingSince_) return;
    if (endIndex_ && nextIndex_ > *endIndex_) return;  // the run has ended
    mvDue_ = false;
    mv = mv_;
    std::swap(rewrite, rewriteMV_);
  }
  // Written when the commanded MV changes (not re-asserted against the samplings, which
  // show the plant a round trip late).
  if (!rewrite && mv == (lastWrittenMV_ ? *lastWrittenMV_ : link_.PlantMV())) {
    lastWrittenMV_ = mv;
    const std::lock_guard lock(mutex_);
    sentMV_ = mv;
    return;
  }
  std::string error;
  try {
    if (!std::isfinite(mv)) throw OpcError("MV is not a finite number");  // never written
    {
      const std::lock_guard lock(mutex_);
      sentMV_ = mv;
    }
    const std::int64_t sentUs = clock_.TickCountUs();
    link_.WriteMV(mv);
    lastWrittenMV_ = mv;
    const std::lock_guard lock(mutex_);
    NoteRoundTrip(clock_.TickCountUs() - sentUs);
    pendingWritten_ = true;
  } catch (const OpcError& e) {
    error = e.what();
  }
  if (error.empty()) return;
  lastWrittenMV_ = mv;  // a rejected value is not sent again at every period
  const std::lock_guard lock(mutex_);
  sentMV_ = std::nan("");
  pendingError_ = error;
  if (!link_.Live()) wake_.notify_all();
}

void PlantSampler::SubscriptionStep() {
  WriteMvIfDue();
  if (!link_.Live()) {
    LinkLostNow();
    return;
  }
  int waitMs = 1;
  {
    const std::lock_guard lock(mutex_);
    // Until the next deadline, when the MV may be due.
    const std::int64_t elapsed = clock_.TickCountUs() - t0Us_;
    const std::int64_t next = (elapsed / periodUs_ + 1) * periodUs_;
    waitMs =
        static_cast<int>(std::clamp<std::int64_t>((next - elapsed) / 1000, 1, periodUs_ / 1000));
  }
  std::vector<PlantValue> values;
  try {
    values = link_.Sampled(waitMs);
  } catch (const std::exception&) {
    LinkLostNow();
    return;
  }
  Sampled(values);
}
