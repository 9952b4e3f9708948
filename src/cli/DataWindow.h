// A data file read for a command as the "Naloži iz datoteke" button reads it:
// conditioned with its own filter time and actuator values, columns MV 1, U 3, Y1 5,
// Y2 6 (kept within the file's columns), and the analysis window. A delimited export
// (neither a ".vtd" file nor a logger's layout) is imported as the import dialog does it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/DelimitedImport.h"
#include "data/MeasurementStore.h"
#include "data/TObdelava.h"

// What the command line says about a delimited export; `Given` names the first option
// given that applies to an export only, for the error on another kind of file.
struct ImportRequest {
  // MV, U, Y1[, Y2] as names or numbers (MV,Y1 given becomes MV,MV,Y1); empty: defaults
  std::vector<std::string> Columns;
  ImportFormat Format;
  double SampleTime = 0;
  std::optional<double> From, To;  // s from the first row
  std::string Given;
};

struct ConditionedData {
  std::unique_ptr<MeasurementStore> Store;
  DataFileTexts Texts;
  SignalColumns Columns;
  int Start = 1, End = 2;
  std::optional<DelimitedImport> Import;  // when the file was a delimited export
};

// The window is the file's own (kept within the samples read) unless start or end are
// given; a window outside the samples throws std::runtime_error. Warnings of the
// reader go to standard error, prefixed with `command`. The columns are the given ones
// (by default 1, 3, 5, 6), each kept within the file's; `actuator` (maximum, minimum,
// full-stroke time), when given, stands for the file's actuator values.
ConditionedData ReadConditionedData(const std::string& file, std::optional<int> start,
                                    std::optional<int> end, const std::string& command,
                                    const SignalColumns& columns = {},
                                    const std::vector<double>& actuator = {},
                                    const ImportRequest& import = {});

// The options of a delimited export that identify and report share: --columns with
// names or numbers, --sample-time, --delimiter, --from, --to; true when args[i] was one of them (i
// is then at its value). --decimal-comma is the caller's, as it means more for identify.
bool ParseImportOption(const std::vector<std::string>& args, size_t& i, ImportRequest& request);
// --columns' numbers for a ".vtd" or logger file, when they are all numbers; a Y2 not
// given is column 6.
std::optional<SignalColumns> NumberedColumns(const ImportRequest& request);

// --actuator's value: maximum, minimum and full-stroke time; throws UsageError.
std::vector<double> ParseActuator(const std::string& value);

// The import's settings and counts as a JSON object (the command's "Import" member).
std::string ImportJson(const DelimitedImport& import, const std::string& indent);

// The help text of the import options.
extern const char* const ImportOptionsUsage;
