// Delimited text exports of historians and data loggers ("time;value;value", a header row
// or none): read into a table by stated rules, then resampled into a record like an
// experiment's. A pure library: settings in, a result with typed counts out; the import
// dialog and vortuner-cli only show and choose.
//
// The time column is found by its heading (Time, Čas, Timestamp, Datum …) or by what it
// holds (dates and times, times of day, rising seconds), wherever it stands. A long
// export (a tag, a time and a value per row, optionally a quality; recognised by its
// headings) becomes one row per time with a column per tag. A quality or status column
// beside a value (Quality, Status, Kakovost, "<tag> Quality") is no signal of its own:
// a value whose quality is not Good is not used.
//
// Rules, each counted and never applied silently:
// - local times without a zone that go back by an hour at 2:00 or 3:00 (autumn) or skip
//   an hour (spring) are a daylight-saving change: the rows stay in file order and the
//   change is said;
// - a row whose time is earlier than the row before it is dropped;
// - a row whose time repeats the row before it replaces that row's values (the later
//   row is the newer state of the signals); its empty cells keep the earlier values;
// - an empty cell, a cell that is not a number ("Bad", "I/O Timeout") and a value whose
//   quality is not Good hold the column's previous value (the first values of a column
//   that starts empty take its first value); the stretch is a gap of that column;
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
#include "data/TextFile.h"

enum class ImportTimeFormat { Detect, DateTime, TimeOfDay, Seconds };

struct ImportGap {
  double Start = 0, Length = 0;  // s from the first row
};

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
  int BadQualityValues = 0;  // values whose quality is not Good: previous value held
  int QualityColumns = 0;    // quality or status columns honoured
  int ColumnsIgnored = 0;    // value columns beyond MaxImportColumns
};

inline constexpr int MaxImportColumns = 100;
// How much of an export is read: a month at 1 s runs past the 64 MB of the program's own
// files; the bound only keeps a device or a file of another kind from being swallowed.
inline constexpr ReadLimit ExportReadLimit{ReadLimit::Unlimited, size_t{2} << 30};
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
  std::string TimeName;            // the time column's heading; empty without a header
  bool Long = false;               // pivoted from a long export: a column per tag
  std::vector<double> Time;
  std::vector<std::vector<double>> Values;  // Values[column][row]
  // The calendar second of the first kept row and its fraction (DateTime: seconds since
  // 1970-01-01 in the file's own time, TimeOfDay: seconds since midnight; Seconds: its
  // value). Time[0] is 0 at that point.
  std::int64_t BaseSecond = 0;
  double BaseFraction = 0;
  // For a date and time with a zone: the first kept row's offset from UTC, s (the times
  // above are UTC); shown with the record's start in the clock's own time.
  std::optional<int> ZoneOffset;
  ImportCounts Counts;
  // Local times without a zone that repeat an hour (autumn) or skip one (spring): the rows
  // are kept in file order, later times moved by Shift seconds (+3600 or -3600). Time is
  // the row's, seconds from the first row; Hour the clock's hour when it moved.
  struct ClockChange {
    double Time = 0, Shift = 0;
    int Hour = 0;
  };
  std::vector<ClockChange> ClockChanges;
  // Per value column: empty cells, cells not a number and values not Good, and the
  // stretches held for them (from the last usable value to the next).
  std::vector<int> MissingByColumn, NonNumericByColumn, BadQualityByColumn;
  std::vector<std::vector<ImportGap>> Held;
  std::vector<std::vector<std::string>> Preview;  // the first rows' fields, header first
};

// Reads the lines of a file (decoded, as ReadTextLines gives them). Throws ImportError
// for a text that is not a table, has no usable time column or fewer than MinImportRows
// rows.
DelimitedTable ReadDelimitedTable(const std::vector<std::string>& lines,
                                  const ImportFormat& format = {});

// The four signals' columns: a header name or a value column's number ("1" is the first
// column after the time). All empty: the default (MV 1, U 2, Y1 3, Y2 4 with four columns
// or more; no Y2 with three; MV = U = 1, Y1 2 with two), counting only columns that hold
// numbers. Once one is given, an empty U is MV and an empty Y2 is none.
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
  // The actuator's maximum, minimum and full-stroke time; empty: no actuator model (no
  // rate limit, a range that holds every value of U: at least 0..100).
  std::optional<double> ActuatorMaximum, ActuatorMinimum, FullStrokeTime;
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
  // Per signal (MV, U, Y1, Y2) within the record: the gaps above and its held stretches.
  struct SignalGaps {
    int Count = 0;
    double Longest = 0, LongestAt = 0;  // s, and where it starts (s from the first row)
  } GapsOf[4];
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
