#include <gtest/gtest.h>

#include "tuning/Recomputation.h"

namespace {
TuningResult WorkedSet() {
  // Method 5 on K 2, T 20, L 5 at slider 10.
  TuningResult t;
  t.KiI = 0.12, t.KpP = 2, t.KpPI = 1.8, t.KiPI = 0.12, t.KpPID = 2.4, t.KiPID = 0.24, t.KdPID = 6;
  t.RobustnessFactor = 1;
  return t;
}
ControllerPanel Panel(const TuningResult& t, int form, int type, bool cascade = false,
                      double q = 1) {
  PanelInput in;
  in.Form = form;
  in.Type = type;
  in.Cascade = cascade;
  in.SequencerGain = q;
  return ComputeControllerPanel(t, in, '.');
}
}  // namespace

TEST(ControllerPanel, TypesShowOnlyTheirTermsWithNames) {
  const TuningResult t = WorkedSet();
  ControllerPanel p = Panel(t, 0, 0);
  EXPECT_EQ(p.NameKp, "Kp:");
  EXPECT_EQ(p.NameKi, "");
  EXPECT_EQ(p.Kp, "2.000");
  EXPECT_EQ(p.Ki, "");
  EXPECT_EQ(p.Kd, "");
  EXPECT_TRUE(p.ShowKp && !p.ShowKi && !p.ShowKd);
  p = Panel(t, 0, 1);
  EXPECT_EQ(p.NameKi, "Ki:");
  EXPECT_EQ(p.Ki, "0.120000");
  EXPECT_EQ(p.Kp, "");
  p = Panel(t, 0, 2);
  EXPECT_EQ(p.Kp, "1.800");
  EXPECT_EQ(p.Ki, "0.120000");
  EXPECT_EQ(p.Kd, "");
  EXPECT_EQ(p.NameKd, "");
  p = Panel(t, 0, 3);
  EXPECT_EQ(p.NameKd, "Kd:");
  EXPECT_EQ(p.Kd, "6.000");
}

TEST(ControllerPanel, FormsShowTiOneOverTiAndTdFromTheUnscaledGains) {
  TuningResult t = WorkedSet();
  t.RobustnessFactor = 0.1;  // reaches the gains, not the ratios
  ControllerPanel p = Panel(t, 1, 2);
  EXPECT_EQ(p.NameKi, "Ti:");
  EXPECT_EQ(p.Kp, "0.1800");
  EXPECT_EQ(p.Ki, "15.000000");
  p = Panel(t, 2, 2);
  EXPECT_EQ(p.NameKi, "1/Ti:");
  EXPECT_EQ(p.Ki, "0.066667");
  p = Panel(t, 1, 3);
  EXPECT_EQ(p.NameKd, "Td:");
  EXPECT_EQ(p.Ki, "10.000000");
  EXPECT_EQ(p.Kd, "2.500");
  // A negative form counts as the general parallel form.
  EXPECT_EQ(Panel(t, -1, 3).NameKd, "Kd:");
}

TEST(ControllerPanel, SeriesFormConvertsOrShowsZerosWhenFourTdExceedTi) {
  TuningResult t = WorkedSet();
  // Ti = 10, Td = 2.5: w = 0, Kp' = 1.2, Ti' = Td' = 5.
  ControllerPanel p = Panel(t, 3, 3);
  EXPECT_EQ(p.Kp, "1.200");
  EXPECT_EQ(p.Ki, "5.000000");
  EXPECT_EQ(p.Kd, "5.000");
  t.KdPID = 12;  // Td = 5, 4 Td > Ti
  p = Panel(t, 3, 3);
  EXPECT_EQ(p.Kp, "0.000");
  EXPECT_EQ(p.Ki, "0.000000");
  EXPECT_EQ(p.Kd, "0.000");
}

TEST(ControllerPanel, ScalingAndSequencerGainInCascade) {
  TuningResult t;
  t.CascKpPI = 1.8, t.CascKiPI = 0.12, t.RobustnessFactor = 1;
  PanelInput in;
  in.Type = 2;
  in.Cascade = true;
  in.SequencerGain = 2;
  in.ScaleP = 3;
  in.ScaleI = 10;
  ControllerPanel p = ComputeControllerPanel(t, in, ',');
  EXPECT_EQ(p.SequencerCaption, "Maks. ojač. sekv.:");
  EXPECT_EQ(p.SequencerValue, "2,0000");
  EXPECT_EQ(p.Kp, "2,700");     // 3 * 1.8 / 2
  EXPECT_EQ(p.Ki, "0,600000");  // 10 * 0.12 / 2
  in.Form = 1;                  // Ti is a ratio: the sequencer gain does not reach it
  EXPECT_EQ(ComputeControllerPanel(t, in, ',').Ki, "150,000000");
  // Single loop: no caption, and the single-loop set.
  in.Cascade = false;
  p = ComputeControllerPanel(t, in, ',');
  EXPECT_EQ(p.SequencerCaption, "");
  EXPECT_EQ(p.SequencerValue, "");
  EXPECT_EQ(p.Kp, "0,000");
}

TEST(ControllerPanel, MethodBlankShowsZerosInEveryPanelValue) {
  TuningResult t;
  t.RobustnessFactor = 1;
  for (int form = 0; form < 4; ++form) {
    const ControllerPanel p = Panel(t, form, 3);
    EXPECT_EQ(p.Kp, "0.000");
    EXPECT_EQ(p.Ki, "0.000000");
    EXPECT_EQ(p.Kd, "0.000");
  }
}

TEST(ControllerPanel, TheNumbersShownGiveBackThePanelsControllerInEveryForm) {
  TuningResult t = WorkedSet();
  t.RobustnessFactor = 0.7;
  for (int form = 0; form < 4; ++form)
    for (int type = 0; type < 4; ++type)
      for (bool cascade : {false, true}) {
        PanelInput in;
        in.Form = form, in.Type = type, in.Cascade = cascade, in.SequencerGain = 1.6;
        in.ScaleP = 1.5, in.ScaleI = 0.5, in.ScaleD = 2;
        const LoopController a = ComputeControllerPanel(t, in, '.').Controller;
        const LoopController b = ControllerOfPanelValues(in, ScaledControllerParameters(t, in));
        SCOPED_TRACE(testing::Message() << form << " " << type << " " << cascade);
        EXPECT_EQ(a.Type, b.Type);
        EXPECT_NEAR(a.Kp, b.Kp, 1e-12 * std::max(1.0, std::abs(a.Kp)));
        EXPECT_NEAR(a.Ki, b.Ki, 1e-12 * std::max(1.0, std::abs(a.Ki)));
        EXPECT_NEAR(a.Kd, b.Kd, 1e-12 * std::max(1.0, std::abs(a.Kd)));
      }
}
