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
#include "cli/DataWindow.h"
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

  constexpr char Point = '.';
  const ConditionedData data = ReadConditionedData(o.File, o.Start, o.End, "identify");
  MeasurementStore* store = data.Store.get();
  IdentifyModel(*store, data.Start, data.End);
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
