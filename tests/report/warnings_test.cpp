// The warnings about a record, its model and the proposals: one record made to trigger
// each, and the clean record that triggers none of the record's.
#include "data/Warnings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "model/ModelWarnings.h"
#include "report/ReportTexts.h"
#include "tuning/Robustness.h"

namespace {

// 200 samples of 1 s: MV steps from 0 to 1 at sample 81; Y1 answers as a first-order lag
// with gain 2 and time constant 10 s; before the step Y1 rests at 20 plus `drift` per sample.
std::unique_ptr<MeasurementStore> StepRecord(double drift) {
  auto s = std::make_unique<MeasurementStore>();
  s->SampleTime = 1;
  s->SampleCount = 200;
  s->ColumnCount = 6;
  s->ColumnNames[1] = "Ventil";
  double y = 20;
  for (int k = 1; k <= 200; ++k) {
    const double mv = k >= 81 ? 1 : 0;
    if (k < 81)
      y = 20 + drift * k;
    else
      y += (20 + 80 * drift + 2 * mv - y) * (1 - std::exp(-0.1));
    s->TimeColumn[k] = k - 1;
    s->MVConditioned[k] = s->DataColumns[1][k] = mv;
    s->Y1Conditioned[k] = y;
  }
  // A model that fits (time constant + dead time well above three samples).
  s->InnerGain = 2, s->InnerTimeConstant = 10, s->InnerDeadTime = 1;
  s->OuterGain = 1, s->OuterTimeConstant = 10, s->OuterDeadTime = 1;
  s->InnerRelativeError = s->OuterRelativeError = 0.02;
  return s;
}

std::vector<WarningKind> Kinds(const std::vector<Warning>& w) {
  std::vector<WarningKind> k;
  for (const Warning& x : w) k.push_back(x.Kind);
  return k;
}

// The record's and its models' warnings in the window start..end, as the model tab judges them.
std::vector<Warning> Judge(const MeasurementStore& s, int start, int end, bool outer = false,
                           bool model = true) {
  return CollectWarnings(s, ModelWarningScope(s, start, end, outer, model, ','));
}

// The proposals' warnings, as the regulator tab judges them.
std::vector<Warning> JudgeProposals(const MeasurementStore& s, const RobustnessSet& set) {
  WarningScope scope;
  scope.Record = false;
  scope.Proposals = WarningFiguresOf(set);
  return CollectWarnings(s, scope);
}

}  // namespace

TEST(Warnings, EachRecordAndModelWarningComesFromTheRecordMadeToTriggerIt) {
  // A clean step record and a good model: nothing to say.
  auto s = StepRecord(0);
  EXPECT_TRUE(Judge(*s, 70, 200).empty());
  EXPECT_EQ(FirstStepOfMV(*s, 70, 200), 81);

  // Y1 drifts by 0.02 per sample while MV waits: 1.6 against a response of 2.
  auto drifting = StepRecord(0.02);
  std::vector<Warning> w = Judge(*drifting, 70, 200);
  ASSERT_EQ(Kinds(w), std::vector<WarningKind>{WarningKind::Drift});
  EXPECT_EQ(w[0].Text.rfind("Opozorilo: Y1 se je pred skokom MV spreminjal (20,", 0), 0u)
      << w[0].Text;
  // A drift of a tenth of that stays below a tenth of the response.
  EXPECT_TRUE(Judge(*StepRecord(0.002), 70, 200).empty());

  // A window without a step of MV.
  w = Judge(*s, 90, 200);
  ASSERT_EQ(Kinds(w), std::vector<WarningKind>{WarningKind::NoStep});
  EXPECT_EQ(w[0].Text,
            "Opozorilo: v oknu analize (vzorci 90 do 200) MV nima skoka; model ne opisuje "
            "odziva na skok.");

  // A simulated record: the run's mark on the MV column's description.
  s->ColumnNames[1] = "Ventil (simulacija)";
  EXPECT_EQ(Kinds(Judge(*s, 70, 200)), std::vector<WarningKind>{WarningKind::SimulatedRecord});
  EXPECT_TRUE(RecordIsSimulated(*s));
  // Also where the link was lost during the run and the simulation took over.
  s->ColumnNames[1] = "Ventil (simulacija od 19,0 s)";
  EXPECT_TRUE(RecordIsSimulated(*s));
  EXPECT_EQ(Judge(*s, 70, 200)[0].Text,
            "Opozorilo: zapis je simuliran od 19,0 s naprej (vgrajena simulacija procesa), prej "
            "je meritev obrata.");
  s->ColumnNames[1] = "Ventil";

  // The model: "Slabsa" and "Slaba" (the outer one only when it counts), a time
  // constant of 0, and three samples that reach the time constant plus dead time.
  s->InnerRelativeError = 0.08;
  s->OuterRelativeError = 0.5;
  w = Judge(*s, 70, 200);
  ASSERT_EQ(Kinds(w), std::vector<WarningKind>{WarningKind::PoorModel});
  EXPECT_EQ(w[0].Text, "Opozorilo: kvaliteta notranjega modela je \"Slabsa\".");
  w = Judge(*s, 70, 200, true);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[1].Text, "Opozorilo: kvaliteta zunanjega modela je \"Slaba\".");
  s->InnerRelativeError = s->OuterRelativeError = 0.02;
  s->InnerTimeConstant = 0;
  EXPECT_EQ(Kinds(Judge(*s, 70, 200)),
            (std::vector<WarningKind>{WarningKind::ZeroTimeConstant, WarningKind::SparseSampling}));
  s->InnerTimeConstant = 10;
  s->SampleTime = 5;
  w = Judge(*s, 70, 200);
  ASSERT_EQ(Kinds(w), std::vector<WarningKind>{WarningKind::SparseSampling});
  EXPECT_EQ(w[0].Text, "Opozorilo: Vzorčenje je preredko");
  // Without a model only the record is judged.
  EXPECT_TRUE(Judge(*s, 70, 200, false, false).empty());
}

TEST(Warnings, UnstableAndFragileProposalsAreNamedWithTheirMs) {
  auto s = StepRecord(0);
  RobustnessSet set;
  for (RobustnessFigures* f : {&set.I, &set.P, &set.PI, &set.PID}) {
    f->Stable = true;
    f->Ms = 1.4;
  }
  EXPECT_TRUE(JudgeProposals(*s, set).empty());
  set.PI.Ms = 2.314;
  set.P.Stable = false;
  set.PID.Stable = false;
  set.Scaled = RobustnessFigures{};  // unstable
  const std::vector<Warning> w = JudgeProposals(*s, set);
  ASSERT_EQ(Kinds(w), (std::vector<WarningKind>{WarningKind::UnstableProposal,
                                                WarningKind::FragileProposal}));
  EXPECT_EQ(w[0].Text,
            "Opozorilo: z regulatorjem P, PID in skalirani je zaprta zanka nestabilna; takih "
            "parametrov ne nalagajte.");
  EXPECT_EQ(w[1].Text,
            "Opozorilo: regulator PI (Ms 2,31) ima Ms nad 2: zanka je krhka; premaknite drsnik "
            "proti \"Robustno\".");
  // A set that could not be judged says nothing here (the tab says why).
  set.Reason = "x";
  EXPECT_TRUE(JudgeProposals(*s, set).empty());
  // The report's box: the proposals only with the "Regulator" section.
  set.Reason.clear();
  EXPECT_EQ(ReportWarnings(*s, 70, 200, true, false, false, &set, ',').size(), 0u);
  EXPECT_EQ(ReportWarnings(*s, 70, 200, true, true, false, &set, ',').size(), 2u);
  // A controller the rule did not propose (no I controller for an integrating process)
  // is no unstable proposal.
  set.P.Proposed = set.PID.Proposed = false;
  set.Scaled.reset();
  EXPECT_EQ(Kinds(JudgeProposals(*s, set)), std::vector<WarningKind>{WarningKind::FragileProposal});
}

TEST(Warnings, ADriftThatGoesOnFromTheFirstSampleIsSaid) {
  // Y1 drifts by 0.02 per sample from the record's first sample and goes on after the
  // step: the step's own response (2) is what it is measured against, not the drift's
  // share of the window's end.
  auto s = StepRecord(0);
  for (int k = 1; k <= 200; ++k) s->Y1Conditioned[k] += 0.02 * k;
  const std::vector<Warning> w = Judge(*s, 1, 200);
  ASSERT_EQ(Kinds(w), std::vector<WarningKind>{WarningKind::Drift});
  // Noise of the same size as that drift over the stretch, without a trend: no drift.
  auto noisy = StepRecord(0);
  for (int k = 1; k <= 200; ++k) noisy->Y1Conditioned[k] += 0.4 * std::sin(k * 2.1);
  EXPECT_TRUE(Judge(*noisy, 1, 200).empty());
}

TEST(Warnings, ALevelRampingBeforeTheStepIsSaidAgainstItsChangeOfSlope) {
  // An integrating level: 0.04 per sample before the step (the valve off balance), 0.14
  // after it; the window's end lies far above the start, which a level test would take
  // for a large response.
  auto level = [](double before) {
    auto s = StepRecord(0);
    double y = 50;
    for (int k = 1; k <= 200; ++k) {
      y += k < 81 ? before : 0.14;
      s->Y1Conditioned[k] = y;
    }
    s->InnerKind = ProcessKind::Integrating;
    s->InnerIntegrating.Lag = 10, s->InnerIntegrating.DeadTime = 1;
    return s;
  };
  auto has = [](const std::vector<Warning>& w, WarningKind k) {
    return std::any_of(w.begin(), w.end(), [k](const Warning& x) { return x.Kind == k; });
  };
  EXPECT_TRUE(has(Judge(*level(0.04), 1, 200), WarningKind::Drift));
  EXPECT_FALSE(has(Judge(*level(0), 1, 200), WarningKind::Drift));
  EXPECT_FALSE(has(Judge(*level(0.005), 1, 200), WarningKind::Drift));
}
