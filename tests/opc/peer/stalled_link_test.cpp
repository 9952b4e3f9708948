// Ending a link whose server has stopped answering, through a relay that stalls it: the
// engineer's "Prekini" and the program's end never wait for the server, and what the end
// cuts short is not reported as a lost link.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>

#include "data/Clock.h"
#include "opc/UaOpcClient.h"
#include "opc/peer/UaPeer.h"
#include "support/LatencyProxy.h"

namespace {

using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

int PortOf(const std::string& url) { return std::stoi(url.substr(url.rfind(':') + 1)); }

long MsSince(SteadyClock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<Ms>(SteadyClock::now() - start).count());
}

class StalledLink : public ::testing::Test {
 protected:
  void SetUp() override {
    opc = CreateUaOpcClient(clock);
    opc->SetDisconnectHandler([this] {
      ++handlerCalls;
      if (std::this_thread::get_id() != testThread) ++handlerCallsElsewhere;
    });
    opc->Connect(proxy.Url(), "");
    ASSERT_EQ(opc->ServerState(), OpcServerState::Running);
  }
  // The link quiet past the idle probe's 3 s, the server stalled for 5 s (the client's
  // time-out) and the probe sent: it waits on the server with the link held.
  void ProbeWaitingOnAStalledServer() {
    std::this_thread::sleep_for(Ms(3200));
    proxy.Stall(5000);
    opc->KeepAlive();
    std::this_thread::sleep_for(Ms(100));
  }

  // A plant of its own: a session the cut link leaves behind lives on the server until its
  // time-out, which must not fill the shared plant's sessions.
  PrivateUaPeer peer;
  LatencyProxy proxy{PortOf(peer.Url())};
  SystemClock clock;
  std::unique_ptr<OpcClient> opc;
  std::atomic<int> handlerCalls = 0, handlerCallsElsewhere = 0;
  const std::thread::id testThread = std::this_thread::get_id();
};

TEST_F(StalledLink, DisconnectDuringAStalledProbeReturnsAtOnceAndReportsNoLoss) {
  ProbeWaitingOnAStalledServer();
  const auto start = SteadyClock::now();
  opc->Disconnect();
  const long took = MsSince(start);
  std::cout << "Disconnect during a stalled probe: " << took << " ms\n";
  EXPECT_LT(took, 1000);
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_EQ(opc->ServerState(), OpcServerState::Unknown);
  // The probe cut short is no lost link: the handler fired once, for the disconnect.
  std::this_thread::sleep_for(Ms(300));
  EXPECT_EQ(handlerCalls, 1);
  EXPECT_EQ(handlerCallsElsewhere, 0);
  // The abort held for that link only: the next connect works.
  opc->Connect(peer.Url(), "");
  OpcGroup& group = opc->AddGroup("Again");
  EXPECT_EQ(group.AddItem("ns=2;s=Y1")->Quality(), OpcQualityGood);
}

TEST_F(StalledLink, TheProgramEndsDuringAStalledProbeWithoutWaitingForIt) {
  ProbeWaitingOnAStalledServer();
  const auto start = SteadyClock::now();
  opc.reset();
  const long took = MsSince(start);
  std::cout << "Client destroyed during a stalled probe: " << took << " ms\n";
  EXPECT_LT(took, 1000);
  EXPECT_EQ(handlerCallsElsewhere, 0);
}

// No request in flight, but the server stalls: the session's close would wait on it
// (up to 2 s, and as long again over a new channel); it goes on off the caller's thread.
TEST_F(StalledLink, DisconnectFromAStalledServerOnAFreeLinkDoesNotWaitToCloseTheSession) {
  proxy.Stall(5000);
  auto start = SteadyClock::now();
  opc->Disconnect();
  const long took = MsSince(start);
  EXPECT_LT(took, 1000);
  EXPECT_EQ(handlerCalls, 1);
  EXPECT_FALSE(opc->IsConnected());
  // Closing the program meanwhile cuts that close short.
  start = SteadyClock::now();
  opc.reset();
  const long ended = MsSince(start);
  std::cout << "Disconnect on a free stalled link: " << took << " ms; client destroyed while "
            << "the session's close waits: " << ended << " ms\n";
  EXPECT_LT(ended, 1000);
}

// The program ended right after the link was ended (its window closed, or a SIGTERM that
// closes it): the session's close under way still reaches a server that answers.
TEST(ProgramEnd, TheSessionIsClosedAtTheServerWhenTheProgramEndsRightAfterDisconnect) {
  PrivateUaPeer peer;
  SystemClock clock;
  auto counter = CreateUaOpcClient(clock);
  counter->Connect(peer.Url(), "");
  OpcGroup& group = counter->AddGroup("Count");
  group.SetUpdateRateMs(0);
  const OpcItemPtr sessions = group.AddItem("ns=0;i=2277");  // CurrentSessionCount
  ASSERT_TRUE(IsGoodQuality(sessions->Quality()));
  const double alone = sessions->Value();
  auto opc = CreateUaOpcClient(clock);
  opc->Connect(peer.Url(), "");
  EXPECT_EQ(sessions->Value(), alone + 1);
  const auto start = SteadyClock::now();
  opc->Disconnect();
  opc.reset();
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_EQ(sessions->Value(), alone);
}

}  // namespace
