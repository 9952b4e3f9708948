// The imported table on a uniform grid: the sample time, the range around the largest MV
// step, the last value held at each grid time, the gaps reported; and the record put
// into the store.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>

#include "data/DelimitedImport.h"
#include "data/NumberFormat.h"
#include "data/TextFile.h"

namespace {

constexpr double DefaultGapSampleTimes = 5;
constexpr int MaxGridSamples = 100'000'000;  // a grid beyond this is a wrong sample time
constexpr double LeadFraction = 0.1;         // of the record before the step

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A column given by name or number; 0 when not given. Throws for one the file lacks.
int ResolveColumn(const std::string& given, const DelimitedTable& table, const char* role) {
  const std::vector<std::string>& names = table.Names;
  if (given.empty()) return 0;
  const int count = static_cast<int>(names.size());
  if (const auto number = TryParseInt(given)) {
    if (*number < 1 || *number > count) {
      // "je 1 stolpec", "sta 2 stolpca", "so 3 stolpci", "je 5 stolpcev"
      const int last = count % 100;
      const char* verb = last == 2 ? "sta" : last == 3 || last == 4 ? "so" : "je";
      throw std::runtime_error(std::string(role) + ": stolpca " + std::to_string(*number) +
                               " ni; v datoteki " + verb + " poleg časa le " +
                               CountText(count, "stolpec", "stolpca", "stolpci", "stolpcev") + ".");
    }
    return *number;
  }
  for (int c = 0; c < count; ++c)
    if (names[static_cast<size_t>(c)] == given) return c + 1;
  for (int c = 0; c < count; ++c)
    if (Lower(names[static_cast<size_t>(c)]) == Lower(given)) return c + 1;
  if (!table.TimeName.empty() && Lower(table.TimeName) == Lower(given))
    throw std::runtime_error(std::string(role) + ": '" + given + "' je stolpec časa, ne signal.");
  std::string list;
  for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
  throw std::runtime_error(std::string(role) + ": stolpca '" + given +
                           "' ni med naslovi stolpcev (" + list + ").");
}

double Median(std::vector<double> v) {
  const size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(mid), v.end());
  if (v.size() % 2) return v[mid];
  const double upper = v[mid];
  return (*std::max_element(v.begin(), v.begin() + static_cast<long>(mid)) + upper) / 2;
}

// The values of a column at the grid times from + k*ts, k = 0..n-1: the last row at or
// before each time (a row a millionth of a sample time late still counts as on time).
std::vector<double> Hold(const std::vector<double>& time, const std::vector<double>& values,
                         double from, double ts, int n) {
  std::vector<double> out(static_cast<size_t>(n));
  size_t row = 0;
  const double tolerance = 1e-6 * ts;
  for (int k = 0; k < n; ++k) {
    const double t = from + k * ts + tolerance;
    while (row + 1 < time.size() && time[row + 1] <= t) ++row;
    out[static_cast<size_t>(k)] = values[row];
  }
  return out;
}

std::string Seconds(double s, char separator) { return FormatGeneral(s, 10, separator) + " s"; }

std::string TwoDigits(std::int64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); }

// The date and time of day of a point of the file, as the file gives them.
void StampTexts(const DelimitedTable& table, double at, DataFileTexts& texts) {
  if (table.Format.TimeFormat == ImportTimeFormat::Seconds) return;
  // The clock as it read there: the changes of the clock before the point undone.
  for (const DelimitedTable::ClockChange& change : table.ClockChanges)
    if (change.Time <= at) at -= change.Shift;
  const double whole = std::floor(at + table.BaseFraction);
  // A time with a zone in the clock of its own zone, the zone named.
  std::int64_t second =
      table.BaseSecond + static_cast<std::int64_t>(whole) + table.ZoneOffset.value_or(0);
  std::int64_t days = second >= 0 ? second / 86400 : -((-second + 86399) / 86400);
  const std::int64_t inDay = second - days * 86400;
  texts.Time =
      TwoDigits(inDay / 3600) + ":" + TwoDigits(inDay / 60 % 60) + ":" + TwoDigits(inDay % 60);
  if (const auto offset = table.ZoneOffset) {
    const int minutes = std::abs(*offset) / 60;
    texts.Time += *offset == 0 ? " (UTC)"
                               : std::string(" (UTC") + (*offset < 0 ? "-" : "+") +
                                     TwoDigits(minutes / 60) + ":" + TwoDigits(minutes % 60) + ")";
  }
  if (table.Format.TimeFormat == ImportTimeFormat::DateTime) {
    // Days since 1970-01-01 to a civil date.
    std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp + (mp < 10 ? 3 : -9);
    const std::int64_t y = yoe + era * 400 + (m <= 2);
    texts.Date = std::to_string(y) + "-" + TwoDigits(m) + "-" + TwoDigits(d);
  }
}

}  // namespace

std::array<int, 4> DefaultImportColumns(const DelimitedTable& table) {
  std::vector<int> numeric;  // 1-based
  for (size_t c = 0; c < table.Values.size(); ++c)
    if (!table.Values[c].empty() && !std::isnan(table.Values[c].front()))
      numeric.push_back(static_cast<int>(c) + 1);
  if (numeric.empty()) return {1, 1, 1, 0};
  auto at = [&](size_t i) { return numeric[std::min(i, numeric.size() - 1)]; };
  switch (numeric.size()) {
    case 1:
      return {at(0), at(0), at(0), 0};
    case 2:
      return {at(0), at(0), at(1), 0};
    case 3:
      return {at(0), at(1), at(2), 0};
    default:
      return {at(0), at(1), at(2), at(3)};
  }
}

ImportedRecord ResampleTable(const DelimitedTable& table, const ResampleOptions& o, char sep) {
  ImportedRecord r;
  const std::vector<double>& time = table.Time;

  // The columns: given, or the defaults. Once one is given, an empty U is MV and an
  // empty Y2 is none.
  const std::array<int, 4> d = DefaultImportColumns(table);
  const std::string* given[4] = {&o.Columns.MV, &o.Columns.U, &o.Columns.Y1, &o.Columns.Y2};
  const bool anyGiven = std::any_of(given, given + 4, [](auto* g) { return !g->empty(); });
  const char* roles[4] = {"MV", "U", "Y1", "Y2"};
  for (int i = 0; i < 4; ++i) {
    const int c = ResolveColumn(*given[i], table, roles[i]);
    r.Columns[i] = c ? c : !anyGiven ? d[i] : i == 1 ? r.Columns[0] : i == 3 ? 0 : d[i];
    if (r.Columns[i] == 0) continue;
    r.Names[i] = table.Names[static_cast<size_t>(r.Columns[i] - 1)];
    const std::vector<double>& v = table.Values[static_cast<size_t>(r.Columns[i] - 1)];
    if (std::isnan(v.front()))
      throw std::runtime_error(std::string(roles[i]) + ": stolpec '" + r.Names[i] +
                               "' nima nobene številske vrednosti.");
  }

  // The sample time and the grid over the whole file.
  if (o.SampleTime > 0 && std::isfinite(o.SampleTime)) {
    r.SampleTime = o.SampleTime;
  } else if (o.SampleTime != 0) {
    throw std::runtime_error("Čas vzorčenja mora biti večji od 0.");
  } else {
    std::vector<double> intervals;
    intervals.reserve(time.size());
    for (size_t i = 1; i < time.size(); ++i) intervals.push_back(time[i] - time[i - 1]);
    r.SampleTime = Median(std::move(intervals));
  }
  const double ts = r.SampleTime;
  const double span = time.back();
  const double cells = std::floor(span / ts + 1e-9) + 1;
  if (cells > MaxGridSamples)
    throw std::runtime_error("Čas vzorčenja " + Seconds(ts, sep) + " je premajhen za " +
                             Seconds(span, sep) + " podatkov.");
  r.TotalSamples = static_cast<int>(cells);
  r.GapLimit = o.GapLimit > 0 ? o.GapLimit : DefaultGapSampleTimes * ts;

  // The largest step of MV between two rows.
  const std::vector<double>& mv = table.Values[static_cast<size_t>(r.Columns[0] - 1)];
  size_t stepRow = 0;
  for (size_t i = 1; i < mv.size(); ++i)
    if (std::fabs(mv[i] - mv[i - 1]) > r.StepSize) {
      r.StepSize = std::fabs(mv[i] - mv[i - 1]);
      stepRow = i;
    }
  r.StepFound = r.StepSize > 0;
  r.StepTime = time[stepRow];

  // The range: given, or the whole file when it fits, or around the step.
  int first = 0;  // 0-based on the whole grid
  int count = std::min(r.TotalSamples, MaxSamples);
  if (o.From) {
    first = static_cast<int>(std::clamp(std::ceil(*o.From / ts - 1e-9), 0.0, cells - 1));
  } else if (r.TotalSamples > MaxSamples && r.StepFound) {
    const int stepSample = static_cast<int>(std::ceil(r.StepTime / ts - 1e-9));
    first = std::clamp(stepSample - static_cast<int>(LeadFraction * MaxSamples), 0,
                       r.TotalSamples - MaxSamples);
  }
  count = std::min(count, r.TotalSamples - first);
  if (o.To) {
    const int last = static_cast<int>(std::min(std::floor(*o.To / ts + 1e-9), cells - 1));
    if (last < first) throw std::runtime_error("Konec obsega je pred njegovim začetkom.");
    if (last - first + 1 > MaxSamples)
      throw std::runtime_error("Obseg " + std::to_string(last - first + 1) +
                               " vzorcev presega največ " + std::to_string(MaxSamples) +
                               " vzorcev.");
    count = last - first + 1;
  }
  if (count < 2) throw std::runtime_error("V izbranem obsegu je manj kot dva vzorca.");
  r.FirstSample = first + 1;
  r.From = first * ts;

  std::vector<double>* outs[4] = {&r.MV, &r.U, &r.Y1, &r.Y2};
  for (int i = 0; i < 4; ++i)
    if (r.Columns[i])
      *outs[i] = Hold(time, table.Values[static_cast<size_t>(r.Columns[i] - 1)], r.From, ts, count);

  // Gaps: intervals between rows longer than the limit, and per signal these with the
  // stretches its column held.
  const double to = r.From + (count - 1) * ts;
  for (size_t i = 1; i < time.size(); ++i) {
    const double length = time[i] - time[i - 1];
    if (length <= r.GapLimit) continue;
    if (time[i] > r.From && time[i - 1] < to)
      r.Gaps.push_back({time[i - 1], length});
    else
      ++r.GapsOutside;
  }
  for (int i = 0; i < 4; ++i) {
    if (!r.Columns[i]) continue;
    ImportedRecord::SignalGaps& g = r.GapsOf[i];
    auto add = [&](const ImportGap& gap) {
      ++g.Count;
      if (gap.Length > g.Longest) g.Longest = gap.Length, g.LongestAt = gap.Start;
    };
    for (const ImportGap& gap : r.Gaps) add(gap);
    const auto column = static_cast<size_t>(r.Columns[i] - 1);
    if (column < table.Held.size())
      for (const ImportGap& gap : table.Held[column])
        if (gap.Start + gap.Length >= r.From && gap.Start <= to) add(gap);
  }

  r.Texts.WindowStart = "1";
  r.Texts.WindowEnd = std::to_string(count);
  r.Texts.FilterTime = "0";
  // No actuator model unless one is given: no rate limit and a range that holds U.
  const auto [uMin, uMax] = std::minmax_element(r.U.begin(), r.U.end());
  r.Texts.ActuatorMaximum =
      FormatGeneral(o.ActuatorMaximum.value_or(std::max(100.0, *uMax)), 10, sep);
  r.Texts.ActuatorMinimum =
      FormatGeneral(o.ActuatorMinimum.value_or(std::min(0.0, *uMin)), 10, sep);
  r.Texts.FullStrokeTime = FormatGeneral(o.FullStrokeTime.value_or(0), 10, sep);
  StampTexts(table, r.From, r.Texts);
  return r;
}

void CommitImport(const ImportedRecord& r, MeasurementStore& store) {
  const int n = static_cast<int>(r.MV.size());
  const std::vector<double>* columns[6] = {&r.MV, &r.MV, &r.U, &r.U, &r.Y1, &r.Y2};
  const std::string* names[6] = {&r.Names[0], &r.Names[0], &r.Names[1],
                                 &r.Names[1], &r.Names[2], &r.Names[3]};
  const int columnCount = r.Columns[3] ? 6 : 5;
  for (auto& column : store.DataColumns) std::fill(column.begin(), column.end(), 0.0);
  for (int c = 0; c < columnCount; ++c)
    std::copy(columns[c]->begin(), columns[c]->end(),
              store.DataColumns[static_cast<size_t>(c + 1)].begin() + 1);
  std::fill(store.TimeColumn.begin(), store.TimeColumn.end(), 0.0);
  for (int k = 1; k <= n; ++k) store.TimeColumn[static_cast<size_t>(k)] = (k - 1) * r.SampleTime;
  store.ColumnNames = {};
  for (int c = 0; c < columnCount; ++c) store.ColumnNames[static_cast<size_t>(c + 1)] = *names[c];
  store.SampleCount = n;
  store.ColumnCount = columnCount;
  store.SampleTime = r.SampleTime;
  store.MinWindowSamples = TObdelava::MinWindowWidth(n);
}

std::vector<std::string> ImportSummary(const DelimitedTable& t, const ImportedRecord& r,
                                       bool everyRule) {
  constexpr char Point = '.';
  std::vector<std::string> lines;
  const ImportCounts& c = t.Counts;
  auto add = [&](int count, const std::string& what, const std::string& rule) {
    if (count > 0 || everyRule)
      lines.push_back(what + ": " + std::to_string(count) + " (" + rule + ").");
  };
  // The signals' columns, each once, in the order MV, U, Y1, Y2.
  std::vector<int> used;
  for (int i = 0; i < 4; ++i)
    if (r.Columns[i] && std::find(used.begin(), used.end(), r.Columns[i]) == used.end())
      used.push_back(r.Columns[i]);
  // Cells of one kind in the signals' columns, named per column.
  auto perColumn = [&](const std::vector<int>& counts, const std::string& what,
                       const std::string& rule) {
    std::string list;
    int named = 0;
    for (int column : used) {
      const auto k = static_cast<size_t>(column - 1);
      if (k >= counts.size() || counts[k] == 0) continue;
      list += (list.empty() ? "" : ", ") + t.Names[k] + ": " + std::to_string(counts[k]);
      ++named;
    }
    // "Celice, ki niso števila, v stolpcu …": a relative clause closes with a comma.
    const std::string lead = what.find(',') != std::string::npos ? what + "," : what;
    if (named > 0)
      lines.push_back(lead + (named == 1 ? " v stolpcu " : " v stolpcih ") + list + " (" + rule +
                      ").");
    else if (everyRule)
      lines.push_back(what + ": 0 (" + rule + ").");
  };
  add(c.RowsBackwards, "Vrstice s časom pred prejšnjo vrstico", "izpuščene");
  add(c.RowsRepeated, "Vrstice s ponovljenim časom", "veljajo vrednosti zadnje");
  add(c.RowsBadTime, "Vrstice brez berljivega časa", "izpuščene");
  perColumn(t.MissingByColumn, "Prazne celice", "zadržana prejšnja vrednost");
  perColumn(t.NonNumericByColumn, "Celice, ki niso števila", "zadržana prejšnja vrednost");
  if (c.QualityColumns > 0 || everyRule)
    perColumn(t.BadQualityByColumn, "Vrednosti s kakovostjo, ki ni dobra",
              "zadržana prejšnja vrednost");
  for (const DelimitedTable::ClockChange& change : t.ClockChanges)
    lines.push_back("Sprememba ure pri " + Seconds(change.Time, Point) +
                    ": ura se je premaknila ob " + std::to_string(change.Hour) +
                    ":00; zapis je urejen po vrstnem redu vrstic.");
  if (c.ColumnsIgnored > 0)
    add(c.ColumnsIgnored,
        std::string(t.Long ? "Oznake" : "Stolpci") + " nad " + std::to_string(MaxImportColumns),
        "izpuščeni");
  // The gaps: one line per signal (MV and U together when they are one column).
  const char* roles[4] = {"MV", "U", "Y1", "Y2"};
  for (int i = 0; i < 4; ++i) {
    if (!r.Columns[i] || (i == 1 && r.Columns[1] == r.Columns[0])) continue;
    const ImportedRecord::SignalGaps& g = r.GapsOf[i];
    if (g.Count == 0) continue;
    const std::string role =
        std::string(roles[i]) + (i == 0 && r.Columns[1] == r.Columns[0] ? ", U" : "");
    lines.push_back("Vrzeli v signalu " + role + " (" + r.Names[i] +
                    "): " + std::to_string(g.Count) + ", najdaljša " + Seconds(g.Longest, Point) +
                    " pri " + Seconds(g.LongestAt, Point) + " (zadržana zadnja vrednost; meja " +
                    Seconds(r.GapLimit, Point) + ").");
  }
  if (r.GapsOutside > 0)
    lines.push_back("Vrzeli, daljše od " + Seconds(r.GapLimit, Point) +
                    ", zunaj vzetega obsega: " + std::to_string(r.GapsOutside) + ".");
  const int n = static_cast<int>(r.MV.size());
  if (n < r.TotalSamples)
    lines.push_back(
        "Vzetih je " + std::to_string(n) + " od " + std::to_string(r.TotalSamples) + " vzorcev (" +
        Seconds(r.From, Point) + " do " + Seconds(r.From + (n - 1) * r.SampleTime, Point) +
        " od začetka); izpuščeni vzorci: " + std::to_string(r.FirstSample - 1) + " pred in " +
        std::to_string(r.TotalSamples - r.FirstSample + 1 - n) + " za obsegom.");
  if (!r.StepFound) lines.push_back("Stolpec MV se ne spreminja: v zapisu ni stopnice.");
  return lines;
}

DelimitedImport ImportDelimitedFile(const std::string& path, const ImportFormat& format,
                                    const ResampleOptions& options, MeasurementStore& store,
                                    char separator) {
  DelimitedImport result;
  try {
    result.Table = ReadDelimitedTable(ReadTextLines(path, ExportReadLimit), format);
  } catch (const ImportError& e) {
    if (e.Line() > 0)
      throw FileError("Napaka v vrstici " + std::to_string(e.Line()) + " datoteke '" + path +
                      "': " + e.Reason());
    throw FileError("Datoteka '" + path + "': " + e.Reason());
  }
  result.Record = ResampleTable(result.Table, options, separator);
  result.Record.Texts.Warnings = ImportSummary(result.Table, result.Record);
  CommitImport(result.Record, store);
  return result;
}
