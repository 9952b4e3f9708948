// The one way the window has work done off its thread: a job is started with what it
// needs, the window shows that it is under way, and the job's outcome arrives as a queued
// call on the window's thread. The window's thread never waits for a job and never spins
// an event loop of its own.
#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

class JobRunner : public QObject {
  Q_OBJECT
 public:
  // What a started job is known by; a default one names no job.
  struct Job;
  using JobHandle = std::shared_ptr<Job>;
  // The outcome: null when the work ended normally, else what it threw.
  using Outcome = std::function<void(std::exception_ptr error)>;

  explicit JobRunner(QObject* parent = nullptr);
  // Jobs still under way deliver nothing once the runner has gone.
  ~JobRunner() override;

  // Runs work on a thread of its own. When it has ended, done is called on the window's
  // thread, unless receiver has gone meanwhile (then nothing is delivered) or the job was
  // cancelled (then abandoned is called instead, to undo or tell what the work did).
  // A receiver that is null never goes.
  JobHandle Start(QObject* receiver, std::function<void()> work, Outcome done,
                  std::function<void()> abandoned = {});
  // Gives up on a job: its done is not called; its work runs on to its end (each plant
  // request is bounded by the link's time-out), then abandoned is.
  static void Cancel(const JobHandle& job);
  static bool Cancelled(const JobHandle& job);
  // Jobs whose work has not ended yet, cancelled ones included.
  int Running() const { return running_; }
  // An experiment run is under way (set by the page that runs it): with a job, what keeps
  // every box of the program from opening a loop of its own.
  void SetRunUnderWay(bool underWay) { runUnderWay_ = underWay; }
  bool PlantBusy() const { return running_ > 0 || runUnderWay_; }
  // What the window says when the engineer starts plant work while other plant work is
  // still under way: one job at a time reaches the plant from the window.
  static const char* BusyText();

  // Tests condition on the window's thread every intervalMs (first at once, synchronously)
  // until it holds, or timeoutMs have passed on the program's clock (clockMs, a monotonic
  // reading in ms) or realBoundMs in real time (a clock that does not move must not hold
  // the wait); then done(held) is called on the window's thread. Nothing is called once
  // receiver has gone. For a plant in the program's own process, whose items answer on
  // the window's thread.
  static void PollUntil(QObject* receiver, std::function<bool()> condition,
                        std::function<std::int64_t()> clockMs, int timeoutMs, int realBoundMs,
                        std::function<void(bool held)> done, int intervalMs = 2);

 signals:
  // The last job under way has ended (its outcome delivered or dropped).
  void Idle();

 private:
  struct Mailbox;
  void Deliver(const JobHandle& job, std::exception_ptr error);

  std::shared_ptr<Mailbox> mailbox_;
  int running_ = 0;
  bool runUnderWay_ = false;
};

// The program's job runner, made on first use and owned by the application object.
JobRunner& Jobs();
