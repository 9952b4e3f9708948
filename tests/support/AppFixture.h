// A whole program for a widget test: the five windows over a client with no server,
// a hand-driven clock and the fake message boxes.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QThread>

#include "app/TForm1.h"
#include "data/Clock.h"
#include "forms/JobRunner.h"
#include "opc/OpcClient.h"
#include "support/FakeUiServices.h"

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    opc = CreateNoServerOpcClient();
    windows = CreateApplicationWindows(*opc, clock);
  }
  // Jobs a test left under way end before the windows and the client they use go.
  void TearDown() override { WaitForJobs(); }

 public:
  static void WaitForJobs() {
    QElapsedTimer waited;
    waited.start();
    while (Jobs().Running() > 0 && waited.elapsed() < 20000) Pass();
  }
  // One pass of the event loop, as a test's timers of interval 0 count them (a pass
  // bounded by time would run such a timer many times over).
  static void Pass() {
    QCoreApplication::processEvents();
    QThread::usleep(200);
  }
  // Lets the event loop go on until no job and no run of form is under way, and then
  // once more, for what their ends posted (a click's outcome, the run's end).
  static void Settle(TForm1& form, int boundMs = 20000) {
    QElapsedTimer waited;
    waited.start();
    while ((Jobs().Running() > 0 || form.RunInFlight()) && waited.elapsed() < boundMs) Pass();
    QCoreApplication::processEvents();
  }

 protected:
  TForm1& Form() { return *windows.Form1; }
  template <typename T>
  T* Find(const char* name) {
    T* w = windows.Form1->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  FakeUiServices ui;
  ManualClock clock;
  std::unique_ptr<OpcClient> opc;
  ApplicationWindows windows;
};
