#include <gtest/gtest.h>

#include <cmath>

#include "tuning/Recomputation.h"
#include "tuning/TRegulator.h"

namespace {
// The model of the worked examples: K 2, T 20, L 5 (L/T = 0.25, the area branch).
constexpr double K = 2, T = 20, L = 5;

void ExpectNear(double actual, double expected) {
  EXPECT_NEAR(actual, expected, 1e-12 * std::max(1.0, std::fabs(expected)));
}

void ExpectSet(const ControllerSet& c, std::array<double, 7> e) {
  ExpectNear(c.KiI, e[0]);
  ExpectNear(c.KpP, e[1]);
  ExpectNear(c.KpPI, e[2]);
  ExpectNear(c.KiPI, e[3]);
  ExpectNear(c.KpPID, e[4]);
  ExpectNear(c.KiPID, e[5]);
  ExpectNear(c.KdPID, e[6]);
}
}  // namespace

TEST(CharacteristicAreas, UseTheRoundedThirdAndEachIntermediate) {
  const AreaSet a = TRegulator::ComputeAreas(K, T, L);
  EXPECT_EQ(a[0], 2);
  EXPECT_EQ(a[1], 50);
  EXPECT_EQ(a[2], 1025);
  // f3 = 5 * 12.5 * 0.33333333, not 5 * 12.5 / 3.
  ExpectNear(a[3], 20541.66666625);
  ExpectNear(a[4], 410885.4166578125);
  ExpectNear(a[5], 8217760.416489062);
}

TEST(AreaRules, GiveTheHandComputedGainsOnTheWorkedModel) {
  const AreaSet a = TRegulator::ComputeAreas(K, T, L);
  EXPECT_DOUBLE_EQ(TRegulator::GainI(a[1]), 0.01);
  // (2*2*1025 - 2500) / (2*2*(2500 - 2050)) = 1600 / 1800
  ExpectNear(TRegulator::GainP(a, MaxLoopGain), 0.8888888888888888);
  const PiGains spi = TRegulator::SetpointPI(a, MaxLoopGain);
  ExpectNear(spi.Kp, 1.0102459015360452);
  ExpectNear(spi.Ki, 0.05040983606144181);
  const PiGains dpi = TRegulator::DisturbancePI(a, MaxLoopGain);
  ExpectNear(dpi.Kp, 1.0102459015360452);
  ExpectNear(dpi.Ki, 0.09123370732425688);
  const PidGains spid = TRegulator::SetpointPID(a, MaxLoopGain);
  ExpectNear(spid.Kp, 1.6269132558449821);
  ExpectNear(spid.Ki, 0.07507653023379929);
  ExpectNear(spid.Kd, 2.5077805743952326);
  const PidGains dpid = TRegulator::DisturbancePID(a, MaxLoopGain);
  ExpectNear(dpid.Kp, 2.005611392060109);
  ExpectNear(dpid.Ki, 0.2091611220226807);
  ExpectNear(dpid.Kd, 2.5077805743952326);
}

TEST(AreaRules, ClampTheLoopGainToTheLimit) {
  // A negative P gain (loop gain below 0) becomes MaxLoopGain / A0.
  const AreaSet a{4, 1, 0, 1, 0, 0};
  EXPECT_DOUBLE_EQ(TRegulator::GainP(a, MaxLoopGain), 2.5);
  // A3 = 0 gives Kp = 0 for the PI rules.
  const AreaSet noA3{2, 3, 1, 0, 0, 0};
  EXPECT_EQ(TRegulator::SetpointPI(noA3, MaxLoopGain).Kp, 0);
}

TEST(AreaRules, DisturbancePidWithoutARealRootFallsBackToThePiRuleWithoutD) {
  // Here the set-point rule gives Kd = 0.917 and the quadratic has a negative discriminant.
  const AreaSet a{0.5, 10, 10, 10, 1000, 10000};
  ASSERT_GT(TRegulator::SetpointPID(a, MaxLoopGain).Kd, 0.9);
  const PidGains g = TRegulator::DisturbancePID(a, MaxLoopGain);
  const PiGains pi = TRegulator::DisturbancePI(a, MaxLoopGain);
  EXPECT_EQ(g.Kd, 0);
  EXPECT_EQ(g.Kp, pi.Kp);
  EXPECT_EQ(g.Ki, pi.Ki);
  ExpectNear(g.Kp, 0.05263157894736842);
  ExpectNear(g.Ki, 0.05266620498614959);
}

TEST(SingleLoopTuning, EachMethodOnTheWorkedModel) {
  // Area rules for set-point changes, all seven times 0.85.
  ExpectSet(TRegulator::TuneSingleLoop(0, K, T, L, MaxLoopGain),
            {0.0085, 0.7555555555555555, 0.8587090163056385, 0.04284836065222554,
             1.3828762674682349, 0.06381505069872939, 2.131613488235948});
  ExpectSet(TRegulator::TuneSingleLoop(1, K, T, L, MaxLoopGain),
            {0.01, 0.8888888888888888, 1.0102459015360452, 0.09123370732425688,
             2.005611392060109, 0.2091611220226807, 2.5077805743952326});
  // rho = T / (K L) = 2.
  ExpectSet(TRegulator::TuneSingleLoop(2, K, T, L, MaxLoopGain),
            {0.7 / 24, 0.7, 0.7, 0.7 / 24, 1.2, 0.06, 3});
  ExpectSet(TRegulator::TuneSingleLoop(3, K, T, L, MaxLoopGain),
            {0.06, 1.2, 1.2, 0.06, 1.9, 1.9 / 12, 5 * 0.42 * 1.9});
  // tau = 0.8, n = 0.82, Kp = 0.41, Ki = 0.41 / (25 * 0.82).
  ExpectSet(TRegulator::TuneSingleLoop(4, K, T, L, MaxLoopGain), {0.02, 0.41, 0.41, 0.02, 0, 0, 0});
  ExpectSet(TRegulator::TuneSingleLoop(5, K, T, L, MaxLoopGain), {0.12, 2, 1.8, 0.12, 2.4, 0.24, 6});
  ExpectSet(TRegulator::TuneSingleLoop(6, K, T, L, MaxLoopGain), {0, 0, 0, 0, 0, 0, 0});
  ExpectSet(TRegulator::TuneSingleLoop(42, K, T, L, MaxLoopGain), {0, 0, 0, 0, 0, 0, 0});
}

TEST(SingleLoopTuning, SmallDeadTimeGivesPidEqualToPiWithoutThe085Factor) {
  // L/T = 0.05: KiI = 0.5 / A1, Kp = 5.05 / K.
  ExpectSet(TRegulator::TuneSingleLoop(0, 2, 100, 5, MaxLoopGain),
            {0.002380952380952381, 2.525, 2.525, 0.039227678571428566, 2.525,
             0.039227678571428566, 0});
  ExpectSet(TRegulator::TuneSingleLoop(1, 2, 100, 5, MaxLoopGain),
            {0.002380952380952381, 2.525, 2.525, 0.08714880952380952, 2.525, 0.08714880952380952,
             0});
}

TEST(SingleLoopTuning, ZeroModelValuesGiveTheNamedDefaultsNotErrors) {
  // K L = 0: rho = 10000.
  const ControllerSet c = TRegulator::TuneSingleLoop(5, 2, 20, 0, MaxLoopGain);
  EXPECT_EQ(c.KpP, 10000);
  EXPECT_EQ(c.KiPI, 10000);  // Kp / (3 L) with L = 0
  for (int m = 0; m <= 6; ++m) {
    const ControllerSet z = TRegulator::TuneSingleLoop(m, 0, 0, 0, MaxLoopGain);
    for (double v : {z.KiI, z.KpP, z.KpPI, z.KiPI, z.KpPID, z.KiPID, z.KdPID})
      EXPECT_TRUE(std::isfinite(v)) << "method " << m;
  }
}

TEST(CascadeTuning, InnerLoopAreasAndProductFollowTheDefinitions) {
  const AreaSet ai = TRegulator::ComputeAreas(K, T, L);
  const AreaSet b = TRegulator::InnerLoopAreas(ai, 1.5);
  const double g = 1 / (1 + 1.5 * 2);
  ExpectNear(b[0], 1.5 * 2 * g);
  ExpectNear(b[2], 1.5 * 1025 * g * g * g);
  const AreaSet c = TRegulator::AreaProduct(b, AreaSet{1, 2, 3, 4, 5, 6});
  ExpectNear(c[1], b[0] * 2 + b[1] * 1);
  ExpectNear(c[2], b[0] * 3 + b[1] * 2 + b[2]);
}

TEST(CascadeTuning, QuadraticRootsRealAndComplex) {
  // x^2 - 3x + 2 = 0: roots 2 and 1.
  QuadraticResult r = TRegulator::QuadraticRoots(2, -3, 1);
  EXPECT_EQ(r.X1, 2);
  EXPECT_EQ(r.X2, 1);
  EXPECT_EQ(r.Imaginary, 0);
  // x^2 + 2x + 5 = 0: -1 +- 2i.
  r = TRegulator::QuadraticRoots(5, 2, 1);
  EXPECT_EQ(r.X1, -1);
  EXPECT_EQ(r.Imaginary, 2);
  // gamma = 0 divides with the default 1e10.
  EXPECT_EQ(TRegulator::QuadraticRoots(0, -2, 0).X1, 1e10);
}

TEST(CascadeTuning, MethodsTwoToFourHaveNoPOrIRowsAndMethodFiveAPRowOfTheEquivalentModel) {
  // Inner K 2, T 20, L 5; outer K 1.5, T 40, L 8.
  for (int m : {2, 3, 4}) {
    const CascadeTuning c = TRegulator::TuneCascade(m, K, T, L, 1.5, 40, 8, MaxLoopGain);
    EXPECT_EQ(c.Outer.KpP, 0) << m;
    EXPECT_EQ(c.Outer.KiI, 0) << m;
    EXPECT_EQ(c.Outer.KpPID, c.Outer.KpPI) << m;
    EXPECT_EQ(c.Outer.KdPID, 0) << m;
  }
  // Equivalent model of method 5: Keq 1.2371134, Teq 40.153283, Leq 12.228161.
  const CascadeTuning c5 = TRegulator::TuneCascade(5, K, T, L, 1.5, 40, 8, MaxLoopGain);
  ExpectNear(c5.InnerLoopGain, 2 / 0.85);
  ExpectNear(c5.Outer.KpP, 2.6543024584021);
  EXPECT_NEAR(c5.Outer.KpP, 40.15328266835146 / (1.2371134020618557 * 12.228160630617609), 1e-12);
  ExpectNear(c5.Outer.KpPI, 0.9 * 2.6543024584021);
  // Method 2 (inner-loop gain 0.7 / 0.85): Keq 0.93333, Teq 40.707326, Leq 16.737118.
  const CascadeTuning c2 = TRegulator::TuneCascade(2, K, T, L, 1.5, 40, 8, MaxLoopGain);
  ExpectNear(c2.Outer.KpPI, 0.35 * 2.6058842582928974);
  ExpectNear(c2.Outer.KiPI, 0.35 * 2.6058842582928974 / (1.2 * 40.707326364588056));
}

TEST(Recomputation, AfterACascadeTheSingleLoopPSlotHoldsTheInnerLoopGain) {
  MeasurementStore store;
  store.InnerGain = K, store.InnerTimeConstant = T, store.InnerDeadTime = L;
  store.OuterGain = 1.5, store.OuterTimeConstant = 40, store.OuterDeadTime = 8;
  ApplyTuning(store, 2, 10, false);
  EXPECT_DOUBLE_EQ(store.Tuning.KpP, 0.7);
  ApplyTuning(store, 2, 10, true);
  // 0.7 / 0.85 as the tab shows it (four decimals): the one number loaded and simulated.
  EXPECT_DOUBLE_EQ(store.Tuning.InnerLoopGain, 0.8235);
  EXPECT_EQ(store.Tuning.KpP, store.Tuning.InnerLoopGain);
  EXPECT_DOUBLE_EQ(store.Tuning.KpPI, 0.7);  // the rest of the single-loop set stays
  // No selection counts as the first method.
  ApplyTuning(store, -1, 10, false);
  EXPECT_DOUBLE_EQ(store.Tuning.KpPI, 0.8587090163056385);
}

TEST(Recomputation, RobustnessFactorAtTheSliderEndsAndMiddle) {
  EXPECT_DOUBLE_EQ(RobustnessFactor(0), 0.1);
  EXPECT_NEAR(RobustnessFactor(10), 1.0000000335, 1e-10);
  EXPECT_NEAR(RobustnessFactor(20), 2.6455845, 1e-7);
}

TEST(Recomputation, SummaryTextsCarryTheFactorAndTheirDecimals) {
  MeasurementStore store;
  store.InnerGain = K, store.InnerTimeConstant = T, store.InnerDeadTime = L;
  ApplyTuning(store, 5, 0, false);  // f = 0.1
  TuningSummary s = SummaryTexts(store, false, ',');
  EXPECT_EQ(s.KpCascade, "0");
  EXPECT_EQ(s.Ki, "0,01200");
  EXPECT_EQ(s.KpP, "0,20000");
  EXPECT_EQ(s.PIKp, "0,1800");  // four significant digits at least
  EXPECT_EQ(s.PIKi, "0,012000");
  EXPECT_EQ(s.PIDKp, "0,2400");
  EXPECT_EQ(s.PIDKi, "0,024000");
  EXPECT_EQ(s.PIDKd, "0,6000");
  // Method " " shows zeros everywhere.
  ApplyTuning(store, 6, 10, false);
  s = SummaryTexts(store, false, '.');
  for (const std::string& t : {s.Ki, s.KpP}) EXPECT_EQ(t, "0.00000");
  for (const std::string& t : {s.PIKp, s.PIDKp, s.PIDKd}) EXPECT_EQ(t, "0.000");
  for (const std::string& t : {s.PIKi, s.PIDKi}) EXPECT_EQ(t, "0.000000");
}

TEST(Recomputation, RecommendedSamplingTimeIsATenthOfTheShorterTime) {
  MeasurementStore store;
  store.InnerGain = K, store.InnerTimeConstant = T, store.InnerDeadTime = L;
  ApplyTuning(store, 2, 10, false);
  // x1 = 20 / (0.7 * 2) = 14.29, x2 = 1 / (0.7/24 * 2) = 17.14: 14.29 / 10 = 1.429.
  EXPECT_NEAR(RecommendedSampleTime(store, false), 1.429, 1e-12);
  EXPECT_EQ(SummaryTexts(store, false, '.').Recommended, "1.429");
  // Method " ": both times default to 1000.
  ApplyTuning(store, 6, 10, false);
  EXPECT_EQ(SummaryTexts(store, false, '.').Recommended, "100.000");
}

TEST(Recomputation, NoValueThatIsNotFiniteIsShown) {
  EXPECT_EQ(FormatParameter(std::nan(""), 3, '.'), NotFiniteText);
  EXPECT_EQ(FormatParameter(INFINITY, 3, '.'), NotFiniteText);
  MeasurementStore store;
  store.InnerGain = 1e-320, store.InnerTimeConstant = 1, store.InnerDeadTime = 0.001;
  ApplyTuning(store, 0, 10, false);  // 5.05 / K overflows
  const TuningSummary s = SummaryTexts(store, false, '.');
  for (const std::string& t : {s.KpCascade, s.Ki, s.KpP, s.PIKp, s.PIKi, s.PIDKp, s.PIDKi,
                               s.PIDKd, s.Recommended}) {
    EXPECT_EQ(t.find("NAN"), std::string::npos);
    EXPECT_EQ(t.find("INF"), std::string::npos);
  }
}

TEST(SequencerGain, LargestSlopeOverTheOutputRange) {
  const std::vector<std::pair<double, double>> rows{{0, 0}, {50, 20}, {100, 100}};
  EXPECT_DOUBLE_EQ(TRegulator::SequencerMaxGain(rows, 10, 30), 1.6);
  // A range inside the first segment still looks one segment ahead.
  const std::vector<std::pair<double, double>> four{{0, 0}, {10, 10}, {20, 15}, {30, 45}};
  EXPECT_DOUBLE_EQ(TRegulator::SequencerMaxGain(four, 0, 5), 1);
  EXPECT_DOUBLE_EQ(TRegulator::SequencerMaxGain(four, 12, 14), 3);
  EXPECT_EQ(TRegulator::SequencerMaxGain({{0, 0}}, 0, 1), 1);
  EXPECT_EQ(TRegulator::SequencerMaxGain({}, 0, 1), 1);
  // Equal inputs give the default slope 1000.
  EXPECT_EQ(TRegulator::SequencerMaxGain({{5, 0}, {5, 10}}, 0, 10), 1000);
}

TEST(SequencerGain, AFlatCharacteristicCountsAsOneWithANote) {
  const double q = TRegulator::SequencerMaxGain({{0, 50}, {50, 50}, {100, 50}}, 0, 100);
  EXPECT_EQ(q, 0);
  std::string note;
  EXPECT_EQ(UsableSequencerGain(q, note), 1);
  EXPECT_FALSE(note.empty());
  EXPECT_EQ(UsableSequencerGain(1.6, note), 1.6);
  EXPECT_TRUE(note.empty());
}

TEST(Recomputation, AControllerParameterKeepsFourSignificantDigitsAndIsNeverRoundedToZero) {
  EXPECT_EQ(FormatControllerParameter(0.00264, 3, '.'), "0.002640");
  EXPECT_EQ(FormatControllerParameter(0.00002, 3, ','), "0,00002000");  // a gain of 50 000
  EXPECT_EQ(FormatControllerParameter(2.0, 3, '.'), "2.000");
  EXPECT_EQ(FormatControllerParameter(-0.0123456, 3, '.'), "-0.01235");
  EXPECT_EQ(FormatControllerParameter(0, 3, '.'), "0.000");
  EXPECT_EQ(FormatControllerParameter(1.5e-14, 3, '.'), "1.5E-14");
  EXPECT_EQ(FormatControllerParameter(NAN, 3, '.'), NotFiniteText);
}
