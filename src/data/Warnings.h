// Warnings about a record, its model and the proposed controllers: what makes a result
// doubtful although it was computed. One list, shown alike in the status bar and the tab
// concerned, in the command line's "Warnings" and in a box on the report's first page.
// The module judges plain values: the record itself, and the figures of its models and of the
// proposed controllers as the layers that compute them hand them over (model/ModelWarnings.h,
// tuning/Robustness.h), so that every page below the report can show them.
#pragma once

#include <string>
#include <vector>

#include "data/MeasurementStore.h"

enum class WarningKind {
  SimulatedRecord,   // samples of the record come from the built-in simulation
  Drift,             // Y1 or Y2 moved before the first step of MV
  NoStep,            // MV does not change in the analysis window
  SmallStep,         // the first step's response is lost in the noise before it
  UnsettledStep,     // a step ended before its response settled
  UnequalGains,      // up and down steps give gains that differ by more than a third
  PoorModel,         // model quality "Slabsa" or "Slaba"
  ZeroTimeConstant,  // an identified time constant of 0
  SparseSampling,    // the sampling is too slow for the model
  UnstableProposal,  // a proposed controller makes the loop unstable
  FragileProposal,   // a proposed controller with Ms above 2
};

struct Warning {
  WarningKind Kind;
  std::string Text;  // Slovenian, a sentence starting "Opozorilo: "
};

// A model as the warnings judge it.
struct ModelWarningFigures {
  std::string Name;         // "notranjega" or "zunanjega"
  std::string PoorQuality;  // the quality's text where it is poor or bad, else empty
  double TimeConstant = 0;  // s
};

// A proposed controller as the warnings judge it.
struct ProposalWarningFigures {
  std::string Name;      // "I", "P", "PI", "PID" or "skalirani"
  bool Proposed = true;  // false: the rule proposes no such controller
  bool Stable = true;
  bool Fragile = false;  // stable, with Ms above 2
  double Ms = 0;
};

// What to judge. The record checks always run; the model's only when a model was
// identified from it, the proposals' only when they were judged.
struct WarningScope {
  bool Record = true;      // judge the record (simulated, drift, step of MV)
  int Start = 1, End = 2;  // the analysis window, 1-based samples
  bool Outer = false;      // Y2 (the outer loop's measurement) counts too
  // Drift before the step is judged as of an integrating process (a change of slope).
  bool InnerIntegrating = false, OuterIntegrating = false;
  // The models identified from this record, inner first; empty: no model is judged.
  std::vector<ModelWarningFigures> Models;
  std::string SparseSampling;  // the sampling check's warning, empty when it holds
  // The figures of the proposals (and of the scaled controller, when present); empty: none.
  std::vector<ProposalWarningFigures> Proposals;
  char Separator = ',';
};

// The warnings in a fixed order (the order of WarningKind). Reads the conditioned MV, Y1
// and Y2 and the MV column's description (its " (simulacija…)" mark).
std::vector<Warning> CollectWarnings(const MeasurementStore& store, const WarningScope& scope);

// The record holds samples of the built-in simulation: the MV column's description
// carries the run's " (simulacija)" or " (simulacija od 19,0 s)" mark.
bool RecordIsSimulated(const MeasurementStore& store);

// For the status bar: the texts joined with two blanks; empty for none.
std::string WarningsLine(const std::vector<Warning>& warnings);

// The first sample k in start+1..end where MV differs from MV at start, or 0 for none.
int FirstStepOfMV(const MeasurementStore& store, int start, int end);
