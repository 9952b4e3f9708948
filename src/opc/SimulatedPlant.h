// The plant behind the built-in simulated server: an inner process U -> Y1 and an outer
// process Y1 -> Y2 (first-order lags with dead time and measurement noise), driven by a
// PID controller in automatic or by the manual output in manual. It advances in fixed
// steps; nothing here knows about clocks or items.
#pragma once

#include <cstdint>
#include <deque>
#include <random>

struct SimulatedPlantParameters;
// The tank-level loop of the simulated server: inflow valve U, level Y1 with
// Y1' = 0.02 %/s per % of valve above 40 % (the outflow), 8 s of dead time; a downstream
// lag as Y2; a level controller P 3, I 0.05 1/s.
SimulatedPlantParameters TankLevelParameters();

struct SimulatedPlantParameters {
  double StepSeconds = 0.1;  // the plant's own sampling step
  // Inner process U -> Y1.
  double InnerGain = 0.8;
  double InnerTimeConstant = 20;  // s
  double InnerDeadTime = 5;       // s
  double InnerOffset = 20;        // Y1 at U = 0
  double InnerNoise = 0.1;        // standard deviation of the Y1 measurement noise
  // An integrating inner process instead (a tank level): Y1 changes at InnerGain per
  // second per unit of U above InnerBalance (the outflow), through the lag and the dead
  // time, and stays within the actuator range (an empty or a full tank).
  bool InnerIntegrating = false;
  double InnerBalance = 0;
  // Outer process Y1 -> Y2 (driven by the noise-free inner deviation).
  double OuterGain = 1.0;
  double OuterTimeConstant = 40;  // s
  double OuterDeadTime = 8;       // s
  double OuterOffset = 30;        // Y2 at Y1 = InnerOffset
  double OuterNoise = 0.05;
  // Actuator range of U.
  double OutputMinimum = 0;
  double OutputMaximum = 100;
  // Start: manual, at steady state for this output.
  double InitialOutput = 10;
  // Controller, parallel form u = P e + I \int e dt + D d(-y)/dt, in automatic.
  double P = 2;
  double I = 0.1;  // 1/s
  double D = 0;    // s
  std::uint32_t NoiseSeed = 20041123;
};

class SimulatedPlant {
 public:
  explicit SimulatedPlant(const SimulatedPlantParameters& parameters = {});

  // One step of StepSeconds: controller, actuator, dead times, lags, measurements.
  void Step();

  // Signals as the measurements and the actuator show them after the last step.
  double Y1() const { return y1_; }
  double Y2() const { return y2_; }
  double U() const { return u_; }

  // The manual output: drives U while in manual; set to U on leaving automatic.
  double ManualOutput() const { return manualOutput_; }
  void SetManualOutput(double value) { manualOutput_ = value; }

  double SetPoint() const { return setPoint_; }
  void SetSetPoint(double value) { setPoint_ = value; }
  double P() const { return p_; }
  double I() const { return i_; }
  double D() const { return d_; }
  void SetP(double value) { p_ = value; }
  void SetI(double value) { i_ = value; }
  void SetD(double value) { d_ = value; }

  bool Automatic() const { return automatic_; }
  // Bumpless: entering automatic starts the integral at the present output, leaving it
  // keeps the present output as the manual one.
  void SetAutomatic(bool automatic);

  const SimulatedPlantParameters& Parameters() const { return parameters_; }

 private:
  double ControllerOutput();
  double Measure(double value, double deviation);

  SimulatedPlantParameters parameters_;
  std::mt19937 random_;
  std::normal_distribution<double> noise_{0.0, 1.0};
  double innerFactor_, outerFactor_;  // exp(-step / time constant)
  std::deque<double> innerDelay_, outerDelay_;
  double x1_ = 0, x2_ = 0;  // deviations of the two lags
  double lag1_ = 0;         // the integrating inner process's lag output
  double y1_ = 0, y2_ = 0, u_ = 0;
  double manualOutput_ = 0, setPoint_ = 0;
  double p_ = 0, i_ = 0, d_ = 0;
  double integral_ = 0;
  double previousY1_ = 0;
  bool automatic_ = false;
};
