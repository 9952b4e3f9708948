// The run sampled on its own clock against the node-opcua test plant through a relay
// that delays, stalls or cuts the link: every period has its sample, none doubled; what
// came late or not at all is marked and counted; a cut link leaves the run on the
// simulation with nothing more written.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "data/Clock.h"
#include "experiment/ExperimentRun.h"
#include "experiment/ExperimentWriteCheck.h"
#include "opc/LocalOpcClient.h"
#include "opc/UaOpcClient.h"
#include "opc/peer/UaPeer.h"
#include "support/LatencyProxy.h"
#include "support/NoSubscriptionGroup.h"

namespace {

int PeerPort() { return std::stoi(ReadPort(UaPeerDir() + "/port")); }

class SampledPlant : public ::testing::Test {
 protected:
  void ForAMinute(int latencyMs);
  void Connect(int timeoutMs = 5000) {
    UaChannelLimits limits;
    limits.TimeoutMs = timeoutMs;
    opc = CreateUaOpcClient(clock, limits);
    opc->Connect(proxy.Url(), "");
    direct = CreateUaOpcClient(clock);
    direct->Connect(UaPeerUrl(), "");
    probe = &direct->AddGroup("Probe");
    probe->SetUpdateRateMs(0);
    probe->AddItem("ns=2;s=RA")->WriteInteger(0);  // manual: MV is the actuator's
    probe->AddItem("ns=2;s=MV")->Write(10);
    OpcGroup* group = &opc->AddGroup("Skupina1");
    if (withoutSubscriptions)
      group = (plainGroup = std::make_unique<NoSubscriptionGroup>(*group)).get();
    group->SetUpdateRateMs(10);
    run = std::make_unique<ExperimentRun>(store, *opc);
    run->SetReadGroup(group);
    ExperimentSetup& setup = run->Setup;
    setup.SamplePeriodMs = 50;
    setup.InitialInput = 10;
    setup.ItemMV = group->AddItem("ns=2;s=MV");
    setup.ItemU = group->AddItem("ns=2;s=U");
    setup.ItemY1 = group->AddItem("ns=2;s=Y1");
    setup.ItemY2 = group->AddItem("ns=2;s=Y2");
    // Checked before the run, as the window does (the items' types then known).
    EXPECT_EQ(CheckExperimentWrites(setup, run->Writes, '.'), "");
    setup.ReconnectMs = reconnectMs;
    run->Create();
    run->Begin();
    run->StartSampling();
  }
  // Takes what arrives for ms, as the window would every 20 ms.
  void RunFor(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      for (const ExperimentSample& s : run->TakeArrived(false)) taken.push_back(s);
    }
  }
  // Ends the run; the periods that passed, each of which must have its sample.
  int Finish() {
    const int periods = static_cast<int>(run->Sampler().ElapsedUs() / 50'000) + 1;
    run->Sampler().Stop();
    for (const ExperimentSample& s : run->TakeArrived(false)) taken.push_back(s);
    run->Finish();
    return periods;
  }
  double PlantMV() { return probe->AddItem("ns=2;s=MV")->Value(); }

  SystemClock clock;
  LatencyProxy proxy{PeerPort()};
  std::unique_ptr<OpcClient> opc, direct;
  OpcGroup* probe = nullptr;
  std::unique_ptr<MeasurementStore> storeOwner = std::make_unique<MeasurementStore>();
  MeasurementStore& store = *storeOwner;
  std::unique_ptr<NoSubscriptionGroup> plainGroup;  // outlives the run that reads it
  std::unique_ptr<ExperimentRun> run;
  std::vector<ExperimentSample> taken;
  bool withoutSubscriptions = false;
  std::int32_t reconnectMs = DefaultReconnectMs;
};

// Every sample on the nominal grid, in order, none missing and none doubled.
void ExpectGrid(const MeasurementStore& store, const std::vector<ExperimentSample>& taken,
                int periods) {
  ASSERT_GE(static_cast<int>(taken.size()), periods - 1);
  ASSERT_LE(static_cast<int>(taken.size()), periods + 1);  // the stop may fall after a deadline
  for (std::size_t k = 0; k < taken.size(); ++k) ASSERT_NEAR(taken[k].Time, 0.05 * k, 1e-9);
  EXPECT_EQ(store.SampleCount, static_cast<int>(taken.size()));
}

}  // namespace

// A minute of sampling through the relay at a round trip of latencyMs ± 10 ms, an MV step
// after ten seconds: every period has its own sample (the server's, by subscription) and
// the step reaches the plant within one period and one way of the latency.
void SampledPlant::ForAMinute(int latencyMs) {
  proxy.SetLatency(latencyMs, 10);
  Connect();
  RunFor(10000);
  EXPECT_EQ(run->Sampler().Mode(), SamplingMode::Subscription);
  EXPECT_EQ(run->Sampler().GrantedMs(), 50);
  const std::int64_t commandUs = run->Sampler().ElapsedUs();
  run->ValueTyped(20);
  // The write leaves at the first deadline after the command (the record's step below says
  // which period it went out in) and reaches the plant, read directly and not through the
  // relay, one way of the latency later. The wall clock here only bounds a write held back
  // by a read's round trip or more; a loaded machine adds a few milliseconds of its own.
  const OpcItemPtr plantMV = probe->AddItem("ns=2;s=MV");
  std::int64_t arrivedUs = -1;
  while (arrivedUs < 0 && run->Sampler().ElapsedUs() - commandUs < 1'000'000)
    if (plantMV->Value() == 20) arrivedUs = run->Sampler().ElapsedUs();
  const std::int64_t firstDeadlineUs = (commandUs / 50'000 + 1) * 50'000;
  ASSERT_GE(arrivedUs, 0) << "the step never reached the plant";
  EXPECT_LE(arrivedUs - firstDeadlineUs, 2 * 50'000 + latencyMs * 1000 / 2)
      << "arrived " << arrivedUs - commandUs << " µs after the command";
  RunFor(50000);
  const int periods = Finish();
  ExpectGrid(store, taken, periods);
  int held = 0, late = 0, step = -1, copies = 0;
  for (std::size_t k = 0; k < taken.size(); ++k) {
    held += taken[k].Held;
    late += taken[k].Late;
    EXPECT_FALSE(taken[k].Simulated);
    if (step < 0 && taken[k].MV == 20) step = static_cast<int>(k);
    // While Y1 rises after the step, a sample of its own differs from the one before.
    if (step >= 0 && k > static_cast<std::size_t>(step) + 3 &&
        k < static_cast<std::size_t>(step) + 60)
      copies += taken[k].Y1 == taken[k - 1].Y1;
  }
  EXPECT_EQ(run->Findings.HeldSamples, held);
  EXPECT_EQ(run->Findings.LateSamples, late);
  EXPECT_LE(held, static_cast<int>(taken.size()) / 100) << "at least 99 % of the periods their own";
  EXPECT_LE(copies, static_cast<int>(taken.size()) / 100) << "a period of its own, as above";
  ASSERT_GE(step, 0);
  EXPECT_LE(step * 50'000 - commandUs, 50'000) << "written at the first deadline after the command";
  // Y1 of the record follows the step as the plant does (gain 2, 2 s): up by about 63 %
  // of 20 two seconds after the step, never earlier than the write reached the plant.
  ASSERT_LT(step + 41, static_cast<int>(taken.size()));
  EXPECT_NEAR(taken[step + 40].Y1 - taken[step].Y1, 0.63 * 20, 2.0);
  EXPECT_EQ(PlantMV(), 20);
  EXPECT_EQ(PeriodTooShortText(0.05, run->Findings.RoundTripMs, run->Findings.GrantedMs), "");
}

// A minute of sampling through the relay each (CTest labels them "long").
TEST_F(SampledPlant,
       ForAMinuteAt40msLatencyEveryPeriodHasItsSampleAndTheStepReachesThePlantInItsPeriod) {
  ForAMinute(40);
}

TEST_F(SampledPlant, ForAMinuteAt90msLatencyLongerThanThePeriodEveryPeriodHasItsOwnSample) {
  ForAMinute(90);
}

// A server without subscriptions is read at the deadlines; a round trip longer than the
// period is said.
TEST_F(SampledPlant, ReadsAtDeadlinesThroughA90msRoundTripSayThePeriodIsTooShort) {
  proxy.SetLatency(90, 10);
  withoutSubscriptions = true;
  Connect();
  RunFor(3000);
  EXPECT_EQ(run->Sampler().Mode(), SamplingMode::Reads);
  Finish();
  EXPECT_FALSE(run->Findings.LinkLost());
  EXPECT_GT(run->Findings.HeldSamples, 10);
  const std::string text = RunFindingsText(run->Findings, ',');
  EXPECT_EQ(text.rfind("Čas vzorčenja 0,05 s je krajši od časa do strežnika (≈ ", 0), 0u) << text;
  EXPECT_GE(run->Findings.RoundTripMs, 80);
  EXPECT_LE(run->Findings.RoundTripMs, 200);
}

TEST_F(SampledPlant, AFiveSecondStallHoldsItsSamplesAndTheRunGoesOnWithThePlant) {
  Connect(8000);  // a stall shorter than the client's time-out is not a lost link
  RunFor(1000);
  proxy.Stall(5000);
  RunFor(6000);
  const int periods = Finish();
  ExpectGrid(store, taken, periods);
  // Every period of the stall (more on a busy machine) but its last HoldUs: those the
  // server's queue delivers as the stall ends, the plant's values at their source times.
  EXPECT_GE(run->Findings.HeldSamples, 96 - run->Sampler().HoldUs() / 50'000);
  EXPECT_EQ(run->Findings.SimulatedSamples, 0);
  EXPECT_FALSE(taken.back().Held);
  EXPECT_FALSE(taken.back().Simulated);
  EXPECT_TRUE(opc->IsConnected());
}

TEST_F(SampledPlant, ACutLinkEndsWritingAndTheRecordGoesOnOnTheSimulation) {
  reconnectMs = 200;  // a relay that refuses every new connection: never back
  Connect();
  RunFor(1000);
  proxy.Cut();
  RunFor(300);
  run->ValueTyped(35);  // never reaches the plant
  RunFor(1000);
  const int periods = Finish();
  ExpectGrid(store, taken, periods);
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_GT(run->Findings.SimulatedSamples, 15);
  EXPECT_GT(run->Findings.FirstSimulatedSample, 15);
  EXPECT_EQ(PlantMV(), 10);
  EXPECT_TRUE(taken.back().Simulated);
  EXPECT_EQ(taken.back().MV, 35);
}

// A stall of 8 s mid-run, longer than the client's time-out: the link is made again, the
// gap held and marked, the run goes on with the plant, and the server keeps no session of
// the lost link (a plant of the test's own, whose sessions it counts).
TEST(StalledRun, AnEightSecondStallIsHeldAndTheRunGoesOnWithThePlantItsOldSessionClosed) {
  PrivateUaPeer peer;
  LatencyProxy proxy(std::stoi(peer.Url().substr(peer.Url().rfind(':') + 1)));
  SystemClock clock;
  auto direct = CreateUaOpcClient(clock);
  direct->Connect(peer.Url(), "");
  OpcGroup& probe = direct->AddGroup("Probe");
  probe.SetUpdateRateMs(0);
  const OpcItemPtr sessions = probe.AddItem("ns=0;i=2277");  // CurrentSessionCount
  probe.AddItem("ns=2;s=RA")->WriteInteger(0);
  auto opc = CreateUaOpcClient(clock);
  opc->Connect(proxy.Url(), "");
  ASSERT_TRUE(IsGoodQuality(sessions->Quality()));
  const double before = sessions->Value();
  auto store = std::make_unique<MeasurementStore>();
  OpcGroup& group = opc->AddGroup("Skupina1");
  ExperimentRun run(*store, *opc);
  run.SetReadGroup(&group);
  run.Setup.SamplePeriodMs = 50;
  run.Setup.InitialInput = 10;
  run.Setup.ItemMV = group.AddItem("ns=2;s=MV");
  run.Setup.ItemU = group.AddItem("ns=2;s=U");
  run.Setup.ItemY1 = group.AddItem("ns=2;s=Y1");
  run.Setup.ItemY2 = group.AddItem("ns=2;s=Y2");
  run.Create();
  run.Begin();
  run.StartSampling();
  std::vector<ExperimentSample> taken;
  bool toldReconnecting = false;
  const auto runFor = [&](int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      toldReconnecting = toldReconnecting || run.ReconnectSecondsLeft().has_value();
      for (const ExperimentSample& s : run.TakeArrived(false)) taken.push_back(s);
    }
  };
  runFor(1000);
  proxy.Stall(8000);
  runFor(8000);
  run.ValueTyped(25);  // commanded while the link is being made again
  runFor(7000);
  run.Sampler().Stop();
  for (const ExperimentSample& s : run.TakeArrived(false)) taken.push_back(s);
  run.Finish();
  EXPECT_TRUE(toldReconnecting);
  EXPECT_EQ(run.Findings.SimulatedSamples, 0);
  EXPECT_EQ(run.Findings.Reconnects, 1);
  EXPECT_GE(run.Findings.HeldSamples, 150);  // the stall's periods, and the reconnect's
  int reconnecting = 0;
  for (const ExperimentSample& s : taken) reconnecting += s.Reconnecting;
  EXPECT_GT(reconnecting, 0);
  ASSERT_GT(taken.size(), 40u);
  // The plant's samples again (a period the busy test plant skipped may be held).
  int own = 0;
  for (std::size_t k = taken.size() - 40; k < taken.size(); ++k) {
    EXPECT_FALSE(taken[k].Simulated);
    own += !taken[k].Held;
  }
  EXPECT_GE(own, 38);
  EXPECT_TRUE(opc->IsConnected());
  EXPECT_EQ(probe.AddItem("ns=2;s=MV")->Value(), 25)
      << "the run's MV written after the link came back";
  EXPECT_EQ(sessions->Value(), before) << "the lost link's session was closed";
}

// The upkeep's probe of a quiet link goes out on a thread of its own: a server that
// stalls keeps the probe waiting, never the caller (the window's timer).
TEST(UpkeepThroughRelay, TheIdleProbeNeverKeepsTheCallerWaitingOnAStalledServer) {
  LatencyProxy proxy(PeerPort());
  SystemClock clock;
  auto opc = CreateUaOpcClient(clock);
  opc->Connect(proxy.Url(), "");
  ASSERT_EQ(opc->ServerState(), OpcServerState::Running);
  std::this_thread::sleep_for(std::chrono::milliseconds(3200));  // quiet past the idle probe's 3 s
  proxy.Stall(3000);
  const auto start = std::chrono::steady_clock::now();
  opc->KeepAlive();  // the probe goes out, and waits
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  opc->KeepAlive();                                        // one probe at a time
  EXPECT_EQ(opc->ServerState(), OpcServerState::Running);  // the state last read
  // Items come and go, and say what they last had, while the probe waits on the server.
  OpcGroup& group = opc->AddGroup("Stalled");
  const OpcItemPtr mv = group.AddItem("ns=2;s=MV");
  EXPECT_FALSE(IsGoodQuality(mv->Quality()));  // never read yet
  group.RemoveAllItems();
  const OpcItemPtr y1 = group.AddItem("ns=2;s=Y1");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::milliseconds(1000));
  std::this_thread::sleep_for(
      std::chrono::milliseconds(3500));  // the stall over, the probe answered
  EXPECT_TRUE(opc->IsConnected());
  EXPECT_EQ(opc->ServerState(), OpcServerState::Running);
  EXPECT_EQ(y1->Quality(), OpcQualityGood);  // read once the link is free
}
