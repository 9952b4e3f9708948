// Fields, time stamps, column names and quality cells of a delimited export.
#include "data/ImportParsing.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <string>

#include "data/NumberFormat.h"

namespace importparsing {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::vector<std::string> SplitFields(std::string_view line, char delimiter) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, wasQuoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"' && Trim(field).empty()) {
      quoted = wasQuoted = true;
      field.clear();
    } else if (c == delimiter) {
      fields.emplace_back(wasQuoted ? field : std::string(Trim(field)));
      field.clear();
      wasQuoted = false;
    } else if (!(wasQuoted && (c == ' ' || c == '\t'))) {
      field += c;
    }
  }
  fields.emplace_back(wasQuoted ? field : std::string(Trim(field)));
  return fields;
}

namespace {

// --- Time stamps ---

// Digits at s[i..], at least minDigits and at most maxDigits; advances i.
std::optional<int> Digits(std::string_view s, size_t& i, int minDigits, int maxDigits) {
  int value = 0, n = 0;
  while (i < s.size() && n < maxDigits && std::isdigit(static_cast<unsigned char>(s[i]))) {
    value = value * 10 + (s[i++] - '0');
    ++n;
  }
  if (n < minDigits) return std::nullopt;
  return value;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = static_cast<int>(y - era * 400);
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int DaysInMonth(int y, int m) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : days[m - 1];
}

// hh:mm[:ss[.fff]] from s[i..] to the end; seconds since midnight.
std::optional<Stamp> ClockPart(std::string_view s, size_t i) {
  const auto h = Digits(s, i, 1, 2);
  if (!h || *h > 23 || i >= s.size() || s[i] != ':') return std::nullopt;
  ++i;
  const auto m = Digits(s, i, 2, 2);
  if (!m || *m > 59) return std::nullopt;
  int sec = 0;
  double fraction = 0;
  if (i < s.size() && s[i] == ':') {
    ++i;
    const auto ss = Digits(s, i, 2, 2);
    if (!ss || *ss > 60) return std::nullopt;  // 60: a leap second
    sec = *ss;
    if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
      ++i;
      double scale = 0.1;
      const size_t begin = i;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        fraction += (s[i++] - '0') * scale;
        scale /= 10;
      }
      if (i == begin) return std::nullopt;
    }
  }
  Stamp r;
  r.Whole = *h * 3600 + *m * 60 + sec;
  r.Fraction = std::min(fraction, 0.999999999);
  // What may follow: a time-zone designator, handled by the caller, or nothing.
  if (i != s.size()) {
    r.Whole = -1;
    r.Fraction = static_cast<double>(i);  // where the rest starts
  }
  return r;
}

std::optional<Stamp> ParseTimeOfDay(std::string_view s) {
  const auto r = ClockPart(Trim(s), 0);
  if (!r || r->Whole < 0) return std::nullopt;
  return r;
}

// "2026-12-08 10:00:00", "2026-12-08T10:00:00.5+01:00", "8.12.2026 10:00:00"; an offset
// (Z, +hh, +hh:mm, +hhmm) is taken away so the time is UTC; without one it is the
// file's own time.
std::optional<Stamp> ParseDateTime(std::string_view text) {
  const std::string_view s = Trim(text);
  size_t i = 0;
  int y = 0, mo = 0, d = 0;
  const auto first = Digits(s, i, 1, 4);
  if (!first || i >= s.size()) return std::nullopt;
  if (s[i] == '-' && i == 4) {  // ISO
    ++i;
    const auto m = Digits(s, i, 2, 2);
    if (!m || i >= s.size() || s[i] != '-') return std::nullopt;
    ++i;
    const auto dd = Digits(s, i, 2, 2);
    if (!dd) return std::nullopt;
    y = *first, mo = *m, d = *dd;
  } else if (s[i] == '.' && i <= 2) {  // day.month.year
    ++i;
    const auto m = Digits(s, i, 1, 2);
    if (!m || i >= s.size() || s[i] != '.') return std::nullopt;
    ++i;
    const size_t yearStart = i;
    const auto yy = Digits(s, i, 4, 4);
    if (!yy || i - yearStart != 4) return std::nullopt;
    y = *yy, mo = *m, d = *first;
  } else {
    return std::nullopt;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) return std::nullopt;
  if (i >= s.size() || (s[i] != 'T' && s[i] != ' ')) return std::nullopt;
  while (i < s.size() && (s[i] == 'T' || s[i] == ' ')) ++i;
  auto clock = ClockPart(s, i);
  if (!clock) return std::nullopt;
  std::int64_t offset = 0;
  const bool zoned = clock->Whole < 0;
  if (zoned) {  // a designator follows the clock
    size_t j = static_cast<size_t>(clock->Fraction);
    const std::string_view rest = s.substr(j);
    std::string clockText(s.substr(i, j - i));
    clock = ClockPart(clockText, 0);
    if (!clock || clock->Whole < 0) return std::nullopt;
    if (rest == "Z") {
      offset = 0;
    } else if (rest.size() >= 3 && (rest[0] == '+' || rest[0] == '-')) {
      size_t k = 1;
      const auto oh = Digits(rest, k, 2, 2);
      int om = 0;
      if (k < rest.size() && rest[k] == ':') ++k;
      if (k < rest.size()) {
        const auto omm = Digits(rest, k, 2, 2);
        if (!omm) return std::nullopt;
        om = *omm;
      }
      if (!oh || k != rest.size() || *oh > 14 || om > 59) return std::nullopt;
      offset = (rest[0] == '-' ? -1 : 1) * (*oh * 3600 + om * 60);
    } else {
      return std::nullopt;
    }
  }
  Stamp r;
  r.Whole = DaysFromCivil(y, mo, d) * 86400 + clock->Whole - offset;
  r.Fraction = clock->Fraction;
  r.Zoned = zoned;
  r.Offset = static_cast<int>(offset);
  return r;
}

std::optional<Stamp> ParseSeconds(std::string_view s, char decimalMark) {
  const auto v = TryParseFloat(s, decimalMark);
  if (!v || std::fabs(*v) > 1e15) return std::nullopt;
  Stamp r;
  r.Whole = static_cast<std::int64_t>(std::floor(*v));
  r.Fraction = *v - static_cast<double>(r.Whole);
  return r;
}

}  // namespace

std::optional<Stamp> ParseStamp(std::string_view s, ImportTimeFormat format, char decimalMark) {
  switch (format) {
    case ImportTimeFormat::DateTime:
      return ParseDateTime(s);
    case ImportTimeFormat::TimeOfDay:
      return ParseTimeOfDay(s);
    case ImportTimeFormat::Seconds:
      return ParseSeconds(s, decimalMark);
    case ImportTimeFormat::Detect:
      break;
  }
  return std::nullopt;
}

// --- What a heading names ---

namespace {

// A heading in a comparable form: lower case (ASCII and the Slovenian č, š, ž), units in
// brackets and blanks around them taken away.
std::string Comparable(std::string_view heading) {
  std::string s;
  for (size_t i = 0; i < heading.size(); ++i) {
    const char c = heading[i];
    if (c == '[' || c == '(') break;  // "t [s]", "Time (UTC)"
    // Č, Š, Ž in UTF-8 (C4 8C, C5 A0, C5 BD) to their lower case (C4 8D, C5 A1, C5 BE).
    if ((c == '\xC4' || c == '\xC5') && i + 1 < heading.size()) {
      const char n = heading[i + 1];
      s += c;
      s += (n == '\x8C' || n == '\xA0' || n == '\xBD') ? static_cast<char>(n + 1) : n;
      ++i;
      continue;
    }
    s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return std::string(Trim(s));
}

bool OneOf(const std::string& name, std::initializer_list<std::string_view> words) {
  return std::find(words.begin(), words.end(), name) != words.end();
}

}  // namespace

bool IsTimeName(std::string_view heading) {
  return OneOf(
      Comparable(heading),
      {"t",    "time",        "timestamp",    "time stamp", "datetime", "date time",  "date/time",
       "date", "datum",       "datum in čas", "datum/čas",  "čas",      "cas",        "ura",
       "zeit", "zeitstempel", "sample time",  "local time", "utc",      "time_stamp", "_time"});
}

bool IsQualityName(std::string_view heading) {
  return OneOf(Comparable(heading),
               {"quality", "status", "kakovost", "q", "qual", "statuscode", "status code"});
}

bool IsTagName(std::string_view heading) {
  return OneOf(Comparable(heading), {"tag", "tagname", "tag name", "tag_name", "name", "item",
                                     "itemid", "item id", "point", "pointname", "signal",
                                     "variable", "oznaka", "ime", "spremenljivka", "točka"});
}

bool IsValueName(std::string_view heading) {
  return OneOf(Comparable(heading), {"value", "vrednost", "val", "_value"});
}

std::string QualityOwner(std::string_view heading) {
  const std::string name = Comparable(heading);
  for (std::string_view suffix : {"quality", "status", "kakovost"}) {
    if (name.size() <= suffix.size() + 1 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const char joint = name[name.size() - suffix.size() - 1];
    if (joint != ' ' && joint != '.' && joint != '_' && joint != '-') continue;
    // The owner as the heading writes it (its own case).
    const std::string_view original = Trim(heading);
    return std::string(Trim(original.substr(0, name.size() - suffix.size() - 1)));
  }
  return {};
}

// --- Quality ---

bool GoodQuality(std::string_view cell, bool daCoding) {
  const std::string_view c = Trim(cell);
  if (const auto v = TryParseFloat(c, '.')) {
    if (daCoding) return *v >= 192 && *v <= 255;
    return *v == 0;
  }
  std::string lower;
  for (char ch : c.substr(0, 5))
    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return lower.rfind("good", 0) == 0 || lower == "ok" || lower == "g" ||
         lower.rfind("dobr", 0) == 0;
}

bool DaCoding(const std::vector<std::string_view>& cells) {
  for (std::string_view cell : cells)
    if (const auto v = TryParseFloat(Trim(cell), '.'); v && *v >= 1 && *v <= 255) return true;
  return false;
}

// --- Clock changes ---

std::optional<ClockChange> ClockChangeBetween(std::int64_t before, std::int64_t after, double step,
                                              double interval) {
  const double tolerance = 2 * std::max(interval, 1.0);
  const auto hourOf = [](std::int64_t whole) {
    return static_cast<int>(((whole % 86400) + 86400) % 86400 / 3600);
  };
  const auto secondsIntoHour = [](std::int64_t whole) {
    return static_cast<double>(((whole % 3600) + 3600) % 3600);
  };
  const int hour = hourOf(after), hourBefore = hourOf(before);
  if (step < 0 && std::fabs(-step + interval - 3600) <= tolerance && hour >= 1 && hour <= 2 &&
      secondsIntoHour(after) <= tolerance)
    return ClockChange{3600, hour + 1};
  if (step > 3600 && step - 3600 <= tolerance && hourBefore >= 1 && hourBefore <= 2 &&
      hour == hourBefore + 2)
    return ClockChange{-3600, hourBefore + 1};
  return std::nullopt;
}

// --- Rows ---

RowBuilder::RowBuilder(DelimitedTable& t, size_t columns, size_t expectedRows)
    : t_(t), lastGood_(columns, 0.0), open_(columns, 0) {
  t_.Values.assign(columns, {});
  t_.MissingByColumn.assign(columns, 0);
  t_.NonNumericByColumn.assign(columns, 0);
  t_.BadQualityByColumn.assign(columns, 0);
  t_.Held.assign(columns, {});
  t_.Time.reserve(expectedRows);
  for (auto& column : t_.Values) column.reserve(expectedRows);
}

void RowBuilder::Add(double time, bool repeated, const std::vector<double>& cells,
                     const std::vector<CellKind>& kinds) {
  constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
  if (!repeated) t_.Time.push_back(time);
  for (size_t c = 0; c < cells.size(); ++c) {
    std::vector<double>& column = t_.Values[c];
    const CellKind kind = kinds[c];
    if (kind == CellKind::Value) {
      if (repeated)
        column.back() = cells[c];
      else
        column.push_back(cells[c]);
      if (open_[c]) {
        ImportGap& g = t_.Held[c].back();
        g.Length = time - g.Start;
        open_[c] = 0;
      }
      lastGood_[c] = time;
      continue;
    }
    if (!repeated) column.push_back(column.empty() ? Nan : column.back());
    if (kind == CellKind::Absent) continue;
    if (kind == CellKind::Empty) ++t_.MissingByColumn[c], ++t_.Counts.MissingValues;
    if (kind == CellKind::NotNumber) ++t_.NonNumericByColumn[c], ++t_.Counts.NonNumericValues;
    if (kind == CellKind::BadQuality) ++t_.BadQualityByColumn[c], ++t_.Counts.BadQualityValues;
    // An empty cell of a row that repeats the time of a usable value opens no gap.
    if (!open_[c] && !(repeated && lastGood_[c] == time)) {
      t_.Held[c].push_back({lastGood_[c], 0});
      open_[c] = 1;
    }
  }
}

void RowBuilder::Finish() {
  const double last = t_.Time.empty() ? 0 : t_.Time.back();
  for (size_t c = 0; c < open_.size(); ++c)
    if (open_[c]) t_.Held[c].back().Length = last - t_.Held[c].back().Start;
  // A column that starts empty takes its first value; a column without any stays NaN.
  for (auto& column : t_.Values) {
    const auto first =
        std::find_if(column.begin(), column.end(), [](double v) { return !std::isnan(v); });
    if (first != column.end()) std::fill(column.begin(), first, *first);
  }
}

}  // namespace importparsing
