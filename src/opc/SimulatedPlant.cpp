#include "opc/SimulatedPlant.h"

#include <algorithm>
#include <cmath>

#include "data/NumericHelpers.h"

namespace {

double LagFactor(double step, double timeConstant) {
  return timeConstant > 0 ? std::exp(-step / timeConstant) : 0.0;
}

// A delay line of whole steps filled with the steady-state value.
std::deque<double> DelayLine(double deadTime, double step, double value) {
  const int steps = std::max(0, RoundToInt(deadTime / step));
  return std::deque<double>(static_cast<std::size_t>(steps), value);
}

double Delay(std::deque<double>& line, double input) {
  if (line.empty()) return input;
  line.push_back(input);
  const double out = line.front();
  line.pop_front();
  return out;
}

}  // namespace

SimulatedPlantParameters TankLevelParameters() {
  SimulatedPlantParameters p;
  p.InnerIntegrating = true;
  p.InnerGain = 0.02;
  p.InnerTimeConstant = 0;
  p.InnerDeadTime = 8;
  p.InnerBalance = 40;
  p.InnerOffset = 50;
  p.InnerNoise = 0.05;
  p.InitialOutput = 40;
  p.OuterGain = 1;
  p.OuterTimeConstant = 30;
  p.OuterDeadTime = 5;
  p.OuterOffset = 50;
  p.P = 3;
  p.I = 0.05;
  p.NoiseSeed = 20261208;
  return p;
}

SimulatedPlant::SimulatedPlant(const SimulatedPlantParameters& parameters)
    : parameters_(parameters),
      random_(parameters.NoiseSeed),
      innerFactor_(LagFactor(parameters.StepSeconds, parameters.InnerTimeConstant)),
      outerFactor_(LagFactor(parameters.StepSeconds, parameters.OuterTimeConstant)) {
  const auto& p = parameters_;
  u_ = manualOutput_ = Clamp(p.InitialOutput, p.OutputMinimum, p.OutputMaximum);
  x1_ = p.InnerIntegrating ? 0.0 : p.InnerGain * u_;
  lag1_ = u_;
  x2_ = p.OuterGain * x1_;
  innerDelay_ = DelayLine(p.InnerDeadTime, p.StepSeconds, u_);
  outerDelay_ = DelayLine(p.OuterDeadTime, p.StepSeconds, x1_);
  y1_ = p.InnerOffset + x1_;
  y2_ = p.OuterOffset + x2_;
  setPoint_ = previousY1_ = y1_;
  p_ = p.P;
  i_ = p.I;
  d_ = p.D;
}

void SimulatedPlant::SetAutomatic(bool automatic) {
  if (automatic == automatic_) return;
  if (automatic) {
    integral_ = u_ - p_ * (setPoint_ - y1_);
  } else {
    manualOutput_ = u_;
  }
  automatic_ = automatic;
}

double SimulatedPlant::ControllerOutput() {
  const auto& p = parameters_;
  if (!automatic_) return Clamp(manualOutput_, p.OutputMinimum, p.OutputMaximum);
  // The measurement of the last step is what the controller sees.
  const double error = setPoint_ - y1_;
  const double integral = integral_ + i_ * error * p.StepSeconds;
  const double derivative = -d_ * (y1_ - previousY1_) / p.StepSeconds;
  const double raw = p_ * error + integral + derivative;
  const double out = Clamp(raw, p.OutputMinimum, p.OutputMaximum);
  // Conditional integration: no wind-up while the actuator sits at a limit.
  if (raw == out || (raw > out) != (error > 0)) integral_ = integral;
  return out;
}

double SimulatedPlant::Measure(double value, double deviation) {
  return deviation > 0 ? value + deviation * noise_(random_) : value;
}

void SimulatedPlant::Step() {
  const auto& p = parameters_;
  u_ = ControllerOutput();
  previousY1_ = y1_;
  const double innerInput = Delay(innerDelay_, u_);
  const double outerInput = Delay(outerDelay_, x1_);
  if (p.InnerIntegrating) {
    lag1_ = innerFactor_ * lag1_ + (1 - innerFactor_) * innerInput;
    x1_ = Clamp(x1_ + p.StepSeconds * p.InnerGain * (lag1_ - p.InnerBalance),
                p.OutputMinimum - p.InnerOffset, p.OutputMaximum - p.InnerOffset);
  } else {
    x1_ = innerFactor_ * x1_ + (1 - innerFactor_) * p.InnerGain * innerInput;
  }
  x2_ = outerFactor_ * x2_ + (1 - outerFactor_) * p.OuterGain * outerInput;
  y1_ = Measure(p.InnerOffset + x1_, p.InnerNoise);
  y2_ = Measure(p.OuterOffset + x2_, p.OuterNoise);
}
