// Delimited text exports of historians and data loggers ("time;value;value", a header row
// or none): read into a table by stated rules, then resampled into a record like an
// experiment's. A pure library: settings in, a result with typed counts out; the import
// dialog and vortuner-cli only show and choose.
//
// Rules, each counted and never applied silently:
// - a row whose time is earlier than the row before it is dropped;
// - a row whose time repeats the row before it replaces that row's values (the later
//   row is the newer state of the signals); its empty cells keep the earlier values;
// - an empty cell and a cell that is not a number hold the column's previous value
//   (the first values of a column that starts empty take its first value);
// - a line whose time cannot be read is dropped; an empty line is skipped.
// Resampling holds the last value at each grid time (as a plant signal is held), so no
// value is ever interpolated; an interval longer than the gap limit is reported.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "data/MeasurementStore.h"
#include "data/TObdelava.h"

enum class ImportTimeFormat { Detect, DateTime, TimeOfDay, Seconds };

// The Slovenian name of a time format, as the import shows it.
std::string TimeFormatText(ImportTimeFormat format);

// How the text is read. The zero values mean "detect from the file".
struct ImportFormat {
  char Delimiter = 0;    // ';', ',' or '\t'
  char DecimalMark = 0;  // '.' or ','
  ImportTimeFormat TimeFormat = ImportTimeFormat::Detect;
  int TimeColumn = 0;  // the time's field, 1-based
};

// What happened to the file's lines and cells under the rules above.
struct ImportCounts {
  int Lines = 0;             // lines of the file
  int LinesBeforeData = 0;   // lines before the first data row, the header included
  int EmptyLines = 0;        // skipped
  int DataRows = 0;          // rows kept (after the rules)
  int RowsBackwards = 0;     // dropped: time earlier than the row before
  int RowsRepeated = 0;      // time equal to the row before: replaced its values
  int RowsBadTime = 0;       // dropped: time not readable in the file's format
  int MissingValues = 0;     // empty cells (missing fields included): previous value held
  int NonNumericValues = 0;  // cells that are not numbers: previous value held
  int ColumnsIgnored = 0;    // value columns beyond MaxImportColumns
};

inline constexpr int MaxImportColumns = 100;
inline constexpr int MinImportRows = 10;

// A refused file: the line (1-based; 0 for the whole file) and the reason.
class ImportError : public std::runtime_error {
 public:
  ImportError(int line, const std::string& reason);
  int Line() const { return line_; }
  const std::string& Reason() const { return reason_; }

 private:
  int line_;
  std::string reason_;
};

// The file as a table of kept rows: time in seconds from the first kept row, and the
// value columns (every field but the time's) with the rules applied.
struct DelimitedTable {
  ImportFormat Format;  // what was used, detected or given; never "detect"
  int HeaderLine = 0;   // 1-based; 0 when the file has no header row
  int FirstDataLine = 0;
  std::vector<std::string> Names;  // of the value columns ("Stolpec 2" without a header)
  std::vector<double> Time;
  std::vector<std::vector<double>> Values;  // Values[column][row]
  // The calendar second of the first kept row and its fraction (DateTime: seconds since
  // 1970-01-01 in the file's own time, TimeOfDay: seconds since midnight; Seconds: its
  // value). Time[0] is 0 at that point.
  std::int64_t BaseSecond = 0;
  double BaseFraction = 0;
  ImportCounts Counts;
  std::vector<std::vector<std::string>> Preview;  // the first rows' fields, header first
};

// Reads the lines of a file (decoded, as ReadTextLines gives them). Throws ImportError
// for a text that is not a table, has no usable time column or fewer than MinImportRows
// rows.
DelimitedTable ReadDelimitedTable(const std::vector<std::string>& lines,
                                  const ImportFormat& format = {});

// The four signals' columns: a header name or a value column's number ("1" is the first
// column after the time). Empty: the default (MV 1, U 2, Y1 3, Y2 4 with four columns or
// more; no Y2 with three; MV = U = 1, Y1 2 with two), counting only columns that hold
// numbers.
struct ImportColumns {
  std::string MV, U, Y1, Y2;
};

// The default columns of MV, U, Y1 and Y2 (1-based value columns, 0: none) as above,
// counted over the columns that hold a number; Y2 is none when no such column is left.
std::array<int, 4> DefaultImportColumns(const DelimitedTable& table);

struct ResampleOptions {
  double SampleTime = 0;  // s; 0: the median interval of the rows
  double GapLimit = 0;    // s; 0: five sample times
  // The range to take, seconds from the first row; empty From: around the largest MV
  // step that fits MaxSamples, or the whole file when it fits. To defaults to as many
  // samples as fit.
  std::optional<double> From, To;
  ImportColumns Columns;
  // The actuator's maximum, minimum and full-stroke time; empty: 100, 0, 100 s as a
  // logger's file implies.
  std::optional<double> ActuatorMaximum, ActuatorMinimum, FullStrokeTime;
};

struct ImportGap {
  double Start = 0, Length = 0;  // s from the first row
};

// The record on a uniform grid, ready to replace the store's: samples 1..size.
struct ImportedRecord {
  double SampleTime = 0;
  int Columns[4] = {0, 0, 0, 0};  // 1-based value columns of MV, U, Y1, Y2; Y2 0: none
  std::string Names[4];
  std::vector<double> MV, U, Y1, Y2;
  int TotalSamples = 0;  // the grid over the whole file
  int FirstSample = 1;   // where the record starts on that grid (1-based)
  double From = 0;       // s from the first row
  bool StepFound = false;
  double StepTime = 0, StepSize = 0;  // the largest MV step (s from the first row)
  std::vector<ImportGap> Gaps;        // longer than the limit, within the record
  int GapsOutside = 0;                // the same outside the record
  double GapLimit = 0;
  DataFileTexts Texts;  // date, time of the first sample, window, actuator; Warnings
};

ImportedRecord ResampleTable(const DelimitedTable& table, const ResampleOptions& options,
                             char separator = '.');

// Replaces the store's record: columns MV, MV, U, U, Y1, Y2 (the experiment's layout;
// five columns without Y2), their names, the sample time and MinWindowSamples.
void CommitImport(const ImportedRecord& record, MeasurementStore& store);

// The counts and what was left out as lines of text (Slovenian), for the dialog and the
// command line's warnings; a rule that counted nothing is left out unless everyRule.
std::vector<std::string> ImportSummary(const DelimitedTable& table, const ImportedRecord& record,
                                       bool everyRule = false);

enum class DataFileKind { Banner, Logger, Delimited };
// A file's kind from its first seven lines: the banner; a logger's layout (a stamp
// "h:m:s" opening lines 6 and 7, line 2 no data row); anything else is a delimited export.
DataFileKind ClassifyDataFile(const std::vector<std::string>& lines);

// A whole import for the command line and tests: read, resample, commit. A file that
// cannot be used throws FileError naming the file and line, and leaves the store as it
// was. The summary lines are the record's warnings.
struct DelimitedImport {
  DelimitedTable Table;
  ImportedRecord Record;
};
DelimitedImport ImportDelimitedFile(const std::string& path, const ImportFormat& format,
                                    const ResampleOptions& options, MeasurementStore& store,
                                    char separator = '.');
