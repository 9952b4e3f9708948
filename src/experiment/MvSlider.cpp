#include "experiment/MvSlider.h"

#include <cmath>

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
  const double steps = SafeDivide(v - Offset, Scale, v - Offset);
  if (!(std::fabs(steps) <= MaxPositions)) {
    // Further out than the slider has positions for: it goes to its end and stands for
    // nothing new, so that a typed value is kept instead of the end position's value.
    Position = steps > 0 ? 0 : Maximum;
    return false;
  }
  const int k = RoundToInt(steps);
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
