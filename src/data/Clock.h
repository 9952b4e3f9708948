// The clock that timing rules read, so that tests can drive time by hand.
#pragma once

#include <chrono>
#include <cstdint>

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds from an arbitrary origin, never going back (the system tick count).
  virtual std::int64_t TickCountMs() const = 0;
  // The same monotonic clock in microseconds, for deadlines finer than a millisecond.
  virtual std::int64_t TickCountUs() const { return TickCountMs() * 1000; }
  // Local wall-clock time.
  virtual std::chrono::system_clock::time_point Now() const = 0;
};

class SystemClock final : public Clock {
 public:
  std::int64_t TickCountMs() const override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  std::int64_t TickCountUs() const override {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
  }
  std::chrono::system_clock::time_point Now() const override {
    return std::chrono::system_clock::now();
  }
};

// A clock that moves only when told to; for tests and simulations.
class ManualClock final : public Clock {
 public:
  std::int64_t TickCountMs() const override { return ms_; }
  std::chrono::system_clock::time_point Now() const override {
    return start_ + std::chrono::milliseconds(ms_);
  }
  void AdvanceMs(std::int64_t ms) { ms_ += ms; }
  void SetNow(std::chrono::system_clock::time_point t) { start_ = t - std::chrono::milliseconds(ms_); }

 private:
  std::int64_t ms_ = 0;
  std::chrono::system_clock::time_point start_{};
};
