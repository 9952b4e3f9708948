#include <gtest/gtest.h>

#include <cmath>

#include "tuning/RobustProposal.h"

namespace {

// The models of the README's quick start record (examples/step-response.vtm), closed-loop
// sampling time 1 s as the record brings it.
MeasurementStore QuickStartModels() {
  MeasurementStore s;
  s.InnerGain = 0.99906166705302, s.InnerTimeConstant = 8.992484177077, s.InnerDeadTime = 1;
  s.OuterGain = 0.99392698371291, s.OuterTimeConstant = 18.714779231674, s.OuterDeadTime = 1;
  return s;
}

RobustnessFigures FiguresAt(const MeasurementStore& s, const RobustProposalRequest& r, int position) {
  const TuningResult t = TunedRecord(s, r.Method, position, r.Cascade);
  PanelInput panel = r.Panel;
  panel.Cascade = r.Cascade;
  SampledProcess p = SampledProcessOfStore(s, r.SampleTime, r.Cascade);
  p.InnerLoopGain = t.InnerLoopGain;
  // As the tab judges it: the panel's controller beside the four proposals.
  return *ComputeRobustness(p, ProposedLoopControllers(t, r.Cascade),
                            ComputeControllerPanel(t, panel, '.').Controller)
              .Scaled;
}

bool Meets(const RobustnessFigures& f, double limit) { return f.Stable && f.Ms <= limit; }

}  // namespace

TEST(RobustProposal, FastestPositionWithinTheLimitForEveryMethodAndType) {
  const MeasurementStore s = QuickStartModels();
  for (bool cascade : {false, true})
    for (int method = 0; method <= 5; ++method)
      for (int type : {0, 2, 3}) {
        SCOPED_TRACE(testing::Message() << "cascade " << cascade << " method " << method
                                        << " type " << type);
        RobustProposalRequest r;
        r.Method = method, r.Cascade = cascade, r.SampleTime = 1, r.Panel.Type = type;
        const RobustProposal p = FindRobustPosition(s, r, ',');
        if (p.Position) {
          const RobustnessFigures here = FiguresAt(s, r, *p.Position);
          EXPECT_TRUE(Meets(here, 1.6));
          EXPECT_NEAR(here.Ms, p.Figures.Ms, 1e-9 * here.Ms);
          if (std::isfinite(here.PhaseMargin)) {
            EXPECT_NEAR(here.PhaseMargin, p.Figures.PhaseMargin, 1e-6);
          }
          if (*p.Position < 20) {
            EXPECT_FALSE(Meets(FiguresAt(s, r, *p.Position + 1), 1.6));
          }
          EXPECT_NE(p.Text.find("na položaju drsnika " + std::to_string(*p.Position)),
                    std::string::npos);
        } else {
          for (int position = 0; position <= 20; ++position)
            EXPECT_FALSE(Meets(FiguresAt(s, r, position), 1.6));
          EXPECT_NE(p.Text.find(p.SampleTimeThatWould ? "Meja je dosegljiva pri času vzorčenja"
                                                      : "Noben položaj drsnika"),
                    std::string::npos);
        }
      }
}

TEST(RobustProposal, QuickStartPiAtOneSecondIsMadeSafe) {
  // Where the README's quick start ends (area method, slider 10) the PI has Ms 4.09;
  // the proposal moves to a slower position that meets 1.6.
  RobustProposalRequest r;
  r.Panel.Type = 2;
  const RobustProposal p = FindRobustPosition(QuickStartModels(), r, ',');
  ASSERT_TRUE(p.Position);
  EXPECT_LT(*p.Position, 10);
  EXPECT_LE(p.Figures.Ms, 1.6);
}

TEST(RobustProposal, TooSlowSamplingNamesTheSamplingTimeThatWould) {
  // A fast lag (T 2 s) sampled every 20 s: even the slowest position's gains are too much,
  // while a shorter sampling time lets the limit be met.
  MeasurementStore s;
  s.InnerGain = 1, s.InnerTimeConstant = 2, s.InnerDeadTime = 0.2;
  RobustProposalRequest r;
  r.SampleTime = 20, r.Panel.Type = 2;
  const RobustProposal p = FindRobustPosition(s, r, ',');
  ASSERT_FALSE(p.Position) << p.Text;
  ASSERT_TRUE(p.SampleTimeThatWould) << p.Text;
  EXPECT_LT(*p.SampleTimeThatWould, 20);
  r.SampleTime = *p.SampleTimeThatWould;
  EXPECT_TRUE(FindRobustPosition(s, r, ',').Position);
  EXPECT_NE(p.Text.find("čas vzorčenja je predolg za model"), std::string::npos) << p.Text;
}

TEST(RobustProposal, RefusesALimitOutOfRangeAndNoMethod) {
  RobustProposalRequest r;
  r.MaxMs = 2.5;
  EXPECT_EQ(FindRobustPosition(QuickStartModels(), r, ',').Text, "Največji Ms mora biti od 1,2 do 2.");
  r.MaxMs = 1.6, r.Method = NoMethod;
  EXPECT_FALSE(FindRobustPosition(QuickStartModels(), r, ',').Position);
  EXPECT_THROW(ParseMaxMs("1,1", ','), std::invalid_argument);
  EXPECT_DOUBLE_EQ(ParseMaxMs("1,75", ','), 1.75);
  EXPECT_EQ(SampleTimeNote(1, 0.235, ','), "Čas vzorčenja 1 s je daljši od priporočenega (0,235 s).");
  EXPECT_EQ(SampleTimeNote(0.2, 0.235, ','), "");
}
