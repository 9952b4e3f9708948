// Reading a delimited export into a table: the delimiter, decimal mark, time column and
// time format detected (or given), the header found, the rows kept by the stated rules.
#include "data/DelimitedImport.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>

#include "data/ImportParsing.h"
#include "data/NumberFormat.h"

using namespace importparsing;

namespace {

constexpr int DetectLines = 40;   // lines looked at to detect the layout
constexpr int PreviewRows = 8;    // rows of the preview, header included
constexpr int SearchLines = 200;  // lines searched for the first data row

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
  int TimeField = 0;  // 0: a data row was found, but no field of it can be the time
  ImportTimeFormat Format = ImportTimeFormat::Detect;
  size_t FirstData = 0;  // index of the first data line
};

// The fields of the nearest non-empty line above line `i`; empty when there is none.
std::vector<std::string> HeaderAbove(const std::vector<std::string>& lines, size_t i,
                                     char delimiter) {
  while (i-- > 0)
    if (!Blank(lines[i])) return SplitFields(lines[i], delimiter);
  return {};
}

// Whether field f of the rows from line `first` on reads as seconds that never fall and
// rise from row to row at least as often as they stay: the clock of a record, not a
// signal that happens to be a number.
bool RisingSeconds(const std::vector<std::string>& lines, size_t first, size_t f, char delimiter,
                   char decimalMark) {
  int rows = 0, rises = 0;
  std::optional<double> before;
  for (size_t i = first; i < lines.size() && rows < DetectLines; ++i) {
    if (Blank(lines[i])) continue;
    const auto fields = SplitFields(lines[i], delimiter);
    const auto v = f < fields.size() ? TryParseFloat(fields[f], decimalMark) : std::nullopt;
    if (!v) return false;
    if (before) {
      if (*v < *before) return false;
      if (*v > *before) ++rises;
    }
    before = v;
    ++rows;
  }
  return rows >= 2 && rises * 2 >= rows - 1;
}

// The first data row and its time field: the first line with a field that reads as a
// time stamp in the same format as the next non-empty line's, beside a number. Of such
// fields the time is the one whose heading names a time, else the first with dates or
// times of day, else the first with rising seconds. A given field or format is the only
// one tried.
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
    const int firstField = given.TimeColumn > 0 ? given.TimeColumn : 1;
    const int lastField = given.TimeColumn > 0 ? given.TimeColumn : static_cast<int>(fields.size());
    std::vector<Layout> candidates;
    for (int f = firstField; f <= lastField; ++f) {
      if (f > static_cast<int>(fields.size()) || f > static_cast<int>(nextFields.size())) break;
      for (ImportTimeFormat format :
           {ImportTimeFormat::DateTime, ImportTimeFormat::TimeOfDay, ImportTimeFormat::Seconds}) {
        if (given.TimeFormat != ImportTimeFormat::Detect && format != given.TimeFormat) continue;
        const auto idx = static_cast<size_t>(f - 1);
        if (ParseStamp(fields[idx], format, decimalMark) &&
            ParseStamp(nextFields[idx], format, decimalMark) &&
            HasNumberBesides(fields, f, decimalMark)) {
          candidates.push_back(Layout{f, format, i});
          break;
        }
      }
    }
    if (candidates.empty()) continue;
    if (given.TimeColumn > 0) return candidates.front();
    const auto header = HeaderAbove(lines, i, delimiter);
    for (const Layout& c : candidates)
      if (static_cast<size_t>(c.TimeField) <= header.size() &&
          IsTimeName(header[static_cast<size_t>(c.TimeField - 1)]))
        return c;
    for (const Layout& c : candidates)
      if (c.Format != ImportTimeFormat::Seconds) return c;
    for (const Layout& c : candidates)
      if (RisingSeconds(lines, i, static_cast<size_t>(c.TimeField - 1), delimiter, decimalMark))
        return c;
    return Layout{0, ImportTimeFormat::Detect, i};
  }
  return std::nullopt;
}

// A long export's columns by their headings: tag, value and quality (0-based fields).
struct LongColumns {
  size_t Tag = 0, Value = 0;
  int Quality = -1;
};
std::optional<LongColumns> FindLongColumns(const std::vector<std::string>& header,
                                           size_t timeField) {
  std::optional<size_t> tag, value;
  int quality = -1;
  for (size_t f = 0; f < header.size(); ++f) {
    if (f == timeField) continue;
    if (!tag && IsTagName(header[f]))
      tag = f;
    else if (!value && IsValueName(header[f]))
      value = f;
    else if (quality < 0 && IsQualityName(header[f]))
      quality = static_cast<int>(f);
  }
  if (!tag || !value) return std::nullopt;
  return LongColumns{*tag, *value, quality};
}

// A long export that the headings did not name: rows that repeat the time of the row
// before while a field of text (a tag) changes. Returns the 1-based field of that text.
int UnnamedLongLayout(const std::vector<std::string>& lines, const Layout& layout, char delimiter,
                      char decimalMark) {
  std::vector<std::vector<std::string>> rows;
  for (size_t i = layout.FirstData; i < lines.size() && rows.size() < DetectLines; ++i)
    if (!Blank(lines[i])) rows.push_back(SplitFields(lines[i], delimiter));
  const auto timeIndex = static_cast<size_t>(layout.TimeField - 1);
  for (size_t f = 0; f < rows.front().size(); ++f) {
    if (f == timeIndex) continue;
    int repeatsWithOtherText = 0;
    bool text = true;
    for (size_t r = 0; r < rows.size() && text; ++r) {
      text = f < rows[r].size() && !rows[r][f].empty() && !TryParseFloat(rows[r][f], decimalMark);
      if (text && r > 0 && timeIndex < rows[r].size() && timeIndex < rows[r - 1].size() &&
          rows[r][timeIndex] == rows[r - 1][timeIndex] && rows[r][f] != rows[r - 1][f])
        ++repeatsWithOtherText;
    }
    if (text && repeatsWithOtherText * 3 >= static_cast<int>(rows.size()))
      return static_cast<int>(f) + 1;
  }
  return 0;
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
  if (layout->TimeField == 0)
    throw ImportError(static_cast<int>(layout->FirstData) + 1,
                      "noben stolpec ne more biti čas: nobeden nima naslova časa (Time, Čas, "
                      "Timestamp, Datum …), datuma in časa, časa dneva ali naraščajočih sekund; "
                      "stolpec časa izberite sami.");
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
  if (timeIndex < header.size()) t.TimeName = header[timeIndex];
  if (!header.empty()) t.Preview.push_back(header);

  if (const auto longColumns = FindLongColumns(header, timeIndex)) {
    t.Long = true;
    ReadLongRows(lines, layout->FirstData, longColumns->Tag, timeIndex, longColumns->Value,
                 longColumns->Quality, t);
  } else {
    auto refuseLong = [&](const std::string& why) {
      throw ImportError(t.FirstDataLine,
                        why +
                            ": to je dolga oblika izvoza (oznaka, čas, vrednost); program jo "
                            "bere, ko glava poimenuje stolpce (na primer Tag;Timestamp;Value).");
    };
    if (const int tagField = UnnamedLongLayout(lines, *layout, delimiter, decimalMark))
      refuseLong("vrstice z enakim časom se razlikujejo po besedilu v stolpcu " +
                 std::to_string(tagField));
    // The columns are the header's, or the first row's; a delimiter ending a line (as
    // loggers write) opens no column.
    auto fieldsWithout = [](std::vector<std::string> f) {
      while (f.size() > 1 && f.back().empty()) f.pop_back();
      return f;
    };
    header = fieldsWithout(std::move(header));
    const size_t width =
        header.size() >= 2 ? header.size()
                           : fieldsWithout(SplitFields(lines[layout->FirstData], delimiter)).size();
    // Value and quality columns: a quality column belongs to the value column its heading
    // names ("FIC101 Quality"), else to the nearest value column on its left.
    // A column named Status that holds only 0 and 1 is a binary signal, not a quality.
    auto binary = [&](size_t f) {
      bool one = false;
      for (size_t i = layout->FirstData, rows = 0; i < lines.size() && rows < 200; ++i) {
        if (Blank(lines[i])) continue;
        ++rows;
        const auto fields = SplitFields(lines[i], delimiter);
        const auto v = f < fields.size() ? TryParseFloat(fields[f], '.') : std::nullopt;
        if (!v || (*v != 0 && *v != 1)) return false;
        one = one || *v == 1;
      }
      return one;
    };
    std::vector<size_t> valueFields;
    std::vector<int> qualityOf;  // per value column: its quality's field, or -1
    for (size_t f = 0; f < width; ++f) {
      if (f == timeIndex) continue;
      const std::string& name = f < header.size() ? header[f] : std::string();
      const std::string owner = QualityOwner(name);
      if (!valueFields.empty() && (IsQualityName(name) || !owner.empty()) && !binary(f)) {
        size_t target = valueFields.size() - 1;
        for (size_t v = 0; v < valueFields.size(); ++v)
          if (!owner.empty() && valueFields[v] < header.size() &&
              std::string(Trim(header[valueFields[v]])) == owner)
            target = v;
        if (qualityOf[target] < 0) {
          qualityOf[target] = static_cast<int>(f);
          ++t.Counts.QualityColumns;
          continue;
        }
      }
      if (static_cast<int>(valueFields.size()) == MaxImportColumns) {
        ++t.Counts.ColumnsIgnored;
        continue;
      }
      valueFields.push_back(f);
      qualityOf.push_back(-1);
    }
    if (valueFields.empty())
      throw ImportError(t.FirstDataLine, "vrstica nima stolpca s podatki poleg časa.");
    for (const size_t f : valueFields) {
      std::string name = f < header.size() ? header[f] : "";
      if (name.empty()) name = "Stolpec " + std::to_string(f + 1);
      t.Names.push_back(std::move(name));
    }
    // Each quality column's coding from the first rows.
    std::vector<char> da(valueFields.size(), 0);
    for (size_t c = 0; c < valueFields.size(); ++c) {
      if (qualityOf[c] < 0) continue;
      std::vector<std::string> cells;
      for (size_t i = layout->FirstData; i < lines.size() && cells.size() < 200; ++i) {
        const auto fields = SplitFields(lines[i], delimiter);
        if (static_cast<size_t>(qualityOf[c]) < fields.size())
          cells.push_back(fields[static_cast<size_t>(qualityOf[c])]);
      }
      da[c] = DaCoding(std::vector<std::string_view>(cells.begin(), cells.end()));
    }

    const size_t columns = valueFields.size();
    RowBuilder rows(t, columns, lines.size() - layout->FirstData);
    std::vector<double> cells(columns);
    std::vector<CellKind> kinds(columns);
    std::int64_t base = 0, dayShift = 0;
    double baseFraction = 0;
    double lastTime = 0, lastInterval = 0, clockShift = 0;
    std::int64_t lastWhole = 0;
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
      if (!any) {
        base = stamp->Whole, baseFraction = stamp->Fraction;
        if (stamp->Zoned) t.ZoneOffset = stamp->Offset;
      }
      double time =
          static_cast<double>(stamp->Whole + dayShift - base) + (stamp->Fraction - baseFraction);
      // A time of day that falls back by more than half a day has passed midnight.
      if (any && layout->Format == ImportTimeFormat::TimeOfDay && time < lastTime - 43200) {
        dayShift += 86400;
        time += 86400;
      }
      time += clockShift;
      // A local clock put back (an hour repeated) or forward (an hour skipped) at night.
      if (any && !stamp->Zoned && layout->Format != ImportTimeFormat::Seconds)
        if (const auto change =
                ClockChangeBetween(lastWhole, stamp->Whole, time - lastTime, lastInterval)) {
          clockShift += change->Shift;
          time += change->Shift;
          t.ClockChanges.push_back({time, change->Shift, change->Hour});
        }
      if (any && time < lastTime) {
        ++t.Counts.RowsBackwards;
        continue;
      }
      if (any && time > lastTime) lastInterval = time - lastTime;
      lastWhole = stamp->Whole;
      for (size_t c = 0; c < columns; ++c) {
        const size_t f = valueFields[c];
        if (f >= fields.size() || fields[f].empty()) {
          kinds[c] = CellKind::Empty;
        } else if (const auto v = TryParseFloat(fields[f], decimalMark)) {
          const auto q = static_cast<size_t>(qualityOf[c]);
          const bool good =
              qualityOf[c] < 0 || GoodQuality(q < fields.size() ? fields[q] : std::string(), da[c]);
          kinds[c] = good ? CellKind::Value : CellKind::BadQuality;
          cells[c] = *v;
        } else {
          kinds[c] = CellKind::NotNumber;
        }
      }
      const bool repeated = any && time == lastTime;
      if (repeated) ++t.Counts.RowsRepeated;
      rows.Add(time, repeated, cells, kinds);
      lastTime = time;
      any = true;
    }
    rows.Finish();
    // Rows whose time goes back beside a column of text only: the tags of a long export
    // sorted by tag, which this reading would cut into a wrong record.
    const int backwards = t.Counts.RowsBackwards;
    if (!t.Time.empty() && backwards * 10 >= static_cast<int>(t.Time.size()) + backwards)
      for (size_t c = 0; c < columns; ++c)
        if (t.NonNumericByColumn[c] > 0 && std::isnan(t.Values[c].front()))
          refuseLong("čas se vrača, stolpec " + std::to_string(valueFields[c] + 1) +
                     " pa ima samo besedilo");
    t.BaseSecond = base;
    t.BaseFraction = baseFraction;
  }
  t.Counts.DataRows = static_cast<int>(t.Time.size());
  if (t.Counts.DataRows < MinImportRows)
    throw ImportError(static_cast<int>(lines.size()),
                      "vrstic s podatki je le " + std::to_string(t.Counts.DataRows) +
                          "; potrebnih je vsaj " + std::to_string(MinImportRows) + ".");
  if (t.Time.back() <= 0) throw ImportError(t.FirstDataLine, "čas se v datoteki ne spreminja.");
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
      if (fields.size() >= 2 && (ParseStamp(fields[0], ImportTimeFormat::TimeOfDay, '.') ||
                                 ParseStamp(fields[0], ImportTimeFormat::DateTime, '.')))
        return true;
    }
    return false;
  };
  if (clockLine(5) && clockLine(6) && !dataRow(1)) return DataFileKind::Logger;
  return DataFileKind::Delimited;
}
