// A whole program for a widget test: the five windows over a client with no server,
// a hand-driven clock and the fake message boxes.
#pragma once

#include <gtest/gtest.h>

#include <QTabWidget>

#include "app/TForm1.h"
#include "data/Clock.h"
#include "opc/OpcClient.h"
#include "support/FakeUiServices.h"

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    opc = CreateNoServerOpcClient();
    windows = CreateApplicationWindows(*opc, clock);
  }
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
