#include "experiment/SimulatedProcess.h"

#include <cmath>

double GaussianNoise::Next(double mean, double standardDeviation) {
  if (hasSpare_) {
    hasSpare_ = false;
    return mean + standardDeviation * spare_;
  }
  double u = 0, v = 0, s = 0;
  do {
    u = 2 * uniform_.Next() - 1;
    v = 2 * uniform_.Next() - 1;
    s = u * u + v * v;
  } while (s >= 1 || s == 0);
  const double factor = std::sqrt(-2 * std::log(s) / s);
  spare_ = v * factor;
  hasSpare_ = true;
  return mean + standardDeviation * u * factor;
}

void SimulatedProcess::Reset() {
  SimStage1 = SimStage2 = 0;
  SimStage1Prev = SimStage2Prev = 0;
}

SimulatedSample SimulatedProcess::Step(double mv, bool recordOnly) {
  SimulatedSample s;
  s.U = recordOnly ? 0 : mv - RestMV;
  SimStage1Prev = SimStage1;
  SimStage2Prev = SimStage2;
  SimStage1 = 0.9 * SimStage1 + 0.1 * s.U;
  SimStage2 = 0.95 * SimStage2 + 0.05 * SimStage1Prev;
  s.Y1 = SimStage1Prev + Y1Offset + noise_.Next(0, Y1NoiseStdDev);
  s.Y2 = SimStage2Prev + Y2Offset + noise_.Next(0, Y2NoiseStdDev);
  return s;
}
