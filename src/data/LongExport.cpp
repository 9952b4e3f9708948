// A long export (one row per tag and time: tag, time, value, optionally quality) turned
// into one row per time with a column per tag.
#include <algorithm>
#include <cmath>
#include <map>

#include "data/ImportParsing.h"
#include "data/NumberFormat.h"

namespace importparsing {

namespace {

struct Sample {
  double Time = 0;
  int Tag = 0;
  CellKind Kind = CellKind::Value;
  double Value = 0;
};

}  // namespace

void ReadLongRows(const std::vector<std::string>& lines, size_t firstData, size_t tagField,
                  size_t timeField, size_t valueField, int qualityField, DelimitedTable& t) {
  const ImportFormat& format = t.Format;
  const char mark = format.DecimalMark;
  // The quality's coding from the first rows.
  bool da = false;
  if (qualityField >= 0) {
    std::vector<std::string> cells;
    for (size_t i = firstData; i < lines.size() && cells.size() < 200; ++i) {
      const auto fields = SplitFields(lines[i], format.Delimiter);
      if (static_cast<size_t>(qualityField) < fields.size())
        cells.push_back(fields[static_cast<size_t>(qualityField)]);
    }
    da = DaCoding(std::vector<std::string_view>(cells.begin(), cells.end()));
  }

  std::map<std::string, int> tagIndex;
  std::vector<Sample> samples;
  samples.reserve(lines.size() - firstData);
  std::int64_t base = 0;
  double baseFraction = 0;
  bool any = false;
  // A time of day passes midnight per tag: a file sorted by tag starts each tag anew.
  std::vector<double> lastTime, clockShift, lastInterval;
  std::vector<std::int64_t> dayShift, lastWhole;
  std::vector<char> seen;
  std::vector<std::string> fields;
  for (size_t i = firstData; i < lines.size(); ++i) {
    if (Blank(lines[i])) {
      ++t.Counts.EmptyLines;
      continue;
    }
    fields = SplitFields(lines[i], format.Delimiter);
    if (t.Preview.size() < 8) t.Preview.push_back(fields);
    const auto stamp = timeField < fields.size()
                           ? ParseStamp(fields[timeField], format.TimeFormat, mark)
                           : std::nullopt;
    if (!stamp || tagField >= fields.size() || fields[tagField].empty()) {
      ++t.Counts.RowsBadTime;
      continue;
    }
    // A tag beyond MaxImportColumns keeps the index -1: its rows are left out.
    auto [it, added] = tagIndex.try_emplace(fields[tagField], -1);
    if (added) {
      if (t.Names.size() >= static_cast<size_t>(MaxImportColumns)) {
        ++t.Counts.ColumnsIgnored;
        continue;
      }
      it->second = static_cast<int>(t.Names.size());
      t.Names.push_back(fields[tagField]);
      lastTime.push_back(0);
      dayShift.push_back(0);
      clockShift.push_back(0);
      lastInterval.push_back(0);
      lastWhole.push_back(0);
      seen.push_back(0);
    }
    if (it->second < 0) continue;
    const auto tag = static_cast<size_t>(it->second);
    if (!any) {
      base = stamp->Whole, baseFraction = stamp->Fraction, any = true;
      if (stamp->Zoned) t.ZoneOffset = stamp->Offset;
    }
    double time =
        static_cast<double>(stamp->Whole + dayShift[tag] - base) + (stamp->Fraction - baseFraction);
    if (format.TimeFormat == ImportTimeFormat::TimeOfDay && time < lastTime[tag] - 43200) {
      dayShift[tag] += 86400;
      time += 86400;
    }
    // A daylight-saving change, per tag as the tag's rows come in file order: said once.
    time += clockShift[tag];
    if (seen[tag] && !stamp->Zoned)
      if (const auto change = ClockChangeBetween(lastWhole[tag], stamp->Whole, time - lastTime[tag],
                                                 lastInterval[tag])) {
        clockShift[tag] += change->Shift;
        time += change->Shift;
        if (t.ClockChanges.empty() || t.ClockChanges.back().Hour != change->Hour)
          t.ClockChanges.push_back({time, change->Shift, change->Hour});
      }
    if (seen[tag] && time > lastTime[tag]) lastInterval[tag] = time - lastTime[tag];
    seen[tag] = 1;
    lastWhole[tag] = stamp->Whole;
    lastTime[tag] = time;
    Sample s;
    s.Time = time;
    s.Tag = static_cast<int>(tag);
    const std::string value = valueField < fields.size() ? fields[valueField] : std::string();
    const auto v = TryParseFloat(value, mark);
    if (value.empty())
      s.Kind = CellKind::Empty;
    else if (!v)
      s.Kind = CellKind::NotNumber;
    else if (qualityField >= 0 && !GoodQuality(static_cast<size_t>(qualityField) < fields.size()
                                                   ? fields[static_cast<size_t>(qualityField)]
                                                   : std::string(),
                                               da))
      s.Kind = CellKind::BadQuality;
    else
      s.Value = *v;
    samples.push_back(s);
  }
  // In time order; rows of one time keep the file's order, so a later row is the newer.
  std::stable_sort(samples.begin(), samples.end(),
                   [](const Sample& a, const Sample& b) { return a.Time < b.Time; });
  const double origin = samples.empty() ? 0 : samples.front().Time;
  for (DelimitedTable::ClockChange& change : t.ClockChanges) change.Time -= origin;
  const double shifted = baseFraction + origin;
  t.BaseSecond = base + static_cast<std::int64_t>(std::floor(shifted));
  t.BaseFraction = shifted - std::floor(shifted);

  const size_t columns = t.Names.size();
  RowBuilder rows(t, columns, samples.size() / std::max<size_t>(columns, 1) + 1);
  std::vector<double> cells(columns);
  std::vector<CellKind> kinds(columns);
  for (size_t i = 0; i < samples.size();) {
    const double time = samples[i].Time;
    std::fill(kinds.begin(), kinds.end(), CellKind::Absent);
    for (; i < samples.size() && samples[i].Time == time; ++i) {
      const Sample& s = samples[i];
      const auto c = static_cast<size_t>(s.Tag);
      if (s.Kind == CellKind::Value) {
        if (kinds[c] == CellKind::Value) ++t.Counts.RowsRepeated;
        kinds[c] = CellKind::Value;
        cells[c] = s.Value;
      } else if (kinds[c] != CellKind::Value) {
        if (kinds[c] != CellKind::Absent) ++t.Counts.RowsRepeated;
        kinds[c] = s.Kind;
      } else {
        ++t.Counts.RowsRepeated;
      }
    }
    rows.Add(time - origin, false, cells, kinds);
  }
  rows.Finish();
  if (qualityField >= 0) ++t.Counts.QualityColumns;
}

}  // namespace importparsing
