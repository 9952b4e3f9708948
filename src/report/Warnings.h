// Warnings about a record, its model and the proposed controllers: what makes a result
// doubtful although it was computed. One list, shown alike in the status bar and the tab
// concerned, in the command line's "Warnings" and in a box on the report's first page.
#pragma once

#include <string>
#include <vector>

#include "data/MeasurementStore.h"
#include "tuning/Robustness.h"

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

// What to judge. The record checks always run; the model's only when a model was
// identified from it, the proposals' only when they were judged.
struct WarningScope {
  bool Record = true;      // judge the record (simulated, drift, step of MV)
  int Start = 1, End = 2;  // the analysis window, 1-based samples
  bool Model = false;      // the store's model(s) describe this record
  bool Outer = false;      // the outer model (Y1 -> Y2) counts too
  // The figures of the proposals (and of the scaled controller, when present); null: none.
  const RobustnessSet* Proposals = nullptr;
  char Separator = ',';
};

// The warnings in a fixed order (the order of WarningKind). Reads the conditioned MV, Y1
// and Y2, the MV column's description (its " (simulacija…)" mark) and the model values.
std::vector<Warning> CollectWarnings(const MeasurementStore& store, const WarningScope& scope);

// The record holds samples of the built-in simulation: the MV column's description
// carries the run's " (simulacija)" or " (simulacija od 19,0 s)" mark.
bool RecordIsSimulated(const MeasurementStore& store);

// For the status bar: the texts joined with two blanks; empty for none.
std::string WarningsLine(const std::vector<Warning>& warnings);

// The first sample k in start+1..end where MV differs from MV at start, or 0 for none.
int FirstStepOfMV(const MeasurementStore& store, int start, int end);

// The report box: the warnings that concern the sections the report holds (the record's
// always, the model's with "Model", the proposals' with "Regulator").
std::vector<Warning> ReportWarnings(const MeasurementStore& store, int start, int end,
                                    bool modelSection, bool regulatorSection, bool cascade,
                                    const RobustnessSet* proposals, char separator);
