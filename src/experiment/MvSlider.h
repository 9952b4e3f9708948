// The arithmetic of the experiment window's vertical MV slider: positions run from the
// top (0, the largest value) down to the maximum (the smallest value). A value outside
// the range widens the range instead of being clipped.
#pragma once

struct MvSlider {
  int Minimum = 0;
  int Maximum = 100;
  int Position = 100;
  double Scale = 1;   // MV units per position (SliderScale)
  double Offset = 0;  // MV at slider value 0, the MV minimum (SliderOffset)

  // Range and resolution from the panel's maximum, minimum and step. A zero divisor
  // gives the dividend itself, so a zero step or an empty range never divides by zero.
  void Configure(double mvMax, double mvMin, double mvStep);
  // The MV that the present position stands for.
  double Value() const { return (Maximum - Position) * Scale + Offset; }
  // Places the slider at value v, widening the range when v lies outside it. Returns
  // true when the position changed. A value more than MaxPositions steps away (1e12 on
  // a slider of step 1) puts the slider at its end and returns false: the slider cannot
  // stand for it, and the value is not to be replaced by the end's.
  bool SetFromValue(double v);
  static constexpr double MaxPositions = 1e9;
};
