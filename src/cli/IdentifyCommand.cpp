// vortuner-cli identify: the model identification of "Izračun modela" over a data file,
// printed as one JSON object; optionally the model file.
#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/DataWindow.h"
#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "model/IdentifyModel.h"
#include "model/IntegratingModel.h"
#include "model/ModelWarnings.h"
#include "model/TModel.h"

namespace {

const char* const IdentifyUsage =
    "Usage: vortuner-cli identify FILE [--start S] [--end E] [--columns MV,U,Y1[,Y2]]\n"
    "                             [--actuator MAX,MIN,T] [--vtm OUT.vtm] [--decimal-comma]\n"
    "                             [--sample-time S] [--delimiter D] [--from S] [--to S]\n"
    "                             [--kind auto|self-regulating|integrating]\n"
    "  FILE         a measured data file (.vtd), a data logger's file (.txt, .dat) or a\n"
    "               delimited export of a historian (.csv, .txt; see below)\n"
    "  --start S    first sample of the window (default: the file's window start, 1 for a\n"
    "               logger file, kept within the samples read as the tab keeps it)\n"
    "  --end E      last sample of the window (default: the file's window end, the last\n"
    "               sample for a logger file, kept within the samples read)\n"
    "  --columns MV,U,Y1,Y2  the file's columns that play MV, U, Y1 and Y2, as the four\n"
    "               column selectors of the \"Obdelava\" tab choose them (default 1,3,5,6;\n"
    "               each kept within the file's columns; MV,U,Y1 or MV,Y1 for fewer\n"
    "               signals); names only for an export\n"
    "  --actuator MAX,MIN,T  the actuator's maximum, minimum and full-stroke time [s]\n"
    "               instead of the file's (T 0: no rate limit), as the tab's edits set them\n"
    "  --vtm OUT    also write the model file OUT (with a decimal point; the program\n"
    "               and this command read model files with either separator)\n"
    "  --decimal-comma  write the model file with a decimal comma instead; for an export\n"
    "               also: its numbers have a decimal comma (detected otherwise)\n"
    "  --kind K     the kind of both processes: auto (default) chooses as \"Izračun\n"
    "               modela\" does (integrating when the first-order time constant lies\n"
    "               beyond five windows or the integrating fit is as good); self-regulating\n"
    "               or integrating forces it\n"
    "The file is read as the \"Naloži iz datoteke\" button reads it (numbers with a decimal\n"
    "point or a decimal comma), the chosen columns are conditioned with the file's own\n"
    "filter time and actuator values, and both models are identified over the window.\n"
    "A data logger's file is text: line 1 the date before the first separator (\";\" when\n"
    "the line holds one, else \",\"), line 2 ignored, line 3 the column headings each\n"
    "followed by the separator, lines 4 and 5 ignored, from line 6 one sample a line:\n"
    "a time stamp hh:mm:ss, then the values of columns 1, 2, 3 ... each followed by the\n"
    "separator. The sample time is the difference of the first two time stamps; the last\n"
    "line of the file is not read. Such a file implies the window 1..N, filter time 0 and\n"
    "the actuator range 0..100 with a full-stroke time of 100 s, so U is limited to\n"
    "0..100 and to a rate of 1 per second unless --actuator says otherwise.\n"
    "%IMPORT%"
    "Printed is one JSON object: ModelWindowSamples, InnerGain, InnerTimeConstant,\n"
    "InnerDeadTime, InnerStdDev, InnerRelativeError, InnerGainBound, InnerTimeBound, the\n"
    "same seven for the outer model (Outer...), InnerDelaySamples, OuterDelaySamples,\n"
    "InnerQuality and OuterQuality (\"Zelo dobra\", \"Dobra\", \"Slabsa\", \"Slaba\"),\n"
    "InnerKind and OuterKind (\"self-regulating\" or \"integrating\") with InnerKindReason\n"
    "and OuterKindReason (the Outer values are null for an export read without Y2; a kind\n"
    "is null, and so are its seven values and its quality, when its measurement shows no\n"
    "response to the step). For an integrating process its model replaces the seven values:\n"
    "InnerSlope (k', output units per second per input unit), InnerLag [s],\n"
    "InnerDeadTime [s], InnerStdDev, InnerRelativeError, InnerSlopeBound, InnerLagBound\n"
    "(the delay samples and the quality follow it), and the first-order fit is printed\n"
    "as InnerSelfRegulating {Gain, TimeConstant, DeadTime, RelativeError}; likewise Outer.\n"
    "SamplingWarning (true when three sample times reach the time constant plus dead time\n"
    "of a model), Import (for an export: the detected format and the counts) and\n"
    "Warnings, a list of texts also written to standard error: what the reader cut or\n"
    "left out, a window that holds no step of MV, a time constant that came out 0, and\n"
    "(in Slovenian, as the window and the report say them) a simulated record, Y1 or Y2\n"
    "drifting before the step, a model of quality \"Slabsa\" or \"Slaba\", a sampling too\n"
    "slow for the model.\n"
    "Numbers have 17 significant digits and a decimal point.\n"
    "Errors go to standard error with exit code 1 (2 for a wrong command line).\n";

std::string Usage() {
  std::string text = IdentifyUsage;
  text.replace(text.find("%IMPORT%"), 8, ImportOptionsUsage);
  return text;
}

struct IdentifyOptions {
  std::string File;
  std::optional<int> Start, End;
  SignalColumns Columns;
  ImportRequest Import;
  std::vector<double> Actuator;  // maximum, minimum, full-stroke time; empty: the file's
  std::string ModelFile;
  char ModelSeparator = '.';
  std::optional<ProcessKind> Kind;  // empty: the automatic choice
  bool Help = false;
};

IdentifyOptions ParseOptions(const std::vector<std::string>& args) {
  IdentifyOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.Help = true;
    } else if (a == "--decimal-comma") {
      o.ModelSeparator = ',';
      o.Import.Format.DecimalMark = ',';
    } else if (a == "--actuator") {
      if (i + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
      o.Actuator = ParseActuator(args[++i]);
    } else if (ParseImportOption(args, i, o.Import)) {
    } else if (a == "--kind") {
      if (i + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
      const std::string& v = args[++i];
      if (v == "self-regulating" || v == "integrating")
        o.Kind = ParseProcessKind(v);
      else if (v != "auto")
        throw UsageError("--kind must be auto, self-regulating or integrating");
    } else if (a == "--start" || a == "--end" || a == "--vtm") {
      if (i + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
      const std::string& v = args[++i];
      if (a == "--vtm" && v.empty()) throw UsageError("option '--vtm' needs a file name");
      if (a == "--vtm")
        o.ModelFile = v;
      else
        (a == "--start" ? o.Start : o.End) = ParseInt(v);
    } else if (a.rfind("--", 0) == 0 || !o.File.empty()) {
      throw UsageError("unexpected argument '" + a + "'");
    } else {
      o.File = a;
    }
  }
  if (!o.Help && o.File.empty()) throw UsageError("the data file is missing");
  if (const auto numbered = NumberedColumns(o.Import)) o.Columns = *numbered;
  return o;
}

}  // namespace

int RunIdentify(const std::vector<std::string>& args) {
  IdentifyOptions o;
  try {
    o = ParseOptions(args);
  } catch (const std::exception& e) {
    std::cerr << "vortuner-cli identify: " << e.what() << "\n" << Usage();
    return 2;
  }
  if (o.Help) {
    std::cout << Usage();
    return 0;
  }

  constexpr char Point = '.';
  const ConditionedData data =
      ReadConditionedData(o.File, o.Start, o.End, "identify", o.Columns, o.Actuator, o.Import);
  MeasurementStore* store = data.Store.get();
  const SignalColumns& columns = data.Columns;
  const int start = data.Start, end = data.End;
  IdentifyModel(*store, start, end);
  if (o.Kind) {
    SetProcessKind(*store, false, *o.Kind);
    SetProcessKind(*store, true, *o.Kind);
    store->InnerDelaySamples = DelaySamples(ShownDeadTime(*store, false), store->SampleTime);
    store->OuterDelaySamples = DelaySamples(ShownDeadTime(*store, true), store->SampleTime);
  }
  if (!o.ModelFile.empty()) TModel::SaveModelFile(o.ModelFile, *store, o.ModelSeparator);

  const MeasurementStore& s = *store;
  std::vector<std::string> warnings = data.Texts.Warnings;
  // What makes the numbers below doubtful although they were computed: the warnings the
  // window and the report show, with this command's own English texts where it has them.
  const WarningScope scope = ModelWarningScope(s, start, end, s.ColumnCount >= 6, true, Point);
  const SampleArray& mv = s.DataColumns[static_cast<size_t>(columns.MV)];
  bool timeConstantsSaid = false;
  for (const Warning& w : CollectWarnings(s, scope)) {
    if (w.Kind == WarningKind::NoStep) {
      warnings.push_back("the window " + std::to_string(start) + ".." + std::to_string(end) +
                         " holds no step of MV (column " + std::to_string(columns.MV) +
                         " stays at " + FormatGeneral(mv[static_cast<size_t>(start)], 10, Point) +
                         "): the models describe no step response");
    } else if (w.Kind == WarningKind::ZeroTimeConstant) {
      if (timeConstantsSaid) continue;
      timeConstantsSaid = true;
      if (s.InnerTimeConstant == 0)
        warnings.push_back("the inner model's time constant came out 0");
      if (scope.Outer && s.OuterTimeConstant == 0)
        warnings.push_back("the outer model's time constant came out 0");
    } else {
      warnings.push_back(w.Text);
    }
  }
  // A measurement that shows no response: no kind follows from it (unless one was forced)
  // and its model describes nothing.
  const bool innerNone = !o.Kind && ChooseProcessKind(s, false, Point).NoResponse;
  const bool outerNone = !o.Kind && scope.Outer && ChooseProcessKind(s, true, Point).NoResponse;
  if (innerNone)
    warnings.push_back(
        "Y1 shows no response to the step: no kind of process, and the inner "
        "model describes none");
  if (outerNone)
    warnings.push_back(
        "Y2 shows no response to the step: no kind of process, and the outer "
        "model describes none");
  // The reader's warnings went to standard error already; these join them.
  for (size_t i = data.Texts.Warnings.size(); i < warnings.size(); ++i)
    std::cerr << "vortuner-cli identify: warning: " << warnings[i] << "\n";
  JsonObject json;
  json.Integer("ModelWindowSamples", s.ModelWindowSamples);
  // The seven values of each process, of the kind in use; an export read without Y2 has
  // no outer process, and a measurement without a response no model: their values are null.
  const bool noY2 = data.Import && data.Import->Record.Columns[3] == 0;
  for (const bool outer : {false, true}) {
    const std::string p = outer ? "Outer" : "Inner";
    if ((outer && noY2) || (outer ? outerNone : innerNone)) {
      for (const char* key : {"Gain", "TimeConstant", "DeadTime", "StdDev", "RelativeError",
                              "GainBound", "TimeBound"})
        json.Raw(p + key, "null");
      continue;
    }
    if (KindOf(s, outer) == ProcessKind::Integrating) {
      const IntegratingModel& m = outer ? s.OuterIntegrating : s.InnerIntegrating;
      for (const auto& [key, value] : {std::pair{"Slope", m.Slope},
                                       {"Lag", m.Lag},
                                       {"DeadTime", m.DeadTime},
                                       {"StdDev", m.StdDev},
                                       {"RelativeError", m.RelativeError},
                                       {"SlopeBound", m.SlopeBound},
                                       {"LagBound", m.LagBound}})
        json.Number(p + key, value);
      JsonObject fit;
      fit.SetIndent("  ");
      fit.Number("Gain", outer ? s.OuterGain : s.InnerGain);
      fit.Number("TimeConstant", outer ? s.OuterTimeConstant : s.InnerTimeConstant);
      fit.Number("DeadTime", outer ? s.OuterDeadTime : s.InnerDeadTime);
      fit.Number("RelativeError", outer ? s.OuterRelativeError : s.InnerRelativeError);
      json.Raw(p + "SelfRegulating", fit.Str("  "));
      continue;
    }
    const std::pair<const char*, double> model[] = {
        {"Gain", outer ? s.OuterGain : s.InnerGain},
        {"TimeConstant", outer ? s.OuterTimeConstant : s.InnerTimeConstant},
        {"DeadTime", outer ? s.OuterDeadTime : s.InnerDeadTime},
        {"StdDev", outer ? s.OuterStdDev : s.InnerStdDev},
        {"RelativeError", outer ? s.OuterRelativeError : s.InnerRelativeError},
        {"GainBound", outer ? s.OuterGainBound : s.InnerGainBound},
        {"TimeBound", outer ? s.OuterTimeBound : s.InnerTimeBound}};
    for (const auto& [key, value] : model) json.Number(p + key, value);
  }
  json.Integer("InnerDelaySamples", s.InnerDelaySamples);
  if (!noY2)
    json.Integer("OuterDelaySamples", s.OuterDelaySamples);
  else
    json.Raw("OuterDelaySamples", "null");
  const std::string none = "null";
  if (!innerNone)
    json.Text("InnerQuality", QualityText(QualityOf(ShownRelativeError(s, false))));
  else
    json.Raw("InnerQuality", none);
  if (!noY2 && !outerNone)
    json.Text("OuterQuality", QualityText(QualityOf(ShownRelativeError(s, true))));
  else
    json.Raw("OuterQuality", none);
  if (!innerNone)
    json.Text("InnerKind", ProcessKindKey(s.InnerKind));
  else
    json.Raw("InnerKind", none);
  if (!noY2 && !outerNone)
    json.Text("OuterKind", ProcessKindKey(s.OuterKind));
  else
    json.Raw("OuterKind", none);
  json.Text("InnerKindReason", ChooseProcessKind(s, false, Point).Reason);
  if (!noY2)
    json.Text("OuterKindReason", ChooseProcessKind(s, true, Point).Reason);
  else
    json.Raw("OuterKindReason", none);
  json.Boolean("SamplingWarning", SamplingTooSparse(s));
  if (data.Import) json.Raw("Import", ImportJson(*data.Import, "  "));
  std::string list;
  for (const std::string& warning : warnings)
    list += (list.empty() ? "" : ", ") + JsonString(warning);
  json.Raw("Warnings", "[" + list + "]");
  std::cout << json.Str() << "\n";
  return 0;
}
