// The one way the window has work done off its thread: outcomes come back as queued calls
// on the window's thread, never into a window that has gone, and a cancelled job's end is
// told to its `abandoned` instead.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <memory>
#include <stdexcept>

#include "forms/JobRunner.h"

namespace {

// Runs the window's events until done holds or 5 s have passed.
template <typename F>
void Until(F done) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < 5000) QCoreApplication::processEvents();
}

TEST(JobRunner, TheOutcomeComesBackOnTheWindowsThreadWithWhatTheWorkThrew) {
  JobRunner runner;
  QObject receiver;
  std::atomic<bool> offThread = false;
  QThread* deliveredOn = nullptr;
  std::string error;
  int idle = 0;
  QObject::connect(&runner, &JobRunner::Idle, [&] { ++idle; });
  runner.Start(
      &receiver,
      [&] {
        offThread = QThread::currentThread() != receiver.thread();
        throw std::runtime_error("obrat ne odgovarja");
      },
      [&](std::exception_ptr e) {
        deliveredOn = QThread::currentThread();
        try {
          std::rethrow_exception(e);
        } catch (const std::exception& x) {
          error = x.what();
        }
      });
  EXPECT_EQ(runner.Running(), 1);
  EXPECT_EQ(deliveredOn, nullptr) << "never within the call that started it";
  Until([&] { return runner.Running() == 0; });
  EXPECT_TRUE(offThread);
  EXPECT_EQ(deliveredOn, receiver.thread());
  EXPECT_EQ(error, "obrat ne odgovarja");
  EXPECT_EQ(idle, 1);
}

TEST(JobRunner, AGoneWindowGetsNothingAndACancelledJobTellsItsAbandonedInstead) {
  JobRunner runner;
  auto gone = std::make_unique<QObject>();
  QObject stays;
  bool deliveredToGone = false, done = false, abandoned = false;
  runner.Start(
      gone.get(), [] { QThread::msleep(50); }, [&](std::exception_ptr) { deliveredToGone = true; });
  const JobRunner::JobHandle job = runner.Start(
      &stays, [] { QThread::msleep(50); }, [&](std::exception_ptr) { done = true; },
      [&] { abandoned = true; });
  gone.reset();
  JobRunner::Cancel(job);
  EXPECT_TRUE(JobRunner::Cancelled(job));
  Until([&] { return runner.Running() == 0; });
  EXPECT_FALSE(deliveredToGone);
  EXPECT_FALSE(done);
  EXPECT_TRUE(abandoned);
}

TEST(JobRunner, APollEndsWhenItsConditionHoldsOrItsClockRunsOut) {
  QObject receiver;
  std::int64_t now = 0;
  int result = -1;
  bool ready = false;
  JobRunner::PollUntil(
      &receiver, [&] { return ready; }, [&] { return now; }, 3000, 60000,
      [&](bool held) { result = held; });
  EXPECT_EQ(result, -1);
  ready = true;
  Until([&] { return result != -1; });
  EXPECT_EQ(result, 1);
  // Held at once: answered within the call.
  JobRunner::PollUntil(
      &receiver, [] { return true; }, [&] { return now; }, 3000, 60000,
      [&](bool held) { result = held ? 2 : 0; });
  EXPECT_EQ(result, 2);
  result = -1;
  JobRunner::PollUntil(
      &receiver, [] { return false; }, [&] { return now; }, 3000, 60000,
      [&](bool held) { result = held; });
  now = 3000;  // the program's clock runs out
  Until([&] { return result != -1; });
  EXPECT_EQ(result, 0);
}

}  // namespace
