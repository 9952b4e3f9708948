// What the readers of a delimited export share: fields, time stamps, the names that say
// what a column holds (time, quality, tag, value), the quality of a cell, and the rules
// that build a table's rows. Internal to data/; the import's interface is DelimitedImport.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/DelimitedImport.h"

namespace importparsing {

std::string_view Trim(std::string_view s);
inline bool Blank(std::string_view line) { return Trim(line).empty(); }

// The fields of a line; a field in double quotes may hold the delimiter ("" is a quote).
// Fields are trimmed of blanks (a tab is not a blank when it delimits).
std::vector<std::string> SplitFields(std::string_view line, char delimiter);

struct Stamp {
  std::int64_t Whole = 0;  // whole seconds
  double Fraction = 0;     // 0 <= fraction < 1
  bool Zoned = false;      // a date and time with a zone (Z or an offset): UTC
  int Offset = 0;          // the zone's offset from UTC, s
};
std::optional<Stamp> ParseStamp(std::string_view s, ImportTimeFormat format, char decimalMark);

// A heading's meaning by its name, regardless of case, units in brackets and blanks:
// time ("Time", "Čas", "Timestamp", "Datum", "t [s]" …), quality or status ("Quality",
// "Status", "Kakovost"), the tag of a long export ("Tag", "TagName", "Name", "Oznaka" …)
// and its value ("Value", "Vrednost").
bool IsTimeName(std::string_view heading);
bool IsQualityName(std::string_view heading);
bool IsTagName(std::string_view heading);
bool IsValueName(std::string_view heading);
// "<tag> Quality", "<tag>.Status", "<tag>_Kakovost": the tag; empty for any other name.
std::string QualityOwner(std::string_view heading);

// A quality cell: text "Good" ("Good (…)", "OK", "Dobra") is good, any other text is not;
// a number is good as an OPC DA quality of the good class (192..255) or, in a column that
// holds no DA quality, as the status code 0.
bool GoodQuality(std::string_view cell, bool daCoding);
// Whether a quality column's numbers are OPC DA qualities (some number 1..255).
bool DaCoding(const std::vector<std::string_view>& cells);

// A daylight-saving change between two local stamps without a zone (whole seconds as
// parsed), `step` seconds apart as read, rows `interval` seconds apart before: the clock
// put back an hour at 2:00 or 3:00 (the later stamp an hour early, on the hour) or
// forward an hour (01:xx to 03:xx). Shift is what the later times need (+3600 or -3600),
// Hour the clock's hour when it moved.
struct ClockChange {
  double Shift = 0;
  int Hour = 0;
};
std::optional<ClockChange> ClockChangeBetween(std::int64_t before, std::int64_t after, double step,
                                              double interval);

enum class CellKind : unsigned char { Value, Empty, NotNumber, BadQuality, Absent };

// Appends rows to a table by its rules: a cell that is empty, not a number or not Good
// holds the column's previous value and is counted per column; the stretch from the
// last usable value to the next is kept as a held stretch of that column. Absent (a tag
// of a long export with no sample at this time) holds silently.
class RowBuilder {
 public:
  RowBuilder(DelimitedTable& table, size_t columns, size_t expectedRows);
  // A new row at `time`, or (repeated) the row before at the same time, whose values the
  // usable cells replace.
  void Add(double time, bool repeated, const std::vector<double>& cells,
           const std::vector<CellKind>& kinds);
  // Closes the stretches still open at the last row and gives a column that starts
  // empty its first value.
  void Finish();

 private:
  DelimitedTable& t_;
  std::vector<double> lastGood_;
  std::vector<char> open_;
};

// Reads the rows of a long export (a tag, a time, a value and optionally a quality per
// row) into one row per time with a column per tag, in the order the tags first appear.
// The fields are 0-based; quality is -1 when there is none.
void ReadLongRows(const std::vector<std::string>& lines, size_t firstData, size_t tagField,
                  size_t timeField, size_t valueField, int qualityField, DelimitedTable& table);

}  // namespace importparsing
