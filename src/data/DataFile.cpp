// Measured data files: the program's own ".vtd" banner format (read and written) and
// the plain column files of a data logger (read only).
#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>
#include <string>

#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"

namespace {

constexpr int BannerHeaderLines = 18;
constexpr int MaxValuesPerLine = MaxColumns - 1;

// A data set read from a file, kept apart from the store until the whole file has
// been read, so that a file that fails half-way leaves the store as it was.
struct StagedData {
  std::array<SampleArray, MaxColumns + 1> Columns{};
  SampleArray Time{};
  std::array<std::string, MaxColumns + 1> Names{};
  int SampleCount = 0;
  int ColumnCount = 0;
  double SampleTime = 0;
};

void Commit(const StagedData& data, MeasurementStore& store) {
  store.DataColumns = data.Columns;
  store.TimeColumn = data.Time;
  store.ColumnNames = data.Names;
  store.SampleCount = data.SampleCount;
  store.ColumnCount = data.ColumnCount;
  store.SampleTime = data.SampleTime;
  store.MinWindowSamples = TObdelava::MinWindowWidth(data.SampleCount);
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

[[noreturn]] void FailAtLine(const std::string& path, size_t index, const std::string& what) {
  throw FileError("Napaka v vrstici " + std::to_string(index + 1) + " datoteke " +
                  Quoted(path) + ": " + what);
}

// A header number of a banner file, returned as text in the caller's separator.
// Either separator is accepted, so a file saved under a decimal comma opens anywhere.
std::string NumberText(const std::string& text, char separator) {
  return FormatGeneral(ParseNumber(text), 10, separator);
}

std::string IntegerText(const std::string& text) { return std::to_string(ParseInt(text)); }

DataFileTexts ReadBannerFile(const std::string& path, const std::vector<std::string>& lines,
                             StagedData& data, char separator) {
  if (lines.size() < BannerHeaderLines)
    throw FileError("Datoteka " + Quoted(path) + " nima celotne glave (" +
                    std::to_string(BannerHeaderLines) + " vrstic).");
  DataFileTexts texts;
  texts.Date = lines[2];
  texts.Time = lines[3];
  data.SampleTime = ParseNumber(lines[4]);
  const int announced = ParseInt(lines[5]);
  texts.WindowStart = IntegerText(lines[6]);
  texts.WindowEnd = IntegerText(lines[7]);
  texts.FilterTime = NumberText(lines[8], separator);
  texts.ActuatorMaximum = NumberText(lines[9], separator);
  texts.ActuatorMinimum = NumberText(lines[10], separator);
  texts.FullStrokeTime = NumberText(lines[11], separator);
  for (int c = 1; c <= 6; ++c) data.Names[static_cast<size_t>(c)] = lines[static_cast<size_t>(11 + c)];

  const int present = static_cast<int>(std::min<size_t>(lines.size() - BannerHeaderLines, MaxSamples));
  if (announced < 1 || present < 1)
    throw FileError("Datoteka " + Quoted(path) + " ne vsebuje nobenega vzorca.");
  int n = announced;
  if (n > MaxSamples) {
    n = MaxSamples;
    texts.Warnings.push_back("Datoteka napoveduje " + std::to_string(announced) +
                             " vzorcev; naloženih je prvih " + std::to_string(MaxSamples) + ".");
  }
  if (present < n) {
    texts.Warnings.push_back("Datoteka napoveduje " + std::to_string(announced) +
                             " vzorcev, vsebuje pa le " + std::to_string(present) +
                             " vrstic s podatki; naloženih je " + std::to_string(present) +
                             " vzorcev.");
    n = present;
  }

  for (int k = 1; k <= n; ++k) {
    const size_t index = BannerHeaderLines + static_cast<size_t>(k) - 1;
    const std::string& line = lines[index];
    size_t begin = 0;
    for (int field = 0; field < 7; ++field) {
      // The seventh field is the rest of the line.
      size_t end = field < 6 ? line.find('\t', begin) : line.size();
      if (end == std::string::npos)
        FailAtLine(path, index, "vrstica nima sedmih števil, ločenih s tabulatorjem.");
      double value = 0;
      try {
        value = ParseNumber(std::string_view(line).substr(begin, end - begin));
      } catch (const ConversionError& e) {
        FailAtLine(path, index, e.what());
      }
      if (field == 0)
        data.Time[static_cast<size_t>(k)] = value;
      else
        data.Columns[static_cast<size_t>(field)][static_cast<size_t>(k)] = value;
      begin = end + 1;
    }
  }
  data.SampleCount = n;
  data.ColumnCount = 6;
  return texts;
}

// The values after a plain data line's time stamp; sets *cut when the line had more.
std::vector<double> SplitValues(std::string_view line, char separator, bool* cut) {
  std::vector<double> values;
  size_t pos = 0;
  for (;;) {
    const size_t next = line.find(separator, pos);
    if (next == std::string_view::npos) break;
    const std::string_view field = line.substr(pos, next - pos);
    if (field.empty()) break;
    pos = next + 1;
    if (field.size() == 1) continue;  // a one-character field takes no value position
    const auto value = TryParseNumber(field);
    if (!value) break;
    if (static_cast<int>(values.size()) == MaxValuesPerLine) {
      if (cut) *cut = true;
      break;
    }
    values.push_back(*value);
  }
  return values;
}

struct PlainLine {
  std::string Stamp;
  std::vector<double> Values;
};

PlainLine SplitPlainLine(const std::string& line, char separator, bool* cut = nullptr) {
  PlainLine r;
  const size_t first = line.find(separator);
  r.Stamp = line.substr(0, first);
  if (first != std::string::npos)
    r.Values = SplitValues(std::string_view(line).substr(first + 1), separator, cut);
  return r;
}

DataFileTexts ReadPlainFile(const std::string& path, const std::vector<std::string>& lines,
                            StagedData& data) {
  if (lines.size() < 7)
    throw FileError("Datoteka " + Quoted(path) +
                    " nima dveh vrstic s podatki (6. in 7. vrstica).");
  DataFileTexts texts;
  const char sep = lines[0].find(';') != std::string::npos ? ';' : ',';
  texts.Date = lines[0].substr(0, lines[0].find(sep));

  // Headings: each followed by the separator; a last one without it ends the line.
  std::string_view rest = lines[2];
  for (int c = 1; c <= MaxColumns && rest.size() > 1; ++c) {
    const size_t next = rest.find(sep);
    data.Names[static_cast<size_t>(c)] = std::string(rest.substr(0, next));
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
  }
  if (rest.size() > 1)
    texts.Warnings.push_back("Datoteka ima več kot " + std::to_string(MaxColumns) +
                             " naslovov stolpcev; upoštevanih je prvih " +
                             std::to_string(MaxColumns) + ".");

  const PlainLine first = SplitPlainLine(lines[5], sep);
  bool cut = false;
  const PlainLine second = SplitPlainLine(lines[6], sep, &cut);
  data.ColumnCount = static_cast<int>(second.Values.size());
  if (data.ColumnCount == 0)
    throw FileError("Datoteka " + Quoted(path) + " nima stolpcev s podatki (7. vrstica).");
  if (cut)
    texts.Warnings.push_back("Datoteka ima več kot " + std::to_string(MaxValuesPerLine) +
                             " stolpcev s podatki; naloženih je prvih " +
                             std::to_string(MaxValuesPerLine) + ".");
  texts.Time = first.Stamp;

  const ClockTime t1 = TObdelava::ParseClockTime(first.Stamp);
  const ClockTime t2 = TObdelava::ParseClockTime(second.Stamp);
  double ts = (t2.Hours - t1.Hours) * 3600.0 + (t2.Minutes - t1.Minutes) * 60.0 +
              (t2.Seconds - t1.Seconds);
  if (ts <= 0) ts += 86400;  // the two stamps straddle midnight
  data.SampleTime = ts;

  // A value missing from a line keeps the column's previous sample.
  auto put = [&](const std::vector<double>& values, int k) {
    for (int c = 1; c <= MaxValuesPerLine; ++c) {
      auto& column = data.Columns[static_cast<size_t>(c)];
      column[static_cast<size_t>(k)] =
          c <= static_cast<int>(values.size()) ? values[static_cast<size_t>(c - 1)]
          : k > 1                              ? column[static_cast<size_t>(k - 1)]
                                               : 0.0;
    }
  };
  put(first.Values, 1);
  data.Time[1] = 0;
  put(second.Values, 2);
  data.Time[2] = ts;

  // Further lines, each only when another line follows it: the last line of a logger
  // file is never read as data.
  int n = 3;
  for (size_t index = 7; index + 1 < lines.size() && n < MaxSamples; ++index, ++n) {
    put(SplitPlainLine(lines[index], sep).Values, n);
    data.Time[static_cast<size_t>(n)] = data.Time[static_cast<size_t>(n - 1)] + ts;
  }
  data.SampleCount = n - 1;

  texts.WindowStart = "1";
  texts.WindowEnd = std::to_string(data.SampleCount);
  texts.FilterTime = "0";
  texts.ActuatorMaximum = "100";
  texts.ActuatorMinimum = "0";
  texts.FullStrokeTime = "100";
  return texts;
}

// The integer of a text's leading digits (0 when it has none).
int LeadingInteger(std::string_view text) {
  int value = 0;
  for (char ch : text) {
    if (!std::isdigit(static_cast<unsigned char>(ch))) break;
    if (value > 100000000) break;  // far beyond any clock; never overflows
    value = value * 10 + (ch - '0');
  }
  return value;
}

// A description on one line of the file.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

ClockTime TObdelava::ParseClockTime(std::string_view text) {
  ClockTime t;
  const size_t first = text.find(':');
  t.Hours = LeadingInteger(text.substr(0, first));
  if (first == std::string_view::npos) return t;
  const std::string_view rest = text.substr(first + 1);
  const size_t second = rest.find(':');
  if (second == std::string_view::npos) return t;
  t.Minutes = LeadingInteger(rest.substr(0, second));
  t.Seconds = LeadingInteger(rest.substr(second + 1));
  return t;
}

std::vector<double> TObdelava::SplitNumbers(std::string_view line, char separator) {
  return SplitValues(line, separator, nullptr);
}

DataFileTexts TObdelava::ReadDataFile(const std::string& path, MeasurementStore& store,
                                      char separator) {
  const std::vector<std::string> lines = ReadTextLines(path);
  auto data = std::make_unique<StagedData>();
  DataFileTexts texts = !lines.empty() && lines[0] == DataFileBanner
                            ? ReadBannerFile(path, lines, *data, separator)
                            : ReadPlainFile(path, lines, *data);
  Commit(*data, store);
  return texts;
}

void TObdelava::WriteDataFile(const std::string& path, const MeasurementStore& store,
                              const DataFileHeader& h, char separator) {
  if (h.SampleCount < 1 || h.SampleCount > MaxSamples)
    throw std::runtime_error("Ni podatkov za shranjevanje.");
  for (int column : h.Columns)
    if (column < 1 || column > MaxColumns)
      throw ListIndexError(column);

  std::vector<std::string> lines;
  lines.reserve(BannerHeaderLines + static_cast<size_t>(h.SampleCount));
  lines.emplace_back(DataFileBanner);
  lines.emplace_back("V1.0");
  lines.push_back(OneLine(h.Date));
  lines.push_back(OneLine(h.Time));
  lines.push_back(FormatGeneral(h.SampleTime, 10, separator));
  lines.push_back(std::to_string(h.SampleCount));
  lines.push_back(std::to_string(h.WindowStart));
  lines.push_back(std::to_string(h.WindowEnd));
  lines.push_back(FormatGeneral(h.Parameters.FilterTime, 10, separator));
  lines.push_back(FormatGeneral(h.Parameters.ActuatorMaximum, 10, separator));
  lines.push_back(FormatGeneral(h.Parameters.ActuatorMinimum, 10, separator));
  lines.push_back(FormatGeneral(h.Parameters.FullStrokeTime, 10, separator));
  for (const std::string& d : h.Descriptions) lines.push_back(OneLine(d));

  for (int k = 1; k <= h.SampleCount; ++k) {
    const auto sample = static_cast<size_t>(k);
    std::string line = FormatGeneral(store.TimeColumn[sample], 12, separator);
    for (int column : h.Columns) {
      line += '\t';
      line += FormatGeneral(store.DataColumns[static_cast<size_t>(column)][sample], 12, separator);
    }
    lines.push_back(std::move(line));
  }
  WriteTextLines(path, lines);
}

DataFileHeader TObdelava::SaveHeader(const MeasurementStore& store, const SignalColumns& c,
                                     int windowStart, int windowEnd, const Conditioning& parameters,
                                     std::string date, std::string time) {
  DataFileHeader h;
  h.Date = std::move(date);
  h.Time = std::move(time);
  h.SampleTime = store.SampleTime;
  h.SampleCount = store.SampleCount;
  h.WindowStart = windowStart;
  h.WindowEnd = windowEnd;
  h.Parameters = parameters;
  const int columns[6] = {c.MV, c.MV, c.U, c.U, c.Y1, c.Y2};
  for (int i = 0; i < 6; ++i) {
    if (columns[i] < 1 || columns[i] > MaxColumns) throw ListIndexError(columns[i]);
    h.Columns[i] = columns[i];
    h.Descriptions[i] = store.ColumnNames[static_cast<size_t>(columns[i])];
  }
  return h;
}
