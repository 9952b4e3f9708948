// A data file read for a command as the "Naloži iz datoteke" button reads it:
// conditioned with its own filter time and actuator values, columns MV 1, U 3, Y1 5,
// Y2 6 (kept within the file's columns), and the analysis window.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "data/MeasurementStore.h"
#include "data/TObdelava.h"

struct ConditionedData {
  std::unique_ptr<MeasurementStore> Store;
  DataFileTexts Texts;
  SignalColumns Columns;
  int Start = 1, End = 2;
};

// The window is the file's own (kept within the samples read) unless start or end are
// given; a window outside the samples throws std::runtime_error. Warnings of the
// reader go to standard error, prefixed with `command`.
ConditionedData ReadConditionedData(const std::string& file, std::optional<int> start,
                                    std::optional<int> end, const std::string& command);
