// The sampler's grid on an injected clock: reads at their deadlines, held and late
// samples for a plant that answers late, the simulation after a lost link, and the run's
// record of them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
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
