// Reading a delimited export into a table: the delimiter, decimal mark, time column and
// time format detected (or given), the header found, the rows kept by the stated rules.
#include "data/DelimitedImport.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>

#include "data/NumberFormat.h"

namespace {

constexpr int DetectLines = 40;   // lines looked at to detect the layout
constexpr int PreviewRows = 8;    // rows of the preview, header included
constexpr int SearchLines = 200;  // lines searched for the first data row

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool Blank(std::string_view line) { return Trim(line).empty(); }

// The fields of a line; a field in double quotes may hold the delimiter ("" is a quote).
// Fields are trimmed of blanks (a tab is not a blank when it delimits).
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

size_t CountFields(std::string_view line, char delimiter) {
  size_t n = 1;
  bool quoted = false;
  for (char c : line) {
    if (c == '"')
      quoted = !quoted;
    else if (c == delimiter && !quoted)
      ++n;
  }
  return n;
}

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

struct Stamp {
  std::int64_t Whole = 0;  // whole seconds
  double Fraction = 0;     // 0 <= fraction < 1
};

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
  if (clock->Whole < 0) {  // a designator follows the clock
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

// --- Detection ---

char DetectDelimiter(const std::vector<std::string_view>& sample) {
  // A delimiter splits most lines into the same number (two or more) of fields. Tab,
  // then semicolon, then comma: a comma may be the decimal mark of the other two.
  for (char candidate : {'\t', ';', ','}) {
    std::map<size_t, int> counts;
    for (std::string_view line : sample) ++counts[CountFields(line, candidate)];
    const auto mode = std::max_element(counts.begin(), counts.end(),
                                       [](auto& a, auto& b) { return a.second < b.second; });
    if (mode->first >= 2 && mode->second * 2 >= static_cast<int>(sample.size())) return candidate;
  }
  return 0;
}

bool LooksLikeDecimalComma(std::string_view field) {
  const size_t comma = field.find(',');
  return comma != std::string_view::npos && field.find('.') == std::string_view::npos &&
         TryParseFloat(field, ',').has_value();
}

char DetectDecimalMark(const std::vector<std::string_view>& sample, char delimiter, int timeField) {
  if (delimiter == ',') return '.';
  int commas = 0, points = 0;
  for (std::string_view line : sample) {
    const auto fields = SplitFields(line, delimiter);
    for (size_t f = 0; f < fields.size(); ++f) {
      if (static_cast<int>(f) + 1 == timeField) continue;
      if (LooksLikeDecimalComma(fields[f]))
        ++commas;
      else if (fields[f].find('.') != std::string::npos && TryParseFloat(fields[f], '.'))
        ++points;
    }
  }
  return commas > points ? ',' : '.';
}

bool HasNumberBesides(const std::vector<std::string>& fields, int timeField, char decimalMark) {
  for (size_t f = 0; f < fields.size(); ++f)
    if (static_cast<int>(f) + 1 != timeField && TryParseFloat(fields[f], decimalMark)) return true;
  return false;
}

struct Layout {
  int TimeField = 0;
  ImportTimeFormat Format = ImportTimeFormat::Detect;
  size_t FirstData = 0;  // index of the first data line
};

// The first line whose time cell reads in some format, followed by a non-empty line that
// reads in the same format: the first data row. Formats are tried in the order date and
// time, time of day, seconds; fields 1 to 3 are tried for the time unless it is given.
std::optional<Layout> FindLayout(const std::vector<std::string>& lines, char delimiter,
                                 char decimalMark, const ImportFormat& given) {
  const size_t end = std::min(lines.size(), static_cast<size_t>(SearchLines));
  for (size_t i = 0; i < end; ++i) {
    if (Blank(lines[i])) continue;
    size_t next = i + 1;
    while (next < lines.size() && Blank(lines[next])) ++next;
    if (next >= lines.size()) break;
    const auto fields = SplitFields(lines[i], delimiter);
    const auto nextFields = SplitFields(lines[next], delimiter);
    const int lastField =
        given.TimeColumn > 0 ? given.TimeColumn : std::min<int>(3, static_cast<int>(fields.size()));
    for (int f = given.TimeColumn > 0 ? given.TimeColumn : 1; f <= lastField; ++f) {
      if (f > static_cast<int>(fields.size()) || f > static_cast<int>(nextFields.size())) break;
      for (ImportTimeFormat format :
           {ImportTimeFormat::DateTime, ImportTimeFormat::TimeOfDay, ImportTimeFormat::Seconds}) {
        if (given.TimeFormat != ImportTimeFormat::Detect && format != given.TimeFormat) continue;
        const auto idx = static_cast<size_t>(f - 1);
        if (ParseStamp(fields[idx], format, decimalMark) &&
            ParseStamp(nextFields[idx], format, decimalMark) &&
            HasNumberBesides(fields, f, decimalMark))
          return Layout{f, format, i};
      }
    }
  }
  return std::nullopt;
}

}  // namespace

ImportError::ImportError(int line, const std::string& reason)
    : std::runtime_error(line > 0 ? "vrstica " + std::to_string(line) + ": " + reason : reason),
      line_(line),
      reason_(reason) {}

std::string TimeFormatText(ImportTimeFormat format) {
  switch (format) {
    case ImportTimeFormat::DateTime:
      return "datum in čas";
    case ImportTimeFormat::TimeOfDay:
      return "čas dneva";
    case ImportTimeFormat::Seconds:
      return "sekunde";
    case ImportTimeFormat::Detect:
      break;
  }
  return "samodejno";
}

DelimitedTable ReadDelimitedTable(const std::vector<std::string>& lines,
                                  const ImportFormat& given) {
  DelimitedTable t;
  t.Counts.Lines = static_cast<int>(lines.size());
  std::vector<std::string_view> sample;
  size_t firstNonBlank = lines.size();
  for (size_t i = 0; i < lines.size() && static_cast<int>(sample.size()) < DetectLines; ++i)
    if (!Blank(lines[i])) {
      if (firstNonBlank == lines.size()) firstNonBlank = i;
      sample.push_back(lines[i]);
    }
  if (sample.empty()) throw ImportError(0, "datoteka je prazna.");
  const int firstLine = static_cast<int>(firstNonBlank) + 1;

  const char delimiter = given.Delimiter ? given.Delimiter : DetectDelimiter(sample);
  if (!delimiter)
    throw ImportError(firstLine,
                      "datoteka ni tabela: vrstice nimajo skupnega ločila (podpičje, tabulator "
                      "ali vejica).");
  // The decimal mark is detected with the time field assumed first; it is checked again
  // once the layout is known.
  char decimalMark = given.DecimalMark ? given.DecimalMark
                                       : DetectDecimalMark(sample, delimiter,
                                                           given.TimeColumn ? given.TimeColumn : 1);
  auto layout = FindLayout(lines, delimiter, decimalMark, given);
  if (!layout) {
    // The line that should have been the first data row: the one after a header.
    size_t where = firstNonBlank;
    if (where + 1 < lines.size() && !Blank(lines[where + 1])) ++where;
    const auto fields = SplitFields(lines[where], delimiter);
    const int f = given.TimeColumn > 0 ? given.TimeColumn : 1;
    const std::string cell =
        f <= static_cast<int>(fields.size()) ? fields[static_cast<size_t>(f - 1)] : "";
    throw ImportError(static_cast<int>(where) + 1,
                      "ni uporabnega časovnega stolpca: '" + cell +
                          "' ni datum in čas, čas dneva ali število sekund, ali pa mu ne sledi "
                          "vrstica z enakim časom.");
  }
  if (!given.DecimalMark && layout->TimeField != 1)
    decimalMark = DetectDecimalMark(sample, delimiter, layout->TimeField);
  t.Format = {delimiter, decimalMark, layout->Format, layout->TimeField};
  t.FirstDataLine = static_cast<int>(layout->FirstData) + 1;

  // The header: the nearest non-empty line above the first data row.
  std::vector<std::string> header;
  for (size_t i = layout->FirstData; i-- > 0;)
    if (!Blank(lines[i])) {
      t.HeaderLine = static_cast<int>(i) + 1;
      header = SplitFields(lines[i], delimiter);
      break;
    }
  for (size_t i = 0; i < layout->FirstData; ++i)
    if (!Blank(lines[i]))
      ++t.Counts.LinesBeforeData;
    else
      ++t.Counts.EmptyLines;

  const auto timeIndex = static_cast<size_t>(layout->TimeField - 1);
  // The columns are the header's, or the first row's; a delimiter ending a line (as
  // loggers write) opens no column.
  auto fieldsWithout = [](std::vector<std::string> f) {
    while (f.size() > 1 && f.back().empty()) f.pop_back();
    return f;
  };
  header = fieldsWithout(std::move(header));
  const size_t width = header.size() >= 2
                           ? header.size()
                           : fieldsWithout(SplitFields(lines[layout->FirstData], delimiter)).size();
  int valueColumns = static_cast<int>(width) - 1;
  if (valueColumns > MaxImportColumns) {
    t.Counts.ColumnsIgnored = valueColumns - MaxImportColumns;
    valueColumns = MaxImportColumns;
  }
  if (valueColumns < 1)
    throw ImportError(t.FirstDataLine, "vrstica nima stolpca s podatki poleg časa.");
  // Value column c (0-based) is field fieldOf(c).
  auto fieldOf = [&](int c) {
    return static_cast<size_t>(c) < timeIndex ? static_cast<size_t>(c) : static_cast<size_t>(c) + 1;
  };
  for (int c = 0; c < valueColumns; ++c) {
    const size_t f = fieldOf(c);
    std::string name = f < header.size() ? header[f] : "";
    if (name.empty()) name = "Stolpec " + std::to_string(f + 1);
    t.Names.push_back(std::move(name));
  }
  if (!header.empty()) t.Preview.push_back(header);

  t.Values.assign(static_cast<size_t>(valueColumns), {});
  const size_t expected = lines.size() - layout->FirstData;
  t.Time.reserve(expected);
  for (auto& column : t.Values) column.reserve(expected);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> cells(static_cast<size_t>(valueColumns));
  std::vector<int> kinds(static_cast<size_t>(valueColumns));  // 0 value, 1 empty, 2 not a number
  std::int64_t base = 0, dayShift = 0;
  double baseFraction = 0;
  double lastTime = 0;
  bool any = false;
  std::vector<std::string> fields;
  for (size_t i = layout->FirstData; i < lines.size(); ++i) {
    if (Blank(lines[i])) {
      ++t.Counts.EmptyLines;
      continue;
    }
    fields = SplitFields(lines[i], delimiter);
    if (static_cast<int>(t.Preview.size()) < PreviewRows) t.Preview.push_back(fields);
    const auto stamp = timeIndex < fields.size()
                           ? ParseStamp(fields[timeIndex], layout->Format, decimalMark)
                           : std::nullopt;
    if (!stamp) {
      ++t.Counts.RowsBadTime;
      continue;
    }
    if (!any) base = stamp->Whole, baseFraction = stamp->Fraction;
    double time =
        static_cast<double>(stamp->Whole + dayShift - base) + (stamp->Fraction - baseFraction);
    // A time of day that falls back by more than half a day has passed midnight.
    if (any && layout->Format == ImportTimeFormat::TimeOfDay && time < lastTime - 43200) {
      dayShift += 86400;
      time += 86400;
    }
    if (any && time < lastTime) {
      ++t.Counts.RowsBackwards;
      continue;
    }
    for (int c = 0; c < valueColumns; ++c) {
      const size_t f = fieldOf(c);
      const auto ci = static_cast<size_t>(c);
      if (f >= fields.size() || fields[f].empty()) {
        kinds[ci] = 1;
      } else if (const auto v = TryParseFloat(fields[f], decimalMark)) {
        kinds[ci] = 0;
        cells[ci] = *v;
      } else {
        kinds[ci] = 2;
      }
    }
    const bool repeated = any && time == lastTime;
    if (repeated) {
      ++t.Counts.RowsRepeated;
      for (size_t c = 0; c < cells.size(); ++c)
        if (kinds[c] == 0) t.Values[c].back() = cells[c];
    } else {
      t.Time.push_back(time);
      for (size_t c = 0; c < cells.size(); ++c) {
        std::vector<double>& column = t.Values[c];
        column.push_back(kinds[c] == 0 ? cells[c] : column.empty() ? nan : column.back());
      }
    }
    for (int kind : kinds) {
      if (kind == 1) ++t.Counts.MissingValues;
      if (kind == 2) ++t.Counts.NonNumericValues;
    }
    lastTime = time;
    any = true;
  }
  t.BaseSecond = base;
  t.BaseFraction = baseFraction;
  t.Counts.DataRows = static_cast<int>(t.Time.size());
  if (t.Counts.DataRows < MinImportRows)
    throw ImportError(static_cast<int>(lines.size()),
                      "vrstic s podatki je le " + std::to_string(t.Counts.DataRows) +
                          "; potrebnih je vsaj " + std::to_string(MinImportRows) + ".");
  if (t.Time.back() <= 0) throw ImportError(t.FirstDataLine, "čas se v datoteki ne spreminja.");
  // A column that starts empty takes its first value; a column without any stays NaN.
  for (auto& column : t.Values) {
    const auto first =
        std::find_if(column.begin(), column.end(), [](double v) { return !std::isnan(v); });
    if (first != column.end()) std::fill(column.begin(), first, *first);
  }
  return t;
}

DataFileKind ClassifyDataFile(const std::vector<std::string>& lines) {
  if (!lines.empty() && lines[0] == DataFileBanner) return DataFileKind::Banner;
  auto clockLine = [&](size_t i) {
    if (i >= lines.size()) return false;
    const std::string& line = lines[i];
    // A logger's stamp is digits and two colons; its values are checked by the reader.
    const size_t sep = line.find_first_of(";,");
    if (sep == std::string::npos || sep == 0) return false;
    const std::string_view stamp = Trim(std::string_view(line).substr(0, sep));
    return std::count(stamp.begin(), stamp.end(), ':') == 2 &&
           std::all_of(stamp.begin(), stamp.end(), [](char c) {
             return c == ':' || std::isdigit(static_cast<unsigned char>(c));
           });
  };
  auto dataRow = [&](size_t i) {
    if (i >= lines.size()) return false;
    for (char d : {';', ',', '\t'}) {
      const auto fields = SplitFields(lines[i], d);
      if (fields.size() >= 2 && (ParseTimeOfDay(fields[0]) || ParseDateTime(fields[0])))
        return true;
    }
    return false;
  };
  if (clockLine(5) && clockLine(6) && !dataRow(1)) return DataFileKind::Logger;
  return DataFileKind::Delimited;
}
