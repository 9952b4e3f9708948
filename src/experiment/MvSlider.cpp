#include "experiment/MvSlider.h"

#include "data/NumericHelpers.h"

void MvSlider::Configure(double mvMax, double mvMin, double mvStep) {
  const double span = mvMax - mvMin;
  Maximum = RoundToInt(SafeDivide(span, mvStep, span));
  Minimum = 0;
  if (Position > Maximum) Position = Maximum;
  if (Position < Minimum) Position = Minimum;
  Scale = SafeDivide(span, Maximum, span);
  Offset = mvMin;
}

bool MvSlider::SetFromValue(double v) {
  const int old = Position;
  const int k = RoundToInt(SafeDivide(v - Offset, Scale, v - Offset));
  if (k > Maximum) {
    Maximum = k;
    Position = 0;
  } else if (k < Minimum) {
    // Below the range: the range grows downwards, the slider goes to the bottom and
    // stands for v there. Every other position keeps its value.
    Offset += (k - Minimum) * Scale;
    Maximum += Minimum - k;
    Position = Maximum;
  } else {
    Position = Maximum - k;
  }
  return Position != old;
}
