#include "cli/DataWindow.h"

#include <algorithm>
#include <iostream>
#include <stdexcept>

#include "data/NumberFormat.h"

ConditionedData ReadConditionedData(const std::string& file, std::optional<int> start,
                                    std::optional<int> end, const std::string& command) {
  // The header numbers are read with either decimal separator, as the load handler reads
  // them, and come back as texts with a decimal point.
  constexpr char Point = '.';
  ConditionedData d;
  d.Store = std::make_unique<MeasurementStore>();
  MeasurementStore& store = *d.Store;
  d.Texts = TObdelava::ReadDataFile(file, store, Point);
  for (const std::string& warning : d.Texts.Warnings)
    std::cerr << "vortuner-cli " << command << ": warning: " << warning << "\n";
  const Conditioning parameters = TObdelava::ParseConditioning(
      d.Texts.FilterTime, d.Texts.ActuatorMaximum, d.Texts.ActuatorMinimum,
      d.Texts.FullStrokeTime, Point);
  // The default columns, each kept within the file's columns as the selectors keep them.
  const int last = std::max(store.ColumnCount, 1);
  d.Columns.MV = std::min(d.Columns.MV, last);
  d.Columns.U = std::min(d.Columns.U, last);
  d.Columns.Y1 = std::min(d.Columns.Y1, last);
  d.Columns.Y2 = std::min(d.Columns.Y2, last);
  TObdelava::ConditionSignals(store, d.Columns, parameters);

  const int n = store.SampleCount;
  // The file's window as the page takes it: kept within the samples actually read.
  const AnalysisWindow fileWindow =
      TObdelava::FitAnalysisWindow(n, store.MinWindowSamples, ParseInt(d.Texts.WindowStart),
                                   ParseInt(d.Texts.WindowEnd));
  d.Start = start.value_or(fileWindow.Start);
  d.End = end.value_or(fileWindow.End);
  if (d.Start < 1 || d.End > n || d.End <= d.Start)
    throw std::runtime_error("the window " + std::to_string(d.Start) + ".." +
                             std::to_string(d.End) + " does not lie within the file's samples 1.." +
                             std::to_string(n) + " with start < end");
  return d;
}
