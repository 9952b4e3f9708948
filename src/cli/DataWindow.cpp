#include "cli/DataWindow.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "cli/CliSupport.h"
#include "data/NumberFormat.h"
#include "data/TextFile.h"

const char* const ImportOptionsUsage =
    "A file that is neither a .vtd file nor in a logger's layout is read as a delimited\n"
    "export of a historian or logger (a header row or none; delimiter and decimal mark\n"
    "detected). The time column is the one headed Time, Čas, Timestamp, Datum … or else\n"
    "the first holding ISO dates and times or times of day, or else rising seconds,\n"
    "wherever it stands. A long export (headings Tag, Timestamp, Value[, Quality]) is\n"
    "turned into one row per time with a column per tag. A Quality or Status column\n"
    "(also \"<tag> Quality\") is honoured: a value not Good is held like a gap. An export\n"
    "has no actuator model (no rate limit) unless --actuator gives one. Local times that\n"
    "repeat or skip an hour at night are a daylight-saving change: kept in file order.\n"
    "  --columns MV,U,Y1,Y2  names from the header or numbers of the value columns (1 is\n"
    "               the first after the time; MV may equal U); MV,U,Y1 without Y2 (no\n"
    "               outer model), MV,Y1 with U = MV. Default: the first four columns\n"
    "               holding numbers, no Y2 with three, MV = U with two\n"
    "  --sample-time S  the record's sample time [s] (default: the median interval)\n"
    "  --delimiter D    ';', ',' or 'tab' instead of the detected one\n"
    "  --decimal-comma  the export's numbers have a decimal comma\n"
    "  --from S --to S  the range to take, seconds from the first row (default: around the\n"
    "               largest step of MV; at most 5000 samples)\n"
    "Rows are resampled by holding the last value; rows going back in time are dropped,\n"
    "repeated times take the later row, empty and non-numeric cells (\"Bad\") hold the\n"
    "previous value; at most 5000 samples are taken, around the largest step of MV. The counts\n"
    "are printed under \"Import\" and what was left out under \"Warnings\".\n";

std::vector<double> ParseActuator(const std::string& value) {
  std::vector<double> actuator;
  std::stringstream in(value);
  for (std::string part; std::getline(in, part, ',');) actuator.push_back(ParseFloat(part, '.'));
  if (actuator.size() != 3 || value.back() == ',' || actuator[2] < 0)
    throw UsageError("--actuator needs the maximum, the minimum and a full-stroke time >= 0");
  return actuator;
}

bool ParseImportOption(const std::vector<std::string>& args, size_t& i, ImportRequest& r) {
  const std::string& a = args[i];
  if (a != "--columns" && a != "--sample-time" && a != "--delimiter" && a != "--from" &&
      a != "--to")
    return false;
  if (i + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
  const std::string& v = args[++i];
  if (a == "--columns") {
    r.Columns.clear();
    std::stringstream in(v);
    for (std::string part; std::getline(in, part, ',');) r.Columns.push_back(part);
    if (r.Columns.size() < 2 || r.Columns.size() > 4 || v.back() == ',' ||
        std::any_of(r.Columns.begin(), r.Columns.end(), [](auto& c) { return c.empty(); }))
      throw UsageError(
          "--columns needs MV,U,Y1,Y2, MV,U,Y1 or MV,Y1: column numbers or names separated by "
          "commas");
    for (const std::string& c : r.Columns) {
      const auto number = TryParseInt(c);
      if (number && (*number < 1 || *number > MaxColumns))
        throw UsageError("--columns needs column numbers 1.." + std::to_string(MaxColumns) +
                         " or names separated by commas");
      if (!number && r.Given.empty()) r.Given = "--columns with names";
    }
    // MV,Y1: U is MV.
    if (r.Columns.size() == 2) r.Columns.insert(r.Columns.begin() + 1, r.Columns[0]);
  } else if (a == "--from" || a == "--to") {
    (a == "--from" ? r.From : r.To) = ParseFloat(v, '.');
    if (r.Given.empty()) r.Given = a;
  } else if (a == "--sample-time") {
    r.SampleTime = ParseFloat(v, '.');
    if (!(r.SampleTime > 0)) throw UsageError("--sample-time needs a time above 0");
    if (r.Given.empty()) r.Given = a;
  } else {
    if (v == ";" || v == ",")
      r.Format.Delimiter = v[0];
    else if (v == "tab" || v == "\t")
      r.Format.Delimiter = '\t';
    else
      throw UsageError("--delimiter needs ';', ',' or 'tab'");
    if (r.Given.empty()) r.Given = a;
  }
  return true;
}

std::optional<SignalColumns> NumberedColumns(const ImportRequest& r) {
  if (r.Columns.empty()) return SignalColumns{};
  int c[4] = {1, 3, 5, 6};  // a ".vtd" file always has its Y2 column
  for (size_t k = 0; k < r.Columns.size() && k < 4; ++k) {
    const auto number = TryParseInt(r.Columns[k]);
    if (!number) return std::nullopt;
    c[k] = *number;
  }
  return SignalColumns{c[0], c[1], c[2], c[3]};
}

std::string ImportJson(const DelimitedImport& import, const std::string& indent) {
  const DelimitedTable& t = import.Table;
  const ImportedRecord& r = import.Record;
  const ImportCounts& c = t.Counts;
  JsonObject json;
  json.SetIndent(indent);
  json.Text("Delimiter", t.Format.Delimiter == '\t' ? "tab" : std::string(1, t.Format.Delimiter));
  json.Text("DecimalMark", std::string(1, t.Format.DecimalMark));
  const char* formats[] = {"", "DateTime", "TimeOfDay", "Seconds"};
  json.Text("TimeFormat", formats[static_cast<int>(t.Format.TimeFormat)]);
  json.Integer("TimeColumn", t.Format.TimeColumn);
  json.Text("TimeColumnName", t.TimeName);
  json.Integer("HeaderLine", t.HeaderLine);
  json.Integer("Lines", c.Lines);
  json.Integer("LinesBeforeData", c.LinesBeforeData);
  json.Integer("EmptyLines", c.EmptyLines);
  json.Integer("DataRows", c.DataRows);
  json.Integer("RowsBackwardsDropped", c.RowsBackwards);
  json.Integer("RowsRepeatedReplaced", c.RowsRepeated);
  json.Integer("RowsBadTimeDropped", c.RowsBadTime);
  json.Integer("MissingValuesHeld", c.MissingValues);
  json.Integer("NonNumericValuesHeld", c.NonNumericValues);
  json.Integer("BadQualityValuesHeld", c.BadQualityValues);
  json.Integer("QualityColumns", c.QualityColumns);
  json.Text("Layout", t.Long ? "long" : "wide");
  json.Integer("ColumnsIgnored", c.ColumnsIgnored);
  json.Integer("ClockChanges", static_cast<int>(t.ClockChanges.size()));
  const char* roles[] = {"MV", "U", "Y1", "Y2"};
  JsonObject columns;
  columns.SetIndent(indent + "  ");
  for (int k = 0; k < 4; ++k)
    if (r.Columns[k]) columns.Text(roles[k], r.Names[k]);
  json.Raw("Columns", columns.Str(indent + "  "));
  json.Number("SampleTime", r.SampleTime);
  json.Integer("TotalSamples", r.TotalSamples);
  json.Integer("FirstSample", r.FirstSample);
  json.Integer("Samples", static_cast<int>(r.MV.size()));
  json.Number("From", r.From);
  json.Raw("StepTime", r.StepFound ? JsonNumber(r.StepTime) : "null");
  json.Number("GapLimit", r.GapLimit);
  json.Integer("Gaps", static_cast<int>(r.Gaps.size()));
  json.Integer("GapsOutside", r.GapsOutside);
  return json.Str(indent);
}

ConditionedData ReadConditionedData(const std::string& file, std::optional<int> start,
                                    std::optional<int> end, const std::string& command,
                                    const SignalColumns& columns,
                                    const std::vector<double>& actuator,
                                    const ImportRequest& import) {
  // The header numbers are read with either decimal separator, as the load handler reads
  // them, and come back as texts with a decimal point.
  constexpr char Point = '.';
  ConditionedData d;
  d.Store = std::make_unique<MeasurementStore>();
  MeasurementStore& store = *d.Store;
  const DataFileKind kind =
      ClassifyDataFile(ReadTextLines(file, ReadLimit{7, ReadLimit{}.MaxBytes}));
  d.Columns = columns;
  if (kind == DataFileKind::Delimited) {
    ResampleOptions options;
    if (import.Columns.size() >= 3)
      options.Columns = {import.Columns[0], import.Columns[1], import.Columns[2],
                         import.Columns.size() == 4 ? import.Columns[3] : std::string()};
    options.SampleTime = import.SampleTime;
    options.From = import.From;
    options.To = import.To;
    if (actuator.size() == 3) {
      options.ActuatorMaximum = actuator[0];
      options.ActuatorMinimum = actuator[1];
      options.FullStrokeTime = actuator[2];
    }
    d.Import = ImportDelimitedFile(file, import.Format, options, store, Point);
    d.Texts = d.Import->Record.Texts;
    d.Columns = SignalColumns{};  // the record has the experiment's layout
  } else {
    if (!import.Given.empty())
      throw std::runtime_error(import.Given + " applies to a delimited export; '" + file + "' is " +
                               (kind == DataFileKind::Banner ? "a .vtd file" : "a logger's file"));
    d.Texts = TObdelava::ReadDataFile(file, store, Point);
  }
  for (const std::string& warning : d.Texts.Warnings)
    std::cerr << "vortuner-cli " << command << ": warning: " << warning << "\n";
  Conditioning parameters =
      TObdelava::ParseConditioning(d.Texts.FilterTime, d.Texts.ActuatorMaximum,
                                   d.Texts.ActuatorMinimum, d.Texts.FullStrokeTime, Point);
  if (actuator.size() == 3) {
    parameters.ActuatorMaximum = actuator[0];
    parameters.ActuatorMinimum = actuator[1];
    parameters.FullStrokeTime = actuator[2];
  }
  // The columns, each kept within the file's columns as the selectors keep them.
  const int last = std::max(store.ColumnCount, 1);
  d.Columns.MV = std::min(d.Columns.MV, last);
  d.Columns.U = std::min(d.Columns.U, last);
  d.Columns.Y1 = std::min(d.Columns.Y1, last);
  d.Columns.Y2 = std::min(d.Columns.Y2, last);
  TObdelava::ConditionSignals(store, d.Columns, parameters);

  const int n = store.SampleCount;
  // The file's window as the page takes it: kept within the samples actually read.
  const AnalysisWindow fileWindow = TObdelava::FitAnalysisWindow(
      n, store.MinWindowSamples, ParseInt(d.Texts.WindowStart), ParseInt(d.Texts.WindowEnd));
  d.Start = start.value_or(fileWindow.Start);
  d.End = end.value_or(fileWindow.End);
  if (d.Start < 1 || d.End > n || d.End <= d.Start)
    throw std::runtime_error("the window " + std::to_string(d.Start) + ".." +
                             std::to_string(d.End) + " does not lie within the file's samples 1.." +
                             std::to_string(n) + " with start < end");
  return d;
}
