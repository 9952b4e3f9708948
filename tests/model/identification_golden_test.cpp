// The identification's numbers, kept bit for bit: records of several shapes (worked example,
// noisy steps with an outer process, a long record, a step in the middle of the window, a
// tank level and the example data files) against the values the straightforward sweep gave
// before it was made faster. Set VORTUNER_PRINT_GOLDEN=1 to print the table afresh.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/TObdelava.h"
#include "model/IdentifyModel.h"
#include "model/IntegratingTestData.h"
#include "model/ModelTestData.h"

namespace {

struct GoldenCase {
  const char* Name;
  std::function<std::unique_ptr<MeasurementStore>()> Make;
  int Start, End;
};

std::unique_ptr<MeasurementStore> FromExample(const std::string& file) {
  auto s = std::make_unique<MeasurementStore>();
  TObdelava::ReadDataFile(std::string(VORTUNER_EXAMPLES_DIR) + "/" + file, *s, '.');
  TObdelava::ConditionAfterExperiment(*s, Conditioning{});
  return s;
}

std::vector<GoldenCase> Cases() {
  using modeltest::Record;
  std::vector<GoldenCase> c;
  c.push_back({"worked example", [] { return modeltest::MakeStore({}); }, 1, 200});
  c.push_back({"noisy with outer",
               [] {
                 Record r;
                 r.Samples = 400;
                 r.HasOuter = true;
                 r.Noise = 0.02;
                 r.FilterTime = 2;
                 return modeltest::MakeStore(r);
               },
               5, 390});
  c.push_back({"long noisy step", [] { return modeltest::LongNoisyStep(1500); }, 1, 1500});
  c.push_back({"step in the middle, down",
               [] {
                 Record r;
                 r.Samples = 700;
                 r.StepAt = 350;
                 r.Before = 2;
                 r.After = -1;
                 r.HasOuter = true;
                 r.Noise = 0.05;
                 r.Seed = 3;
                 return modeltest::MakeStore(r);
               },
               1, 700});
  c.push_back({"tank level with lag and noise",
               [] {
                 modeltest::LevelRecord r;
                 r.Lag = 12;
                 r.Noise = 0.05;
                 return modeltest::MakeLevelStore(r);
               },
               1, 300});
  c.push_back(
      {"example step-response.vtd", [] { return FromExample("step-response.vtd"); }, 1, 154});
  c.push_back({"example level.vtd", [] { return FromExample("level.vtd"); }, 1, 400});
  return c;
}

std::vector<double> Figures(const MeasurementStore& s) {
  const IntegratingModel& i = s.InnerIntegrating;
  const IntegratingModel& o = s.OuterIntegrating;
  return {s.InnerGain,
          s.InnerTimeConstant,
          s.InnerDeadTime,
          s.InnerStdDev,
          s.InnerRelativeError,
          s.InnerGainBound,
          s.InnerTimeBound,
          s.OuterGain,
          s.OuterTimeConstant,
          s.OuterDeadTime,
          s.OuterStdDev,
          s.OuterRelativeError,
          s.OuterGainBound,
          s.OuterTimeBound,
          i.Slope,
          i.Lag,
          i.DeadTime,
          i.StdDev,
          i.RelativeError,
          i.SlopeBound,
          i.LagBound,
          o.Slope,
          o.Lag,
          o.DeadTime,
          o.StdDev,
          o.RelativeError,
          o.SlopeBound,
          o.LagBound};
}

// Inner first-order (7), outer first-order (7), inner integrating (7), outer integrating (7).
const std::vector<std::vector<double>> Golden = {
#include "model/IdentificationGolden.inc"
};

}  // namespace

TEST(IdentificationGolden, EveryFigureOfBothKindsIsWhatTheOneByOneSweepGave) {
  const std::vector<GoldenCase> cases = Cases();
  if (std::getenv("VORTUNER_PRINT_GOLDEN")) {
    for (const GoldenCase& c : cases) {
      auto s = c.Make();
      IdentifyModel(*s, c.Start, std::min(c.End, s->SampleCount));
      std::printf("    // %s\n    {", c.Name);
      const std::vector<double> f = Figures(*s);
      for (size_t k = 0; k < f.size(); ++k) std::printf("%s%a", k ? ", " : "", f[k]);
      std::printf("},\n");
    }
    GTEST_SKIP() << "printed";
  }
  ASSERT_EQ(Golden.size(), cases.size());
  for (size_t j = 0; j < cases.size(); ++j) {
    SCOPED_TRACE(cases[j].Name);
    auto s = cases[j].Make();
    IdentifyModel(*s, cases[j].Start, std::min(cases[j].End, s->SampleCount));
    const std::vector<double> f = Figures(*s);
    ASSERT_EQ(f.size(), Golden[j].size());
    for (size_t k = 0; k < f.size(); ++k) EXPECT_EQ(f[k], Golden[j][k]) << "figure " << k;
  }
}
