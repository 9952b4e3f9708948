#include "forms/JobRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <mutex>
#include <thread>

struct JobRunner::Job {
  std::function<void()> Work;
  Outcome Done;
  std::function<void()> Abandoned;
  QPointer<QObject> Receiver;
  bool HasReceiver = false;
  std::atomic<bool> Cancelled = false;
};

// What a job's thread posts its end through: the runner while it lives, else nothing.
struct JobRunner::Mailbox {
  std::mutex Lock;
  JobRunner* Runner = nullptr;
};

JobRunner::JobRunner(QObject* parent) : QObject(parent), mailbox_(std::make_shared<Mailbox>()) {
  mailbox_->Runner = this;
}

JobRunner::~JobRunner() {
  const std::lock_guard lock(mailbox_->Lock);
  mailbox_->Runner = nullptr;
}

JobRunner::JobHandle JobRunner::Start(QObject* receiver, std::function<void()> work, Outcome done,
                                      std::function<void()> abandoned) {
  auto job = std::make_shared<Job>();
  job->Work = std::move(work);
  job->Done = std::move(done);
  job->Abandoned = std::move(abandoned);
  job->Receiver = receiver;
  job->HasReceiver = receiver != nullptr;
  ++running_;
  // The thread holds the job and the mailbox, never the runner itself: it may outlive both
  // the window that started it and the runner.
  std::thread([job, mailbox = mailbox_] {
    std::exception_ptr error;
    try {
      job->Work();
    } catch (...) {
      error = std::current_exception();
    }
    const std::lock_guard lock(mailbox->Lock);
    if (JobRunner* runner = mailbox->Runner)
      QMetaObject::invokeMethod(
          runner, [runner, job, error] { runner->Deliver(job, error); }, Qt::QueuedConnection);
  }).detach();
  return job;
}

void JobRunner::Deliver(const JobHandle& job, std::exception_ptr error) {
  --running_;
  // The outcome may throw (its error box comes from the application) or start further
  // jobs: the job lets go of what it held and the end of the last one is told all the same.
  struct Ended {
    JobRunner& Runner;
    const JobHandle& Job;
    ~Ended() {
      Job->Work = nullptr;
      Job->Done = nullptr;
      Job->Abandoned = nullptr;
      if (Runner.running_ == 0) emit Runner.Idle();
    }
  } ended{*this, job};
  if (job->HasReceiver && job->Receiver.isNull()) return;  // its window has gone
  if (job->Cancelled) {
    if (job->Abandoned) job->Abandoned();
  } else if (job->Done) {
    job->Done(error);
  }
}

void JobRunner::Cancel(const JobHandle& job) {
  if (job) job->Cancelled = true;
}

const char* JobRunner::BusyText() {
  return "Program še čaka na obrat; ko bo to končano, poskusite znova.";
}

bool JobRunner::Cancelled(const JobHandle& job) { return job && job->Cancelled; }

void JobRunner::PollUntil(QObject* receiver, std::function<bool()> condition,
                          std::function<std::int64_t()> clockMs, int timeoutMs, int realBoundMs,
                          std::function<void(bool)> done, int intervalMs) {
  struct Polling {
    std::function<bool()> Condition;
    std::function<void(bool)> Done;
    std::function<std::int64_t()> ClockMs;
    std::int64_t Start = 0;
    QElapsedTimer Real;
  };
  auto polling = std::make_shared<Polling>();
  polling->Condition = std::move(condition);
  polling->Done = std::move(done);
  polling->ClockMs = std::move(clockMs);
  polling->Start = polling->ClockMs();
  polling->Real.start();
  if (polling->Condition()) {
    polling->Done(true);
    return;
  }
  auto* timer = new QTimer(receiver);
  timer->setInterval(intervalMs);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, polling, timeoutMs, realBoundMs] {
    const bool held = polling->Condition();
    const bool over =
        polling->ClockMs() - polling->Start >= timeoutMs || polling->Real.elapsed() >= realBoundMs;
    if (!held && !over) return;
    timer->stop();
    timer->deleteLater();
    polling->Done(held);
  });
  timer->start();
}

JobRunner& Jobs() {
  static QPointer<JobRunner> runner;
  if (runner.isNull()) runner = new JobRunner(QCoreApplication::instance());
  return *runner;
}
