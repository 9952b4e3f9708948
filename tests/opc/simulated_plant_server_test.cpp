// The simulated plant behind the built-in server: its step response, its controller in
// manual and automatic, and that its course depends on the clock, never on the readers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "data/Clock.h"
#include "opc/SimulatedPlantServer.h"

namespace {

namespace id = SimulatedPlantItems;

SimulatedPlantParameters Quiet() {
  SimulatedPlantParameters p;
  p.InnerNoise = 0;
  p.OuterNoise = 0;
  return p;
}

TEST(SimulatedPlant, StartsSteadyAtTheInitialOutput) {
  ManualClock clock;
  SimulatedPlantServer server(clock, Quiet());
  clock.AdvanceMs(100'000);
  EXPECT_DOUBLE_EQ(server.Read(id::MV), 10);
  EXPECT_DOUBLE_EQ(server.Read(id::U), 10);
  EXPECT_NEAR(server.Read(id::Y1), 28, 1e-9);
  EXPECT_NEAR(server.Read(id::Y2), 38, 1e-9);
  EXPECT_EQ(server.Read(id::RA), 0);
  EXPECT_EQ(server.Read(id::Manual), 1);
  EXPECT_EQ(server.Read(id::Auto), 0);
}

TEST(SimulatedPlant, AManualStepGivesAFirstOrderResponseWithDeadTime) {
  ManualClock clock;
  SimulatedPlantServer server(clock, Quiet());
  ASSERT_TRUE(server.Write(id::MV, 20));  // U 10 -> 20: Y1 28 -> 36 after 5 s dead time
  clock.AdvanceMs(4'900);
  EXPECT_NEAR(server.Read(id::Y1), 28, 1e-9);
  EXPECT_DOUBLE_EQ(server.Read(id::U), 20);
  clock.AdvanceMs(8'000);  // the outer dead time follows the inner one
  EXPECT_GT(server.Read(id::Y1), 28.1);
  EXPECT_NEAR(server.Read(id::Y2), 38, 1e-9);
  clock.AdvanceMs(12'100);  // one time constant after the dead time: 63 %
  EXPECT_NEAR(server.Read(id::Y1), 28 + 8 * (1 - std::exp(-1.0)), 0.05);
  EXPECT_GT(server.Read(id::Y2), 38.1);
  clock.AdvanceMs(600'000);
  EXPECT_NEAR(server.Read(id::Y1), 36, 1e-3);
  EXPECT_NEAR(server.Read(id::Y2), 46, 1e-3);
}

TEST(SimulatedPlant, ActuatorLimitsTheOutput) {
  ManualClock clock;
  SimulatedPlantServer server(clock, Quiet());
  server.Write(id::MV, 150);
  clock.AdvanceMs(100);
  EXPECT_DOUBLE_EQ(server.Read(id::U), 100);
}

TEST(SimulatedPlant, InAutomaticTheControllerBringsY1ToTheSetPointAndIgnoresMV) {
  ManualClock clock;
  SimulatedPlantServer server(clock, Quiet());
  server.Write(id::SP, 35);
  server.Write(id::RA, 1);
  EXPECT_EQ(server.Read(id::Auto), 1);
  server.Write(id::MV, 0);
  clock.AdvanceMs(600'000);
  EXPECT_NEAR(server.Read(id::Y1), 35, 0.01);
  EXPECT_NEAR(server.Read(id::U), (35 - 20) / 0.8, 0.05);
}

TEST(SimulatedPlant, SwitchingIsBumplessAndTheTwoItemSwitchOnlyReactsToOne) {
  ManualClock clock;
  SimulatedPlantServer server(clock, Quiet());
  server.Write(id::SP, 28);
  server.Write(id::Auto, 1);
  clock.AdvanceMs(1'000);
  EXPECT_NEAR(server.Read(id::U), 10, 1e-9);  // no error, no jump
  server.Write(id::SP, 33);
  clock.AdvanceMs(30'000);
  const double u = server.Read(id::U);
  server.Write(id::Auto, 0);  // writing 0 changes nothing
  EXPECT_EQ(server.Read(id::RA), 1);
  server.Write(id::Manual, 1);
  EXPECT_EQ(server.Read(id::RA), 0);
  EXPECT_DOUBLE_EQ(server.Read(id::MV), u);  // the output holds
  clock.AdvanceMs(100);
  EXPECT_DOUBLE_EQ(server.Read(id::U), u);
}

TEST(SimulatedPlant, ControllerParametersAreItemsAndProportionalOnlyLeavesAnOffset) {
  ManualClock clock;
  SimulatedPlantServer server(clock, Quiet());
  server.Write(id::P, 1.5);
  server.Write(id::I, 0);
  server.Write(id::D, 0.5);
  EXPECT_EQ(server.Read(id::P), 1.5);
  EXPECT_EQ(server.Read(id::D), 0.5);
  server.Write(id::RA, 1);
  server.Write(id::SP, 38);
  clock.AdvanceMs(900'000);
  const double y1 = server.Read(id::Y1);
  EXPECT_LT(y1, 37.9);
  EXPECT_GT(y1, 28.5);
  // Static P loop: u = 10 + 1.5 (38 - y1) (the integral kept the output of the switch-over),
  // y1 = 20 + 0.8 u.
  EXPECT_NEAR(y1, (20 + 0.8 * (10 + 1.5 * 38)) / (1 + 0.8 * 1.5), 0.01);
}

TEST(SimulatedPlant, RejectsWritesToUnknownAndReadOnlyItems) {
  ManualClock clock;
  SimulatedPlantServer server(clock);
  EXPECT_FALSE(server.Write("Plant.Nothing", 1));
  EXPECT_FALSE(server.Write(id::Y1, 1));
  EXPECT_FALSE(server.Write(id::U, 1));
  EXPECT_FALSE(server.Find("Plant.Nothing"));
  ASSERT_TRUE(server.Find(id::MV));
  EXPECT_TRUE(server.Find(id::MV)->Writable);
  EXPECT_FALSE(server.Find(id::Y2)->Writable);
}

// The course of Y1 sampled every 100 ms over 60 s, with a write at 10 s, reading every
// readEveryMs in between.
std::vector<double> Y1Course(int readEveryMs) {
  ManualClock clock;
  SimulatedPlantServer server(clock);
  std::vector<double> course;
  for (int t = 0; t <= 60'000; t += readEveryMs) {
    if (t == 10'000) server.Write(id::MV, 30);
    const double y1 = server.Read(id::Y1);
    if (t % 100 == 0) course.push_back(y1);
    clock.AdvanceMs(readEveryMs);
  }
  return course;
}

TEST(SimulatedPlant, RunsAreDeterministicAndIndependentOfHowOftenItIsRead) {
  const std::vector<double> often = Y1Course(10);
  EXPECT_EQ(often, Y1Course(10));
  EXPECT_EQ(often, Y1Course(100));
  EXPECT_EQ(often.size(), 601u);
  EXPECT_NE(often[50], often[51]);  // the noise is there
}

TEST(SimulatedPlant, MeasurementNoiseHasTheGivenDeviation) {
  ManualClock clock;
  SimulatedPlantServer server(clock);
  double sum = 0, squares = 0;
  const int n = 5000;
  for (int i = 0; i < n; ++i) {
    clock.AdvanceMs(100);
    const double e = server.Read(id::Y1) - 28;
    sum += e;
    squares += e * e;
  }
  EXPECT_NEAR(sum / n, 0, 0.01);
  EXPECT_NEAR(std::sqrt(squares / n), 0.1, 0.005);
}

TEST(SimulatedPlant, ALongGapIsSkippedNotSimulatedStepByStep) {
  ManualClock clock;
  SimulatedPlantServer server(clock, Quiet());
  server.Write(id::MV, 20);
  clock.AdvanceMs(1'000LL * 3600 * 24 * 365);  // a year asleep
  EXPECT_NEAR(server.Read(id::Y1), 36, 1e-6);
}

}  // namespace

namespace {
// The tank-level loop: after a valve step of 5 % the level ramps at 0.02 * 5 = 0.1 %/s,
// 8 s late (the noise of 0.05 % stays within the tolerance); in automatic the level
// controller brings the level to its set point; the level stays within 0..100 %.
TEST(SimulatedPlant, TankLevelIntegratesTheInflowAndItsControllerHoldsTheLevel) {
  ManualClock clock;
  SimulatedPlantServer server(clock);
  clock.AdvanceMs(50'000);
  EXPECT_NEAR(server.Read(id::TankLevel), 50, 0.3);  // steady: inflow = outflow
  ASSERT_TRUE(server.Write(id::TankMV, 45));
  clock.AdvanceMs(7'800);
  EXPECT_NEAR(server.Read(id::TankLevel), 50, 0.3);
  clock.AdvanceMs(100'200);
  EXPECT_NEAR(server.Read(id::TankLevel), 60, 0.3);
  clock.AdvanceMs(1'000'000);
  EXPECT_NEAR(server.Read(id::TankLevel), 100, 0.3);  // full
  ASSERT_TRUE(server.Write(id::TankSP, 50));
  ASSERT_TRUE(server.Write(id::TankAuto, 1));
  clock.AdvanceMs(1'500'000);
  EXPECT_NEAR(server.Read(id::TankLevel), 50, 0.5);
  EXPECT_NEAR(server.Read(id::TankU), 40, 1.5);
  // The first loop is untouched by the tank's.
  EXPECT_EQ(server.Read(id::RA), 0);
}
}  // namespace
