// What a step test says about itself, from plain series (MV and one measurement over the
// analysis window): a first step too small against the noise before it, steps that ended
// before their response settled, and up and down steps whose gains differ (a non-linear
// valve or process). The warnings module words the findings.
#pragma once

#include <span>
#include <vector>

struct StepTestFindings {
  int Steps = 0;             // changes of MV in the window
  double Noise = 0;          // standard deviation of y about its line before the first step
  double FirstResponse = 0;  // the change of y the first step brought
  // The first step's response is under five standard deviations of the noise before it.
  bool TooSmall = false;
  // The steps (1 the first) whose response was still moving at the end of their phase:
  // over the phase's last quarter by more than a twentieth of the step's response and
  // more than three times the noise. Not judged for an integrating process.
  std::vector<int> Unsettled;
  // Mean gains (change of y per change of MV) of the up and of the down steps, and whether
  // they differ by more than a third of the smaller; 0 and false without both kinds.
  double GainUp = 0, GainDown = 0;
  bool GainsDiffer = false;
};

// mv and y: the same samples, in time order. A phase shorter than four samples is not
// judged for settling; without four samples before the first step the noise is unknown
// (0) and no step is judged too small.
StepTestFindings JudgeStepTest(std::span<const double> mv, std::span<const double> y,
                               bool integrating);
