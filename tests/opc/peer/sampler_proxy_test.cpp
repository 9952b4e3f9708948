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
#include "opc/UaOpcClient.h"
#include "opc/peer/UaPeer.h"
#include "support/LatencyProxy.h"

namespace {

int PeerPort() { return std::stoi(ReadPort(UaPeerDir() + "/port")); }

class SampledPlant : public ::testing::Test {
 protected:
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
    OpcGroup& group = opc->AddGroup("Skupina1");
    group.SetUpdateRateMs(10);
    run = std::make_unique<ExperimentRun>(store, *opc);
    run->SetReadGroup(&group);
    ExperimentSetup& setup = run->Setup;
    setup.SamplePeriodMs = 50;
    setup.InitialInput = 10;
    setup.ItemMV = group.AddItem("ns=2;s=MV");
    setup.ItemU = group.AddItem("ns=2;s=U");
    setup.ItemY1 = group.AddItem("ns=2;s=Y1");
    setup.ItemY2 = group.AddItem("ns=2;s=Y2");
    // Checked before the run, as the window does (the items' types then known).
    EXPECT_EQ(CheckExperimentWrites(setup, run->Writes, '.'), "");
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
  std::unique_ptr<ExperimentRun> run;
  std::vector<ExperimentSample> taken;
};

// Every sample on the nominal grid, in order, none missing and none doubled.
void ExpectGrid(const MeasurementStore& store, const std::vector<ExperimentSample>& taken,
                int periods) {
  ASSERT_GE(static_cast<int>(taken.size()), periods - 1);
  ASSERT_LE(static_cast<int>(taken.size()), periods);
  for (std::size_t k = 0; k < taken.size(); ++k) ASSERT_NEAR(taken[k].Time, 0.05 * k, 1e-9);
  EXPECT_EQ(store.SampleCount, static_cast<int>(taken.size()));
}

}  // namespace

// A minute of sampling through the relay (the one long test: CTest labels it "long").
TEST_F(SampledPlant,
       ForAMinuteAt40msLatencyEveryPeriodHasItsSampleAndTheStepReachesThePlantInItsPeriod) {
  proxy.SetLatency(40, 10);
  Connect();
  RunFor(10000);
  const std::int64_t commandUs = run->Sampler().ElapsedUs();
  run->ValueTyped(20);
  // The write leaves at the first deadline after the command and reaches the plant
  // (read directly, not through the relay) within that period.
  const OpcItemPtr plantMV = probe->AddItem("ns=2;s=MV");
  std::int64_t arrivedUs = -1;
  while (arrivedUs < 0 && run->Sampler().ElapsedUs() - commandUs < 1'000'000)
    if (plantMV->Value() == 20) arrivedUs = run->Sampler().ElapsedUs();
  const std::int64_t firstDeadlineUs = (commandUs / 50'000 + 1) * 50'000;
  ASSERT_GE(arrivedUs, 0) << "the step never reached the plant";
  EXPECT_LE(arrivedUs - firstDeadlineUs, 50'000)
      << "arrived " << arrivedUs - commandUs << " µs after the command";
  RunFor(50000);
  const int periods = Finish();
  ExpectGrid(store, taken, periods);
  int held = 0, late = 0, step = -1;
  for (std::size_t k = 0; k < taken.size(); ++k) {
    held += taken[k].Held;
    late += taken[k].Late;
    EXPECT_FALSE(taken[k].Simulated);
    if (step < 0 && taken[k].MV == 20) step = static_cast<int>(k);
  }
  EXPECT_EQ(run->Findings.HeldSamples, held);
  EXPECT_EQ(run->Findings.LateSamples, late);
  ASSERT_GE(step, 0);
  EXPECT_LE(step * 50'000 - commandUs, 50'000) << "written at the first deadline after the command";
  EXPECT_EQ(PlantMV(), 20);
}

TEST_F(SampledPlant, AFiveSecondStallHoldsItsSamplesAndTheRunGoesOnWithThePlant) {
  Connect(8000);  // a stall shorter than the client's time-out is not a lost link
  RunFor(1000);
  proxy.Stall(5000);
  RunFor(6000);
  const int periods = Finish();
  ExpectGrid(store, taken, periods);
  EXPECT_GE(run->Findings.HeldSamples, 96);  // every period of the stall (more on a busy machine)
  EXPECT_EQ(run->Findings.SimulatedSamples, 0);
  EXPECT_FALSE(taken.back().Held);
  EXPECT_FALSE(taken.back().Simulated);
  EXPECT_TRUE(opc->IsConnected());
}

TEST_F(SampledPlant, ACutLinkEndsWritingAndTheRecordGoesOnOnTheSimulation) {
  Connect();
  RunFor(1000);
  proxy.Cut();
  RunFor(300);
  run->ValueTyped(35);  // never reaches the plant
  RunFor(700);
  const int periods = Finish();
  ExpectGrid(store, taken, periods);
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_GT(run->Findings.SimulatedSamples, 15);
  EXPECT_GT(run->Findings.FirstSimulatedSample, 15);
  EXPECT_EQ(PlantMV(), 10);
  EXPECT_TRUE(taken.back().Simulated);
  EXPECT_EQ(taken.back().MV, 35);
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
