#include "model/DelaySweep.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>

#include "data/NumericHelpers.h"

// Vectors of four doubles; without AVX the compiler splits them into SSE2 halves, which
// only costs speed. The arithmetic is lane by lane, in the order of the scalar rules, and
// neither build enables fused multiply-adds (which would round differently), so every
// lane gives the scalar result bit for bit; the tests hold it to the one-by-one sweep.

#ifdef __clang__
#pragma clang fp contract(off)
#endif

namespace {

typedef double Vec __attribute__((vector_size(32)));
// The same vector at any address of a double: loads through it need no alignment.
typedef double UnalignedVec __attribute__((vector_size(32), aligned(8), may_alias));
typedef long long Mask __attribute__((vector_size(32)));
constexpr int Width = 4;
constexpr int Groups = 8;  // independent vectors in flight per block (32 candidates)
constexpr int Lanes = Width * Groups;

// Loads and broadcasts are written as expressions, not helper functions: a helper that
// returns a vector would be compiled for the baseline and called from the AVX2 form with
// another calling convention (clang refuses it; GCC only warns). A scalar operand of a
// vector operation stands for the vector of four copies of it.
#define LOAD(p) (*reinterpret_cast<const UnalignedVec*>(p))

// Signals shared by all candidates of one sweep, 1-based, zero beyond sample n.
struct SweepSignals {
  int n = 0;
  double ts = 0;
  std::vector<double> input;          // x
  std::vector<double> filteredInput;  // F(x; 1, Tf, 0, 0)
  std::vector<double> filteredOutput;
  std::vector<double> filteredOutputRate;
  std::vector<double> measured;
  std::vector<double> inputEnergy;     // inputEnergy[m] = sum of filteredInput[1..m]^2
  std::vector<double> measuredEnergy;  // measuredEnergy[m] = sum of measured[1..m]^2
  double sdd = 0;                      // sum of filteredOutputRate^2
  double b2 = 0;                       // -sum of filteredOutputRate * filteredOutput
};

// The candidates of delays d0 .. d0+count-1 (count <= Lanes) side by side. Inlined into
// two forms below, one for AVX2 (one vector per register) and one for the baseline.
// A lane whose running error already lies above bound cannot become the sweep's best: the
// squared errors it would still add are not negative, and a sum of doubles does not fall
// when one is added. When every lane of the block lies above it the block stops, with each
// lane's error so far (a lower bound of its full error, itself above bound) and complete
// false. With an infinite bound every lane runs to the end.
__attribute__((always_inline)) inline bool ScoreBlockBody(const SweepSignals& s, int d0, int count,
                                                          double bound, Candidate* out) {
  const int n = s.n;
  const double* uf = s.filteredInput.data();
  const double* yf = s.filteredOutput.data();
  const double* ydot = s.filteredOutputRate.data();
  const double* x = s.input.data();
  const double* m = s.measured.data();

  // Cross sums of the delayed filtered input with the output and its rate. For lane l,
  // filteredInput delayed by d is filteredInput[j] at sample j + d; the terms past sample
  // n multiply the zero padding and add nothing, as the zero leading samples of the
  // delayed input add nothing to the one-by-one sums.
  Vec sud[Groups] = {}, b1[Groups] = {};
  for (int j = 1; j <= n - d0; ++j) {
    const double u = uf[j];
    for (int g = 0; g < Groups; ++g) {
      sud[g] += u * LOAD(ydot + j + d0 + Width * g);
      b1[g] += u * LOAD(yf + j + d0 + Width * g);
    }
  }

  // Fit each lane; set up its simulation F(x; K, T, 0, 0), whose delayed copy is the
  // candidate's response.
  const double gain = s.ts == 0.0 ? 1.0 : 1.0 / s.ts;
  Vec k[Groups], beta[Groups], z[Groups], rate[Groups], sum[Groups];
  for (int l = 0; l < Lanes; ++l) {
    const int g = l / Width, w = l % Width;
    const int d = d0 + std::min(l, count - 1);  // spare lanes repeat the last candidate
    FitResult fit = TModel::SolveFit(s.inputEnergy[n - d], sud[g][w], sud[g][w], s.sdd, b1[g][w],
                                     s.b2);
    if (fit.TimeConstant < 0) fit.TimeConstant = 0;
    if (l < count) out[l].Fit = fit;
    const double t = fit.TimeConstant;
    const double a = t <= 0.01 * s.ts ? 0.0 : std::exp(-s.ts / t);
    k[g][w] = fit.Gain;
    beta[g][w] = (1.0 - a) * gain;
    z[g][w] = 0.0;
    rate[g][w] = beta[g][w] * (fit.Gain * x[1] - 0.0);
    // Samples 1..d+1 of the response are 0: their errors are the measured values.
    sum[g][w] = s.measuredEnergy[d + 1];
  }

  // The responses, with the error of lane l at sample j + d0 + l. All lanes are valid up to
  // jCommon; beyond it a lane stops adding once it reaches sample n.
  const double ts = s.ts;
  const int jCommon = n - (d0 + count - 1);
  const int jLast = n - d0;
  const double nd = n;
  constexpr int CheckEvery = 64;  // samples between the looks at the bound
  for (int j0 = 2;; j0 += CheckEvery) {
    if (bound < std::numeric_limits<double>::infinity()) {
      bool allAbove = true;
      for (int l = 0; l < count && allAbove; ++l) allAbove = sum[l / Width][l % Width] / nd > bound;
      if (allAbove) {
        for (int l = 0; l < count; ++l) {
          out[l].Error = sum[l / Width][l % Width] / nd;
          out[l].Delay = d0 + l;
        }
        return false;
      }
    }
    if (j0 > jCommon) break;
    const int jEnd = std::min(jCommon, j0 + CheckEvery - 1);
    for (int j = j0; j <= jEnd; ++j) {
      const double xj = x[j];
      for (int g = 0; g < Groups; ++g) {
        z[g] = z[g] + ts * rate[g];
        rate[g] = beta[g] * (k[g] * xj - z[g]);
        const Vec e = LOAD(m + j + d0 + Width * g) - z[g];
        sum[g] += e * e;
      }
    }
  }
  for (int j = std::max(2, jCommon + 1); j <= jLast; ++j) {
    for (int g = 0; g < Groups; ++g) {
      z[g] = z[g] + ts * rate[g];
      rate[g] = beta[g] * (k[g] * x[j] - z[g]);
      const Vec e = LOAD(m + j + d0 + Width * g) - z[g];
      const Vec term = e * e;
      // lane l is valid while j <= n - d0 - l
      Mask valid;
      for (int w = 0; w < Width; ++w) valid[w] = j <= jLast - (Width * g + w) ? -1 : 0;
      sum[g] += valid ? term : Vec{};
    }
  }
  for (int l = 0; l < count; ++l) {
    out[l].Error = SafeDivide(sum[l / Width][l % Width], n, sum[l / Width][l % Width]);
    out[l].Delay = d0 + l;
  }
  return true;
}

#undef LOAD

__attribute__((target("avx2"))) bool ScoreBlockAvx2(const SweepSignals& s, int d0, int count,
                                                    double bound, Candidate* out) {
  return ScoreBlockBody(s, d0, count, bound, out);
}
bool ScoreBlockBaseline(const SweepSignals& s, int d0, int count, double bound, Candidate* out) {
  return ScoreBlockBody(s, d0, count, bound, out);
}

using ScoreBlockForm = bool (*)(const SweepSignals&, int, int, double, Candidate*);
constexpr double NoBound = std::numeric_limits<double>::infinity();

std::atomic<SweepKernel> ChosenKernel{SweepKernel::Best};

ScoreBlockForm ChooseForm() {
  const SweepKernel k = ChosenKernel.load(std::memory_order_relaxed);
  if (k == SweepKernel::Baseline || !Avx2Available()) return ScoreBlockBaseline;
  return ScoreBlockAvx2;
}

}  // namespace

bool Avx2Available() { return __builtin_cpu_supports("avx2"); }

void ChooseSweepKernel(SweepKernel kernel) {
  ChosenKernel.store(kernel, std::memory_order_relaxed);
}

namespace {

// The signals of one sweep: input and output filtered with filterTime, zero padded for the
// widest block.
SweepSignals PrepareSweep(const SampleArray& x, const SampleArray& y, const SampleArray& measured,
                          int n, double ts, double filterTime) {
  SweepSignals s;
  s.n = n;
  s.ts = ts;
  const size_t padded = static_cast<size_t>(n) + Lanes + 2;
  s.input.assign(x.begin(), x.begin() + n + 1);
  s.filteredInput.assign(padded, 0.0);
  s.filteredOutput.assign(padded, 0.0);
  s.filteredOutputRate.assign(padded, 0.0);
  s.measured.assign(padded, 0.0);
  std::copy(measured.begin() + 1, measured.begin() + n + 1, s.measured.begin() + 1);
  std::vector<double> scratch(static_cast<size_t>(n));
  const auto samples = [n](auto& v) { return std::span(v.data() + 1, static_cast<size_t>(n)); };
  FirstOrderResponse(samples(x), samples(s.filteredInput), std::span<double>(scratch), 1.0,
                     filterTime, 0.0, 0.0, ts);
  FirstOrderResponse(samples(y), samples(s.filteredOutput), samples(s.filteredOutputRate), 1.0,
                     filterTime, 0.0, 0.0, ts);

  double sdy = 0;
  for (int i = 1; i <= n; ++i) {
    s.sdd += s.filteredOutputRate[i] * s.filteredOutputRate[i];
    sdy += s.filteredOutputRate[i] * s.filteredOutput[i];
  }
  s.b2 = -sdy;
  s.inputEnergy.assign(static_cast<size_t>(n) + 1, 0.0);
  s.measuredEnergy.assign(padded, 0.0);
  for (int i = 1; i <= n; ++i) {
    s.inputEnergy[i] = s.inputEnergy[i - 1] + s.filteredInput[i] * s.filteredInput[i];
    const double e = s.measured[i] - 0.0;
    s.measuredEnergy[i] = s.measuredEnergy[i - 1] + e * e;
  }
  return s;
}

// A delay near the best, for scoring its block first: from where the input starts to move
// to where the measured response has left its start by a twentieth of its largest change.
// Only the speed of the sweep depends on it.
int GuessDelay(const SweepSignals& s) {
  const auto firstMove = [&s](const std::vector<double>& v, double share) {
    double largest = 0;
    for (int i = 1; i <= s.n; ++i) largest = std::max(largest, std::fabs(v[i] - v[1]));
    for (int i = 1; i <= s.n; ++i)
      if (std::fabs(v[i] - v[1]) > share * largest) return i;
    return 1;
  };
  const int d = firstMove(s.measured, 0.05) - firstMove(s.input, 0.01);
  return std::clamp(d, 0, s.n - 2);
}

// The fit of delay d alone, with the sums of its lane in the block that starts at d0: the
// same products added in the same order, the zero padding included.
FitResult FitOfLane(const SweepSignals& s, int d0, int d) {
  double sud = 0, b1 = 0;
  for (int j = 1; j <= s.n - d0; ++j) {
    sud += s.filteredInput[j] * s.filteredOutputRate[j + d];
    b1 += s.filteredInput[j] * s.filteredOutput[j + d];
  }
  FitResult fit = TModel::SolveFit(s.inputEnergy[s.n - d], sud, sud, s.sdd, b1, s.b2);
  if (fit.TimeConstant < 0) fit.TimeConstant = 0;
  return fit;
}

}  // namespace

void SweepDelays(const SampleArray& x, const SampleArray& y, const SampleArray& measured, int n,
                 double ts, double filterTime, std::vector<Candidate>& table) {
  table.assign(static_cast<size_t>(std::max(n, 1)), Candidate{});
  const int candidates = n - 1;  // d = 0 .. n-2
  if (candidates < 1) return;
  const SweepSignals s = PrepareSweep(x, y, measured, n, ts, filterTime);
  const ScoreBlockForm ScoreBlock = ChooseForm();
  if (ts == 0.0) {
    // Without a sample time every dead time rounds to no delay: all candidates are alike.
    Candidate c;
    ScoreBlock(s, 0, 1, NoBound, &c);
    for (int d = 0; d < candidates; ++d) table[d + 1] = Candidate{c.Error, c.Fit, d};
    return;
  }
  for (int d0 = 0; d0 < candidates; d0 += Lanes)
    ScoreBlock(s, d0, std::min(Lanes, candidates - d0), NoBound, &table[d0 + 1]);
}

void SweepDelaysForBest(const SampleArray& x, const SampleArray& y, const SampleArray& measured,
                        int n, double ts, double filterTime, int hint,
                        std::vector<Candidate>& table) {
  const int candidates = n - 1;
  if (candidates < 1 || ts == 0.0) {
    SweepDelays(x, y, measured, n, ts, filterTime, table);
    return;
  }
  table.assign(static_cast<size_t>(n), Candidate{});
  const SweepSignals s = PrepareSweep(x, y, measured, n, ts, filterTime);
  const ScoreBlockForm ScoreBlock = ChooseForm();
  const int blocks = (candidates + Lanes - 1) / Lanes;
  std::vector<char> fitted(static_cast<size_t>(n), 0);
  // The smallest complete error so far; a candidate above it is not the best. The block of
  // the hint goes first so that the bound is tight from the start.
  double bound = NoBound;
  if (hint < 0 || hint >= candidates) hint = GuessDelay(s);
  const int first = hint / Lanes;
  const double nd = n;
  for (int b = 0; b < blocks; ++b) {
    const int d0 = ((first + b) % blocks) * Lanes;
    const int count = std::min(Lanes, candidates - d0);
    Candidate* out = &table[d0 + 1];
    // Every lane's error starts at the measured energy before its response begins.
    if (s.measuredEnergy[d0 + 1] / nd > bound) {
      for (int l = 0; l < count; ++l)
        out[l] = Candidate{s.measuredEnergy[d0 + l + 1] / nd, {}, d0 + l};
      continue;
    }
    const bool complete = ScoreBlock(s, d0, count, bound, out);
    std::fill(fitted.begin() + d0 + 1, fitted.begin() + d0 + 1 + count, 1);
    if (complete)
      for (int l = 0; l < count; ++l)
        if (out[l].Error < bound) bound = out[l].Error;
  }
  // The best over delays 0..n-3 as the one-by-one sweep finds it (the first of equal errors),
  // and the fits of its neighbours, which the matched-filter triple starts from.
  int best = 1;
  for (int i = 2; i <= n - 2; ++i)
    if (table[static_cast<size_t>(i)].Error < table[static_cast<size_t>(best)].Error) best = i;
  for (int i = std::max(best - 1, 1); i <= std::min(best + 1, n - 1); ++i)
    if (!fitted[static_cast<size_t>(i)]) {
      const int d = i - 1;
      table[static_cast<size_t>(i)].Fit = FitOfLane(s, d - d % Lanes, d);
    }
}
