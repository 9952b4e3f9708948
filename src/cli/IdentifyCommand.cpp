// vortuner-cli identify: the model identification of "Izračun modela" over a data file,
// printed as one JSON object; optionally the model file.
#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "model/IdentifyModel.h"
#include "model/TModel.h"

namespace {

const char* const IdentifyUsage =
    "Usage: vortuner-cli identify FILE [--start S] [--end E] [--vtm OUT.vtm]\n"
    "  FILE         a measured data file (.vtd) or a data logger's file (.txt, .dat)\n"
    "  --start S    first sample of the window (default: the file's window start, 1 for a\n"
    "               logger file, kept within the samples read as the tab keeps it)\n"
    "  --end E      last sample of the window (default: the file's window end, the last\n"
    "               sample for a logger file, kept within the samples read)\n"
    "  --vtm OUT    also write the model file OUT\n"
    "The file is read as the \"Naloži iz datoteke\" button reads it (header numbers with a\n"
    "decimal point or a decimal comma), conditioned with its own filter time\n"
    "and actuator values and columns MV 1, U 3, Y1 5, Y2 6, and both models are identified\n"
    "over the window. Printed is one JSON object: ModelWindowSamples, InnerGain,\n"
    "InnerTimeConstant, InnerDeadTime, InnerStdDev, InnerRelativeError, InnerGainBound,\n"
    "InnerTimeBound, the same seven for the outer model (Outer...), InnerDelaySamples,\n"
    "OuterDelaySamples, InnerQuality and OuterQuality (\"Zelo dobra\", \"Dobra\", \"Slabsa\",\n"
    "\"Slaba\") and SamplingWarning (true when three sample times reach the time constant plus\n"
    "dead time of a model). Numbers have 17 significant digits and a decimal point.\n"
    "Errors go to standard error with exit code 1 (2 for a wrong command line).\n";

struct IdentifyOptions {
  std::string File;
  std::optional<int> Start, End;
  std::string ModelFile;
  bool Help = false;
};

IdentifyOptions ParseOptions(const std::vector<std::string>& args) {
  IdentifyOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.Help = true;
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
  return o;
}

}  // namespace

int RunIdentify(const std::vector<std::string>& args) {
  IdentifyOptions o;
  try {
    o = ParseOptions(args);
  } catch (const std::exception& e) {
    std::cerr << "vortuner-cli identify: " << e.what() << "\n" << IdentifyUsage;
    return 2;
  }
  if (o.Help) {
    std::cout << IdentifyUsage;
    return 0;
  }

  // The header numbers are read with either decimal separator, as the load handler reads
  // them, and come back as texts with a decimal point.
  constexpr char Point = '.';
  auto store = std::make_unique<MeasurementStore>();
  const DataFileTexts texts = TObdelava::ReadDataFile(o.File, *store, Point);
  for (const std::string& warning : texts.Warnings)
    std::cerr << "vortuner-cli identify: warning: " << warning << "\n";
  const Conditioning parameters =
      TObdelava::ParseConditioning(texts.FilterTime, texts.ActuatorMaximum, texts.ActuatorMinimum,
                                   texts.FullStrokeTime, Point);
  // The default columns, each kept within the file's columns as the selectors keep them.
  const int last = std::max(store->ColumnCount, 1);
  SignalColumns columns;
  columns.MV = std::min(columns.MV, last);
  columns.U = std::min(columns.U, last);
  columns.Y1 = std::min(columns.Y1, last);
  columns.Y2 = std::min(columns.Y2, last);
  TObdelava::ConditionSignals(*store, columns, parameters);

  const int n = store->SampleCount;
  // The file's window as the page takes it: kept within the samples actually read.
  const AnalysisWindow fileWindow = TObdelava::FitAnalysisWindow(
      n, store->MinWindowSamples, ParseInt(texts.WindowStart), ParseInt(texts.WindowEnd));
  const int start = o.Start.value_or(fileWindow.Start);
  const int end = o.End.value_or(fileWindow.End);
  if (start < 1 || end > n || end <= start)
    throw std::runtime_error("the window " + std::to_string(start) + ".." + std::to_string(end) +
                             " does not lie within the file's samples 1.." + std::to_string(n) +
                             " with start < end");
  IdentifyModel(*store, start, end);
  if (!o.ModelFile.empty()) TModel::SaveModelFile(o.ModelFile, *store, Point);

  const MeasurementStore& s = *store;
  JsonObject json;
  json.Integer("ModelWindowSamples", s.ModelWindowSamples);
  const std::pair<const char*, double> model[] = {
      {"InnerGain", s.InnerGain},
      {"InnerTimeConstant", s.InnerTimeConstant},
      {"InnerDeadTime", s.InnerDeadTime},
      {"InnerStdDev", s.InnerStdDev},
      {"InnerRelativeError", s.InnerRelativeError},
      {"InnerGainBound", s.InnerGainBound},
      {"InnerTimeBound", s.InnerTimeBound},
      {"OuterGain", s.OuterGain},
      {"OuterTimeConstant", s.OuterTimeConstant},
      {"OuterDeadTime", s.OuterDeadTime},
      {"OuterStdDev", s.OuterStdDev},
      {"OuterRelativeError", s.OuterRelativeError},
      {"OuterGainBound", s.OuterGainBound},
      {"OuterTimeBound", s.OuterTimeBound}};
  for (const auto& [key, value] : model) json.Number(key, value);
  json.Integer("InnerDelaySamples", s.InnerDelaySamples);
  json.Integer("OuterDelaySamples", s.OuterDelaySamples);
  json.Text("InnerQuality", QualityText(QualityOf(s.InnerRelativeError)));
  json.Text("OuterQuality", QualityText(QualityOf(s.OuterRelativeError)));
  json.Boolean("SamplingWarning", SamplingTooSparse(s));
  std::cout << json.Str() << "\n";
  return 0;
}
