// The built-in simulated process that stands in for the plant while no server is
// connected: two first-order lags in series, fed by U = MV - 10, with Gaussian noise on
// both measurements. It works per tick; the sampling period does not enter it.
#pragma once

#include <cstdint>
#include <random>

// The program's uniform random generator: reproducible for a given seed.
class UniformRandom {
 public:
  explicit UniformRandom(std::uint64_t seed = DefaultSeed) : engine_(seed) {}
  void Seed(std::uint64_t seed) { engine_.seed(seed); }
  // A number in [0, 1) with 53 random bits.
  double Next() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

  static constexpr std::uint64_t DefaultSeed = 20041123;

 private:
  std::mt19937_64 engine_;
};

// Normally distributed numbers by the polar Box-Muller method on a UniformRandom. Each
// accepted pair of uniforms yields two independent normals; the second is kept for the
// next call.
class GaussianNoise {
 public:
  explicit GaussianNoise(UniformRandom& uniform) : uniform_(uniform) {}
  double Next(double mean, double standardDeviation);

 private:
  UniformRandom& uniform_;
  double spare_ = 0;
  bool hasSpare_ = false;
};

struct SimulatedSample {
  double U = 0, Y1 = 0, Y2 = 0;
};

class SimulatedProcess {
 public:
  explicit SimulatedProcess(std::uint64_t seed = UniformRandom::DefaultSeed)
      : uniform_(seed), noise_(uniform_) {}

  // Both lags back to rest.
  void Reset();
  void Seed(std::uint64_t seed) { uniform_.Seed(seed); }
  // One tick with manipulated value mv; recordOnly feeds U = 0 whatever MV is.
  SimulatedSample Step(double mv, bool recordOnly);

  double SimStage1 = 0, SimStage2 = 0;
  double SimStage1Prev = 0, SimStage2Prev = 0;

  // MV at which the process rests at its working point (U = 0, Y1 = 20, Y2 = 30).
  static constexpr double RestMV = 10;
  static constexpr double Y1Offset = 20, Y2Offset = 30;
  static constexpr double Y1NoiseStdDev = 0.2, Y2NoiseStdDev = 0.1;

 private:
  UniformRandom uniform_;
  GaussianNoise noise_;
};
