// The sampler's grid on an injected clock: reads at their deadlines, held and late
// samples for a plant that answers late, the simulation after a lost link, and the run's
// record of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

#include "FakePlant.h"
#include "data/Clock.h"
#include "experiment/ExperimentRun.h"
#include "experiment/PlantSampler.h"

namespace {

// A plant whose reads the test answers: Y1 counts the reads, MV is what was written.
class CountingLink final : public PlantLink {
 public:
  bool Live() override { return live; }
  double PlantMV() override { return mv; }
  void WriteMV(double v) override {
    if (!live) throw OpcError("not connected");
    mv = v;
    ++writes;
  }
  PlantReading Read() override {
    PlantReading r;
    r.Values[1] = ++reads;
    r.Values[3] = mv;
    for (int& q : r.Qualities) q = OpcQualityGood;
    return r;
  }
  std::atomic<bool> live = true;
  double mv = 0;
  int writes = 0;
  int reads = 0;
};

struct Sampler : ::testing::Test {
  ManualClock clock;
  CountingLink link;
  PlantSampler sampler{link, clock};
  std::vector<PlantSample> samples;

  void SetUp() override { sampler.Begin(50, true); }
  // Deadline k at its time; the read (if one starts) answers latencyMs later.
  void Period(int k, int latencyMs) {
    clock.AdvanceMs(std::int64_t{k} * 50 - clock.TickCountMs() + start);
    if (!sampler.Deadline(k)) return;
    const PlantReading r = sampler.DoPeriodIo();
    clock.AdvanceMs(latencyMs);
    sampler.Answer(k, r);
  }
  void Take() {
    for (PlantSample& s : sampler.TakeSamples()) samples.push_back(s);
  }
  std::int64_t start = 0;
};

}  // namespace

TEST_F(Sampler, ReadsAnsweredWithinTheirPeriodGiveOneSampleEachAndMVIsWrittenOnceAChange) {
  sampler.CommandMV(12);
  for (int k = 0; k < 5; ++k) Period(k, 40);
  sampler.CommandMV(20);
  for (int k = 5; k < 10; ++k) Period(k, 49);
  Take();
  ASSERT_EQ(samples.size(), 10u);
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(samples[k].Index, k);
    EXPECT_FALSE(samples[k].Held || samples[k].Late || samples[k].Simulated);
    EXPECT_EQ(samples[k].DeadlineUs, k * 50'000);
  }
  EXPECT_EQ(samples[4].ReadUs, 4 * 50'000 + 40'000);
  EXPECT_EQ(samples[5].Reading.MV, 20);
  EXPECT_EQ(samples[5].Reading.Values[3], 20) << "the step is read back in its own period";
  EXPECT_EQ(link.writes, 2);
}

TEST_F(Sampler, AReadThatStallsHoldsEveryPeriodItSpansAndItsAnswerIsTheSampleOfThePeriodItCameIn) {
  Period(0, 10);
  ASSERT_TRUE(sampler.Deadline(1));  // the read of period 1 stalls for 120 ms
  const PlantReading stalled = sampler.DoPeriodIo();
  Period(2, 0);         // busy: nothing read, period 1 held
  Period(3, 0);         // period 2 held
  clock.AdvanceMs(20);  // 170 ms: the answer comes in period 3
  sampler.Answer(1, stalled);
  Period(4, 10);
  Take();
  ASSERT_EQ(samples.size(), 5u);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(samples[k].Index, k) << "every period once, in order";
  EXPECT_TRUE(samples[1].Held);
  EXPECT_TRUE(samples[2].Held);
  EXPECT_TRUE(samples[3].Late);
  EXPECT_EQ(samples[3].Reading.Values[1], 2) << "the stalled read's answer";
  EXPECT_EQ(samples[4].Reading.Values[1], 3) << "the next read at the next deadline, no burst";
  EXPECT_EQ(link.reads, 3);
}

TEST_F(Sampler, AnAnswerThatComesAsTheClockQueuesItsPeriodIsNeitherLostNorDoubled) {
  ASSERT_TRUE(sampler.Deadline(0));
  const PlantReading r = sampler.DoPeriodIo();
  clock.AdvanceMs(60);  // the answer is read at 60 ms, before the clock has queued period 0
  sampler.Answer(0, r);
  EXPECT_FALSE(sampler.Deadline(1));  // period 1 has its (late) sample already
  Period(2, 5);
  Take();
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_TRUE(samples[0].Held);
  EXPECT_TRUE(samples[1].Late);
  EXPECT_EQ(samples[2].Index, 2);
}

TEST_F(Sampler, ALostLinkTurnsEveryFurtherPeriodToTheSimulationAndWritesNothingMore) {
  sampler.CommandMV(30);
  Period(0, 5);
  ASSERT_TRUE(sampler.Deadline(1));
  link.live = false;  // the link goes while the read is out
  const PlantReading r = sampler.DoPeriodIo();
  sampler.Answer(1, r);
  link.live = true;  // a server that comes back is not written to in this run
  sampler.CommandMV(40);
  for (int k = 2; k < 6; ++k) Period(k, 5);
  Take();
  ASSERT_EQ(samples.size(), 6u);
  EXPECT_FALSE(samples[0].Simulated);
  for (int k = 1; k < 6; ++k) EXPECT_TRUE(samples[k].Simulated) << k;
  EXPECT_EQ(samples[5].MV, 40);
  EXPECT_EQ(link.writes, 1);
  EXPECT_TRUE(sampler.LinkLost());
}

TEST(SamplerThreads, OnTheSystemClockEveryPeriodHasOneSampleAndTheDeadlinesDoNotDrift) {
  SystemClock clock;
  CountingLink link;
  PlantSampler sampler(link, clock);
  sampler.Begin(10, true);
  sampler.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(305));
  const std::int64_t elapsedUs = sampler.ElapsedUs();
  sampler.Stop();
  const std::vector<PlantSample> samples = sampler.TakeSamples();
  ASSERT_GE(samples.size(), 20u);
  // Absolute deadlines: never more samples than deadlines passed.
  ASSERT_LE(samples.size(), static_cast<std::size_t>(elapsedUs / 10'000 + 1));
  for (std::size_t k = 0; k < samples.size(); ++k) EXPECT_EQ(samples[k].Index, static_cast<int>(k));
}

// --- The run fed by the sampler's samples --------------------------------------------

namespace {

struct SampledRun : ::testing::Test {
  std::unique_ptr<MeasurementStore> store = std::make_unique<MeasurementStore>();
  FakePlant plant;
  ExperimentRun run{*store, plant};

  void SetUp() override {
    plant.connected = true;
    run.Setup.ItemMV = plant.NewItem("MV");
    run.Setup.ItemU = plant.NewItem("U");
    run.Setup.ItemY1 = plant.NewItem("Y1");
    run.Setup.ItemY2 = plant.NewItem("Y2");
    run.Setup.SamplePeriodMs = 500;
    run.Setup.InitialInput = 15;
    run.Create();
    run.Begin();
  }
  PlantSample Plant(int k, double y1) {
    PlantSample p;
    p.Index = k;
    p.Reading.MV = 15;
    p.Reading.Values[1] = y1;
    for (int& q : p.Reading.Qualities) q = OpcQualityGood;
    return p;
  }
};

}  // namespace

TEST_F(SampledRun, HeldSamplesKeepThePreviousValuesOnTheNominalGridAndAreCounted) {
  run.Take(Plant(0, 4), false);
  PlantSample held;
  held.Index = 1;
  held.Held = true;
  held.MV = std::nan("");  // nothing sent to the plant yet
  const ExperimentSample s = run.Take(held, false);
  EXPECT_TRUE(s.Held);
  held.Index = 2;
  held.MV = 25;  // a write went out; its answer has not come
  EXPECT_EQ(run.Take(held, false).MV, 25);
  PlantSample late = Plant(3, 6);
  late.Late = true;
  EXPECT_TRUE(run.Take(late, false).Late);
  ASSERT_TRUE(run.Finish());
  EXPECT_EQ(store->TimeColumn[2], 0.5);
  EXPECT_EQ(store->DataColumns[5][2], 4) << "Y1 held";
  EXPECT_EQ(store->DataColumns[1][2], 15) << "the MV the plant last had";
  EXPECT_EQ(store->DataColumns[5][4], 6);
  EXPECT_EQ(run.Findings.HeldSamples, 2);
  EXPECT_EQ(run.Findings.LateSamples, 1);
  EXPECT_EQ(RunFindingsText(run.Findings),
            "Zadržanih vzorcev: 2 (obrat ni odgovoril do konca periode; zapisane so prejšnje "
            "vrednosti).  Poznih odgovorov obrata: 1.");
}

TEST_F(SampledRun, TheRecordSaysWhereTheSimulationTookOverAfterALostLink) {
  for (int k = 0; k < 38; ++k) run.Take(Plant(k, 4), false);
  PlantSample lost;
  lost.Index = 38;
  lost.Simulated = true;
  lost.MV = 15;
  plant.connected = false;
  run.Take(lost, false);
  ASSERT_TRUE(run.Finish());
  EXPECT_EQ(run.Findings.FirstSimulatedSample, 39);
  EXPECT_EQ(run.Findings.FirstSimulatedTime, 19.0);
  EXPECT_EQ(run.Findings.FallBackSamples, 0);
  EXPECT_EQ(RunFindingsText(run.Findings, ','),
            "Opozorilo: zapis je simuliran od 19,0 s (vzorec 39) naprej (povezava s strežnikom je "
            "bila izgubljena; v obrat ni bilo nič več zapisano).");
}

// --- Sampling by subscription, and a link that comes back ----------------------------

namespace {

// The server samples Y1 = k at t0 + k·50 ms + 10 ms; each sampling arrives after its own
// round trip. The test walks the clock in 5 ms steps and hands each arrival over.
struct SubscribedSampler : ::testing::Test {
  ManualClock clock;
  CountingLink link;
  PlantSampler sampler{link, clock};
  std::int64_t wall0Us = 0;
  std::vector<PlantSample> samples;

  void SetUp() override {
    clock.SetNow(std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 50)));
    wall0Us = std::chrono::duration_cast<std::chrono::microseconds>(clock.Now().time_since_epoch())
                  .count();
    sampler.Begin(50, true);
    sampler.UseSubscription(50);
    // The subscription's first notification: the value as it stood, stamped long ago.
    sampler.Sampled({{1, -1, OpcQualityGood, wall0Us - 5'000'000}});
  }
  // Periods 0..periods-1 sampled (none for `missing`), each arriving latency(k) ms later.
  template <typename Latency>
  void Run(int periods, int untilMs, Latency latency, int missing = -1) {
    for (int t = static_cast<int>(clock.TickCountMs()) + (started ? 5 : 0); t <= untilMs; t += 5) {
      clock.AdvanceMs(t - clock.TickCountMs());
      if (t % 50 == 0) sampler.SubscribedDeadline(t / 50);
      std::vector<PlantValue> arrived;
      for (int k = 0; k < periods; ++k) {
        const int sampledMs = 50 * k + 10 + jitter(k);
        const int at = sampledMs + latency(k);
        if (k != missing && at > t - 5 && at <= t)
          arrived.push_back({1, double(k), OpcQualityGood, wall0Us + sampledMs * 1000});
      }
      if (!arrived.empty()) sampler.Sampled(arrived);
    }
    started = true;
    for (PlantSample& s : sampler.TakeSamples()) samples.push_back(s);
  }
  bool started = false;
  std::function<int(int)> jitter = [](int) { return 0; };  // of the server's sampling, ms
};

}  // namespace

TEST_F(SubscribedSampler, EachPeriodTakesTheValueSampledForItWhateverTheRoundTrip) {
  // 90 ± 10 ms, longer than the period: every period still has its own sample.
  sampler.CommandMV(12);
  Run(40, 2200, [](int k) { return 80 + (k * 7) % 21; });
  ASSERT_EQ(samples.size(), 39u) << "the last period waits for a later sampling";
  for (int k = 0; k < 39; ++k) {
    EXPECT_EQ(samples[k].Index, k);
    EXPECT_FALSE(samples[k].Held || samples[k].Late || samples[k].Simulated) << k;
    EXPECT_EQ(samples[k].Reading.Values[1], k) << "the value sampled for the period";
    EXPECT_EQ(samples[k].MV, 12);
    // The arrival is kept: lateness measured, not guessed.
    EXPECT_EQ(samples[k].ReadUs, (50 * k + 10 + 80 + (k * 7) % 21 + 4) / 5 * 5 * 1000);
  }
  EXPECT_EQ(samples[3].Reading.SourceTimeMs, (wall0Us + 160'000) / 1000);
  EXPECT_EQ(sampler.GrantedMs(), 50);
}

TEST_F(SubscribedSampler, APeriodWhoseSamplingNeverCameIsHeldAndTheMvStepKeepsItsPeriod) {
  sampler.CommandMV(10);
  Run(
      30, 100, [](int) { return 20; }, 5);  // samplings of periods 0 and 1 arrived
  ASSERT_EQ(samples.size(), 1u) << "period 1 waits for a later sampling";
  sampler.CommandMV(20);  // from deadline 3 on
  Run(
      30, 1500, [](int) { return 20; }, 5);
  ASSERT_EQ(samples.size(), 29u);
  EXPECT_TRUE(samples[5].Held);
  EXPECT_FALSE(samples[4].Held || samples[6].Held);
  EXPECT_EQ(samples[6].Reading.Values[1], 6);
  EXPECT_EQ(samples[2].MV, 10);
  EXPECT_EQ(samples[3].MV, 20);
  // The last period, with no later sampling to tell it complete, is given once it has
  // waited HoldUs.
  Run(
      30, 29 * 50 + 50 + 1000 + 10, [](int) { return 20; }, 5);
  ASSERT_EQ(samples.size(), 30u);
  EXPECT_FALSE(samples[29].Held);
}

TEST_F(SubscribedSampler, AServerClockAnHourOffStillPutsEachSamplingInItsPeriod) {
  wall0Us += 3'600'000'000LL;
  Run(20, 1000, [](int) { return 30; });
  ASSERT_GE(samples.size(), 18u);
  for (std::size_t k = 0; k < samples.size(); ++k) {
    EXPECT_FALSE(samples[k].Held) << k;
    EXPECT_EQ(samples[k].Reading.Values[1], static_cast<double>(k));
  }
}

namespace {

// A plant whose link drops when told to and comes back on the reconnect after `downFor`.
class DroppingLink final : public PlantLink {
 public:
  bool Live() override { return live; }
  double PlantMV() override { return mv; }
  void WriteMV(double v) override {
    if (!live) throw OpcError("not connected");
    mv = v;
    ++writes;
  }
  PlantReading Read() override {
    PlantReading r;
    r.Values[1] = 1;
    r.Values[3] = mv;
    for (int& q : r.Qualities) q = OpcQualityGood;
    return r;
  }
  bool Reconnect() override {
    ++attempts;
    if (!comesBack) return false;
    mv = -1;  // a restarted plant: the MV must be written again
    live = true;
    return true;
  }
  std::atomic<bool> live = true, comesBack = true;
  std::atomic<double> mv = 0;
  std::atomic<int> writes = 0, attempts = 0;
};

std::vector<PlantSample> RunWithDrop(DroppingLink& link, int reconnectMs, int totalMs) {
  SystemClock clock;
  PlantSampler sampler(link, clock);
  sampler.Begin(10, true);
  sampler.SetReconnectMs(reconnectMs);
  sampler.CommandMV(7);
  sampler.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  link.live = false;
  std::this_thread::sleep_for(std::chrono::milliseconds(totalMs - 100));
  sampler.Stop();
  return sampler.TakeSamples();
}

}  // namespace

TEST(SamplerReconnect, ALinkThatComesBackHoldsItsGapAndTheRunGoesOnWithThePlant) {
  DroppingLink link;
  const std::vector<PlantSample> samples = RunWithDrop(link, 5000, 1600);
  ASSERT_GE(samples.size(), 100u);
  int reconnecting = 0, reconnected = 0, simulated = 0;
  for (const PlantSample& s : samples) {
    reconnecting += s.Reconnecting;
    reconnected += s.Reconnected;
    simulated += s.Simulated;
    if (s.Reconnecting) {
      EXPECT_TRUE(s.Held);
    }
  }
  EXPECT_EQ(simulated, 0);
  EXPECT_GE(reconnecting, 1);
  EXPECT_EQ(reconnected, 1);
  const auto back = std::find_if(samples.begin(), samples.end(),
                                 [](const PlantSample& s) { return s.Reconnected; });
  EXPECT_GE(std::count_if(back, samples.end(), [](const PlantSample& s) { return !s.Held; }), 50)
      << "the plant's samples again";
  EXPECT_EQ(link.mv, 7) << "the run's MV written again after the link came back";
  EXPECT_EQ(link.writes, 2);
}

TEST(SamplerReconnect, ALinkThatStaysLostPastTheReconnectTimeEndsTheRunForThePlant) {
  DroppingLink link;
  link.comesBack = false;
  const std::vector<PlantSample> samples = RunWithDrop(link, 300, 1200);
  ASSERT_GE(samples.size(), 80u);
  EXPECT_TRUE(samples.back().Simulated);
  // Held while reconnecting (about 300 ms), simulated after.
  const auto firstSimulated = std::find_if(samples.begin(), samples.end(),
                                           [](const PlantSample& s) { return s.Simulated; });
  ASSERT_NE(firstSimulated, samples.end());
  EXPECT_GE(firstSimulated->Index * 10, 100 + 300 - 20);
  EXPECT_TRUE((firstSimulated - 1)->Reconnecting);
  EXPECT_EQ(link.writes, 1);
  EXPECT_GE(link.attempts, 1);
}

TEST_F(SampledRun, TheLinkMadeAgainIsToldWhileItRunsAndInTheFindings) {
  run.Take(Plant(0, 4), false);
  PlantSample gap;
  gap.Index = 1;
  gap.Held = gap.Reconnecting = true;
  gap.MV = 15;
  EXPECT_TRUE(run.Take(gap, false).Reconnecting);
  PlantSample back = Plant(2, 5);
  back.Reconnected = true;
  EXPECT_TRUE(run.Take(back, false).Reconnected);
  ASSERT_TRUE(run.Finish());
  EXPECT_EQ(run.Findings.Reconnects, 1);
  EXPECT_EQ(run.Findings.SimulatedSamples, 0);
  EXPECT_EQ(ReconnectingStatusText(12), "Povezava je prekinjena, ponovno povezovanje (12 s) …");
  const std::vector<std::string> lines = RunFindingsLines(run.Findings, ',');
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "Povezava s strežnikom je bila med eksperimentom prekinjena in spet vzpostavljena "
            "(1-krat); vzorci vmes so zadržani.");
}

TEST(PeriodTooShort, SaidForReadsSlowerThanThePeriodOrAServerThatSamplesMoreSlowly) {
  EXPECT_EQ(PeriodTooShortText(0.05, 91.4, 0, ','),
            "Čas vzorčenja 0,05 s je krajši od časa do strežnika (≈ 91 ms); del vzorcev bo "
            "zadržanih (ponovljenih).");
  EXPECT_EQ(PeriodTooShortText(0.05, 49, 0, ','), "");
  // A subscription carries the round trip; only the server's slower sampling counts.
  EXPECT_EQ(PeriodTooShortText(0.05, 91.4, 50, ','), "");
  EXPECT_EQ(PeriodTooShortText(0.05, 10, 100, '.'),
            "Čas vzorčenja 0.05 s je krajši od intervala, v katerem vzorči strežnik (100 ms); del "
            "vzorcev bo zadržanih (ponovljenih).");
  RunFindings f;
  f.SampleTime = 0.05;
  f.RoundTripMs = 90;
  EXPECT_EQ(RunFindingsText(f, ','),
            "Čas vzorčenja 0,05 s je krajši od časa do strežnika (≈ 90 ms); del vzorcev bo "
            "zadržanih (ponovljenih).");
}

TEST_F(SubscribedSampler, SamplingsWhoseTimerJitteredPastHalfAPeriodStillHaveTheirOwn) {
  // Period 6's sampling 34 ms late, period 12's 30 ms early: every period its own.
  jitter = [](int k) { return k == 6 ? 34 : k == 12 ? -30 : 0; };
  Run(20, 1000, [](int) { return 20; });
  ASSERT_EQ(samples.size(), 19u);
  for (int k = 0; k < 19; ++k) {
    EXPECT_FALSE(samples[k].Held) << k;
    EXPECT_EQ(samples[k].Reading.Values[1], k);
  }
}

// "Konec eksperimenta" at 500 ms: the periods whose deadlines had passed (0 to 10) are
// still the run's, each with the value sampled for it as it arrives; none after them.
TEST_F(SubscribedSampler, TheRunsEndTakesThePeriodsWhoseDeadlinesHadPassedAndNoLater) {
  sampler.CommandMV(12);
  const auto roundTrip = [](int) { return 90; };
  Run(40, 500, roundTrip);
  EXPECT_EQ(sampler.EndAfter(), 10);
  EXPECT_EQ(sampler.EndAfter(3), 10) << "the first end stands";
  EXPECT_FALSE(sampler.EndTaken());
  sampler.CommandMV(30);  // after the end: for no period
  Run(40, 1200, roundTrip);
  EXPECT_TRUE(sampler.EndTaken());
  ASSERT_EQ(samples.size(), 11u);
  for (int k = 0; k <= 10; ++k) {
    EXPECT_FALSE(samples[k].Held) << k;
    EXPECT_EQ(samples[k].Reading.Values[1], k);
    EXPECT_EQ(samples[k].MV, 12);
  }
}

// The link stalls at 300 ms and the run ends at 500 ms: the periods of the stall up to the
// end are held once each has waited HoldUs, and then the end is complete.
TEST_F(SubscribedSampler, TheRunsEndDuringAStallHoldsItsLastPeriodsAfterTheHold) {
  const auto stalled = [](int k) { return k < 6 ? 20 : 100'000; };
  Run(40, 500, stalled);
  EXPECT_EQ(sampler.EndAfter(), 10);
  Run(40, 10 * 50 + 1000, stalled);
  EXPECT_FALSE(sampler.EndTaken()) << "period 10 waits HoldUs past its deadline";
  Run(40, 10 * 50 + 1000 + 100, stalled);
  EXPECT_TRUE(sampler.EndTaken());
  ASSERT_EQ(samples.size(), 11u);
  for (int k = 0; k <= 10; ++k) EXPECT_EQ(samples[k].Held, k >= 6) << k;
}

// By reads: the read of the last period is awaited until the next deadline, none starts
// after the end, and an answer that comes after it is not the run's.
TEST_F(Sampler, TheRunsEndAwaitsTheLastPeriodsReadUntilTheNextDeadlineAndStartsNoMore) {
  for (int k = 0; k < 3; ++k) Period(k, 10);
  clock.AdvanceMs(40);  // 150 ms
  ASSERT_TRUE(sampler.Deadline(3));
  const PlantReading r = sampler.DoPeriodIo();
  clock.AdvanceMs(20);
  EXPECT_EQ(sampler.EndAfter(), 3);
  EXPECT_FALSE(sampler.EndTaken());
  clock.AdvanceMs(30);
  EXPECT_FALSE(sampler.Deadline(4)) << "no read after the end";
  EXPECT_TRUE(sampler.EndTaken());
  sampler.Answer(3, r);
  Take();
  ASSERT_EQ(samples.size(), 4u);
  EXPECT_TRUE(samples[3].Held);
  EXPECT_EQ(link.reads, 4);
}

// Before the run: the preparation's reads timed (the shorter of two) and the interval a
// subscription of the run's items is granted (deleted at once) say whether the period is
// shorter than the link carries, in the findings' words.
TEST(PeriodTooShort, SaidBeforeTheRunFromTheReadsRoundTripAndTheServersGrantedInterval) {
  auto store = std::make_unique<MeasurementStore>();
  FakePlant plant;
  plant.connected = true;
  ExperimentRun run(*store, plant);
  ManualClock clock;
  run.UseClock(clock);
  auto& group = static_cast<FakePlant::Group&>(plant.AddGroup("Skupina1"));
  run.SetReadGroup(&group);
  run.Setup.ItemMV = group.AddItem("MV");
  run.Setup.ItemY1 = group.AddItem("Y1");
  run.Setup.SamplePeriodMs = 50;
  run.Setup.Separator = ',';
  std::vector<int> roundTrips = {400, 90};  // the connection's first read waited on the server
  group.onRead = [&] {
    clock.AdvanceMs(roundTrips.front());
    if (roundTrips.size() > 1) roundTrips.erase(roundTrips.begin());
  };
  const auto before = [&] {
    EXPECT_EQ(run.ReadPlantBeforeRun(), "");
    return run.PeriodTooShortBeforeRun();
  };
  EXPECT_EQ(before(),
            "Čas vzorčenja 0,05 s je krajši od časa do strežnika (≈ 90 ms); del vzorcev bo "
            "zadržanih (ponovljenih).");
  group.granted = 50;  // the server samples every period: the round trip is carried
  EXPECT_EQ(before(), "");
  group.granted = 100;
  EXPECT_EQ(before(),
            "Čas vzorčenja 0,05 s je krajši od intervala, v katerem vzorči strežnik (100 ms); "
            "del vzorcev bo zadržanih (ponovljenih).");
  EXPECT_EQ(group.subscriptions, 3);
  EXPECT_EQ(group.unsubscribed, 3) << "the subscription of the question deleted at once";
  roundTrips = {30};
  group.granted = 0;
  EXPECT_EQ(before(), "");
  plant.connected = false;  // the run simulates: nothing to ask
  EXPECT_EQ(run.PeriodTooShortBeforeRun(), "");
}
