#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "tuning/Recomputation.h"
#include "tuning/Robustness.h"

namespace {
constexpr double Pi = 3.14159265358979323846;

SampledProcess Lag(double k, double t, double l, double h) {
  SampledProcess p;
  p.SampleTime = h;
  p.Gain = k, p.TimeConstant = t, p.DeadTime = l;
  return p;
}

MeasurementStore WorkedModel() {
  MeasurementStore s;
  s.InnerGain = 2, s.InnerTimeConstant = 20, s.InnerDeadTime = 5;
  s.OuterGain = 1.5, s.OuterTimeConstant = 40, s.OuterDeadTime = 8;
  return s;
}

LoopController Scaled(LoopController c, double factor) {
  c.Kp *= factor, c.Ki *= factor, c.Kd *= factor;
  return c;
}

// The simulated response grows: its swing about the set-point over the last tenth of a
// long run is larger than over the tenth before the middle.
bool SimulationDiverges(const MeasurementStore& s, double h, bool cascade, const LoopController& c) {
  const int n = 20000;
  std::vector<double> y(n + 1000, 0), inner(n + 1000, 0);
  if (cascade)
    TRegulator::SimulateCascade(c.Type, n, y, inner, s.OuterDeadTime, s.OuterTimeConstant,
                                s.OuterGain, s.InnerDeadTime, s.InnerTimeConstant, s.InnerGain, h,
                                0, 1, s.Tuning.InnerLoopGain, c.Kd, c.Ki, c.Kp);
  else
    TRegulator::SimulateLoop(c.Type, n, y, s.InnerDeadTime, s.InnerTimeConstant, s.InnerGain, h, 0,
                             1, c.Kd, c.Ki, c.Kp);
  auto swing = [&](int from, int to) {
    double m = 0;
    for (int k = from; k < to; ++k) m = std::max(m, std::isfinite(y[k]) ? std::fabs(y[k] - 1) : 1e300);
    return m;
  };
  return swing(9 * n / 10, n) > swing(4 * n / 10, n / 2);
}
}  // namespace

TEST(Robustness, PControllerOnALagWithoutDeadTime) {
  // The simulated loop sees its output two samples late: L = g / (z (z - a)) with
  // g = Kp K (1 - a). Its phase reaches -180° where cos(wh) = a/2, and there
  // z (z - a) = -1, so the gain margin is 1/g (not infinite as for a continuous lag).
  const double k = 2, t = 10, h = 1, kp = 2;
  const double a = std::exp(-h / t), g = kp * k * (1 - a);
  const RobustnessFigures r = LoopRobustness(Lag(k, t, 0, h), {SimP, kp, 0, 0});
  ASSERT_TRUE(r.Stable);
  EXPECT_NEAR(r.GainMargin, 1 / g, 1e-9 / g);
  EXPECT_NEAR(r.GainMarginDb, -20 * std::log10(g), 1e-8);
  EXPECT_NEAR(r.PhaseCrossover * h, std::acos(a / 2), 1e-9);
  // |L| = 1 where |e^{jwh} - a| = g.
  const double wc = std::acos((1 + a * a - g * g) / (2 * a));
  const std::complex<double> z = std::polar(1.0, wc);
  const double pm = 180 + std::arg(g / (z * (z - a))) * 180 / Pi;
  EXPECT_NEAR(r.GainCrossover * h, wc, 1e-9);
  EXPECT_NEAR(r.PhaseMargin, pm, 1e-7);

  // Without a controller nothing crosses: gain margin "∞", phase margin "–", Ms 1.
  const RobustnessFigures none = LoopRobustness(Lag(k, t, 0, h), {SimP, 0, 0, 0});
  EXPECT_TRUE(none.Stable);
  EXPECT_TRUE(std::isinf(none.GainMargin));
  EXPECT_TRUE(std::isnan(none.PhaseMargin));
  EXPECT_DOUBLE_EQ(none.Ms, 1);
  const RobustnessTexts text = FormatRobustness(none, ',');
  EXPECT_EQ(text.Line, "Ms 1,00 Ar \xE2\x88\x9E \xCF\x86r \xE2\x80\x93");
  EXPECT_FALSE(text.Warning);
}

TEST(Robustness, PiWhoseZeroCancelsTheLagHasClosedFormMargins) {
  // Ki h = Kp (1 - a) / a puts the PI's zero on the lag's pole: L = g / (z (z - 1)) with
  // g = Kp K (1 - a) / a. |L| = 1 at
  // 2 sin(wh/2) = g, where arg L = -90° - 1.5 wh; L = -g at wh = 60°; the
  // characteristic polynomial z^2 - z + g is stable for g < 1.
  const double k = 2, t = 10, h = 0.5, kp = 1.5;
  const double a = std::exp(-h / t), g = kp * k * (1 - a) / a;
  const LoopController pi{SimPI, kp, kp * (1 - a) / (a * h), 0};
  const RobustnessFigures r = LoopRobustness(Lag(k, t, 0, h), pi);
  ASSERT_TRUE(r.Stable);
  const double wc = 2 * std::asin(g / 2);
  EXPECT_NEAR(r.PhaseMargin, 90 - 1.5 * wc * 180 / Pi, 1e-7);
  EXPECT_NEAR(r.GainMargin, 1 / g, 1e-9 / g);
  EXPECT_NEAR(r.PhaseCrossover * h, Pi / 3, 1e-9);
  // Ms against a fine scan of |S| = |z - 1| / |z^2 - z + g|.
  double scan = 0;
  for (int i = 1; i <= 200000; ++i) {
    const std::complex<double> z = std::polar(1.0, Pi * i / 200000);
    scan = std::max(scan, std::abs(z - 1.0) / std::abs(z * z - z + g));
  }
  EXPECT_GE(r.Ms, scan - 1e-12);
  EXPECT_NEAR(r.Ms, scan, 1e-6);

  // With 30 samples of dead time |S| = |z - 1| / |z^31 (z - 1) + g| ripples thirty times:
  // the peak is still found.
  const RobustnessFigures delayed = LoopRobustness(Lag(k, t, 30 * h, h), Scaled(pi, 0.1));
  ASSERT_TRUE(delayed.Stable);
  scan = 0;
  for (int i = 1; i <= 400000; ++i) {
    const std::complex<double> z = std::polar(1.0, Pi * i / 400000);
    scan = std::max(scan, std::abs(z - 1.0) / std::abs(std::pow(z, 31) * (z - 1.0) + 0.1 * g));
  }
  EXPECT_GE(delayed.Ms, scan - 1e-12);
  EXPECT_NEAR(delayed.Ms, scan, 1e-6);

  EXPECT_TRUE(LoopRobustness(Lag(k, t, 0, h), Scaled(pi, 0.999 / g)).Stable);
  EXPECT_FALSE(LoopRobustness(Lag(k, t, 0, h), Scaled(pi, 1.001 / g)).Stable);
}

TEST(Robustness, PastTheGainMarginTheSimulationDivergesAndTheFiguresSayUnstable) {
  for (bool cascade : {false, true}) {
    MeasurementStore s = WorkedModel();
    ApplyTuning(s, 0, 10, cascade);
    const double h = 1;
    const ProposedControllers p = ProposedLoopControllers(s.Tuning, cascade);
    const SampledProcess process = SampledProcessOfStore(s, h, cascade);
    for (const LoopController& c : {p.I, p.P, p.PI, p.PID}) {
      SCOPED_TRACE(testing::Message() << "cascade " << cascade << " type " << c.Type);
      const RobustnessFigures r = LoopRobustness(process, c);
      ASSERT_TRUE(r.Stable);
      ASSERT_TRUE(std::isfinite(r.GainMargin));
      EXPECT_GT(r.Ms, 1);
      EXPECT_FALSE(SimulationDiverges(s, h, cascade, Scaled(c, 0.97 * r.GainMargin)));
      const LoopController beyond = Scaled(c, 1.03 * r.GainMargin);
      EXPECT_TRUE(SimulationDiverges(s, h, cascade, beyond));
      const RobustnessFigures u = LoopRobustness(process, beyond);
      EXPECT_FALSE(u.Stable);
      EXPECT_EQ(FormatRobustness(u, ',').Line, "nestabilno");
    }
  }
}

TEST(Robustness, GainMarginIsTheExtraScalingOfPAndIThatReachesTheStabilityLimit) {
  MeasurementStore s = WorkedModel();
  ApplyTuning(s, 1, 14, false);
  const SampledProcess process = SampledProcessOfStore(s, 0.5, false);
  PanelInput in;
  in.Form = 0, in.Type = 2;
  const double gm = LoopRobustness(process, ComputeControllerPanel(s.Tuning, in, '.').Controller)
                        .GainMargin;
  double lo = 0.5 * gm, hi = 2 * gm;  // stable at lo, unstable at hi
  while (hi - lo > 1e-9 * gm) {
    in.ScaleP = in.ScaleI = 0.5 * (lo + hi);
    const bool stable =
        LoopRobustness(process, ComputeControllerPanel(s.Tuning, in, '.').Controller).Stable;
    (stable ? lo : hi) = in.ScaleP;
  }
  EXPECT_NEAR(lo / gm, 1, 1e-6);
}

TEST(Robustness, PanelFormsDescribeOneController) {
  MeasurementStore s = WorkedModel();
  ApplyTuning(s, 0, 10, false);
  PanelInput in;
  in.Type = 3;
  in.ScaleP = 1.1, in.ScaleI = 0.9, in.ScaleD = 1.2;
  in.Form = 0;
  const LoopController general = ComputeControllerPanel(s.Tuning, in, '.').Controller;
  EXPECT_EQ(general.Type, SimPID);
  for (int form : {1, 2}) {
    // Ti and Td scaled instead of Ki and Kd: Ki' = Kp'/(sI Ti), Kd' = Kp' sD Td.
    in.Form = form;
    const LoopController c = ComputeControllerPanel(s.Tuning, in, '.').Controller;
    EXPECT_DOUBLE_EQ(c.Kp, general.Kp);
    const double ki = general.Ki * 1.1 * (form == 1 ? 1 / (0.9 * 0.9) : 1);
    EXPECT_NEAR(c.Ki, ki, 1e-12 * ki);
    EXPECT_NEAR(c.Kd, general.Kd * 1.1, 1e-12 * general.Kd);
  }
  // The series form gives the same parallel controller as the general form it came from.
  in.Form = 3, in.ScaleP = in.ScaleI = in.ScaleD = 1;
  const LoopController series = ComputeControllerPanel(s.Tuning, in, '.').Controller;
  in.Form = 0;
  const LoopController parallel = ComputeControllerPanel(s.Tuning, in, '.').Controller;
  ASSERT_GT(series.Kp, 0);  // a series form exists for this PID (4 Td < Ti)
  EXPECT_NEAR(series.Kp, parallel.Kp, 1e-12 * parallel.Kp);
  EXPECT_NEAR(series.Ki, parallel.Ki, 1e-12 * parallel.Ki);
  EXPECT_NEAR(series.Kd, parallel.Kd, 1e-12 * parallel.Kd);
}

TEST(Robustness, TextsAndRefusals) {
  RobustnessFigures f;
  f.Stable = true, f.Ms = 2.345, f.GainMargin = 1.5, f.GainMarginDb = 20 * std::log10(1.5);
  f.PhaseMargin = 31.26, f.PeakFrequency = 0.1;
  const RobustnessTexts t = FormatRobustness(f, ',');
  EXPECT_EQ(t.Ms, "2,35");
  EXPECT_EQ(t.GainMargin, "1,50 (3,5 dB)");
  EXPECT_EQ(t.PhaseMargin, "31,3\xC2\xB0");
  EXPECT_TRUE(t.Warning);
  EXPECT_NE(t.ToolTip.find("Ms > 2"), std::string::npos);

  EXPECT_EQ(RobustnessRefusal(Lag(2, 10, 1, 0)),
            "Robustnost ni izračunana: čas vzorčenja zaprte zanke ni podan ali ni večji od 0.");
  EXPECT_EQ(RobustnessRefusal(Lag(0, 10, 1, 1)),
            "Robustnost ni izračunana: ojačenje notranjega procesa je 0.");
  EXPECT_EQ(RobustnessRefusal(Lag(2, 10, -3, 1)),
            "Robustnost ni izračunana: mrtvi čas modela je negativen.");
  const RobustnessSet none = ComputeRobustness(Lag(2, 10, 1e9, 1), {}, std::nullopt);
  EXPECT_EQ(none.Reason, "Robustnost ni izračunana: mrtvi čas modela je daljši od 100000 vzorcev.");
  EXPECT_THROW(LoopRobustness(Lag(2, 10, 1, 0), {}), std::invalid_argument);
}

TEST(Robustness, ReportTableRowsInTheOrderOfTheControllerTable) {
  MeasurementStore s = WorkedModel();
  ApplyTuning(s, 1, 10, false);
  const RobustnessSet set = ComputeRobustness(SampledProcessOfStore(s, 0.5, false),
                                              ProposedLoopControllers(s.Tuning, false), std::nullopt);
  const std::vector<RobustnessTableRow> rows = RobustnessTableRows(set, ',');
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (RobustnessTableRow{"Tip regulatorja", "Ms", "Amplitudni razloček",
                                         "Fazni razloček"}));
  EXPECT_EQ(rows[3][0], "PI regulator");
  EXPECT_EQ(rows[3][1], FormatRobustness(set.PI, ',').Ms);
  EXPECT_EQ(rows[3][2], FormatRobustness(set.PI, ',').GainMargin);
  EXPECT_NE(rows[3][2].find(" dB)"), std::string::npos);
  const RobustnessSet none = ComputeRobustness(SampledProcessOfStore(s, 0, false), {}, std::nullopt);
  EXPECT_EQ(RobustnessTableRows(none, ',')[1][1], "\xE2\x80\x93");
  // Every controller of the rule was proposed; one whose gains are all 0 was not.
  EXPECT_TRUE(set.I.Proposed && set.P.Proposed && set.PI.Proposed && set.PID.Proposed);
  ProposedControllers withoutI = ProposedLoopControllers(s.Tuning, false);
  withoutI.I = {SimI, 0, 0, 0};
  EXPECT_FALSE(
      ComputeRobustness(SampledProcessOfStore(s, 0.5, false), withoutI, std::nullopt).I.Proposed);
}

TEST(Robustness, ThePidRowIsTheControllerThePanelLoadsAtEverySliderPosition) {
  // Parallel form, scales 1, no sequencer: the panel loads Kp·f, Ki·f and Kd·f, the row
  // shows them, and the row's figures must be that controller's.
  for (int slider = 0; slider <= 20; ++slider) {
    SCOPED_TRACE(slider);
    MeasurementStore s = WorkedModel();
    ApplyTuning(s, 2, slider, false);
    PanelInput in;
    in.Form = 0, in.Type = 3;
    const ControllerPanel panel = ComputeControllerPanel(s.Tuning, in, '.');
    const RobustnessSet set =
        ComputeRobustness(SampledProcessOfStore(s, 0.5, false),
                          ProposedLoopControllers(s.Tuning, false), panel.Controller);
    ASSERT_TRUE(set.Reason.empty());
    ASSERT_TRUE(set.Scaled);
    EXPECT_EQ(set.PID.Stable, set.Scaled->Stable);
    if (set.PID.Stable) EXPECT_NEAR(set.PID.Ms, set.Scaled->Ms, 1e-12);
  }
}
