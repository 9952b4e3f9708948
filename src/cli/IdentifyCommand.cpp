// vortuner-cli identify: the model identification of "Izračun modela" over a data file,
// printed as one JSON object; optionally the model file.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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
    "               logger file)\n"
    "  --end E      last sample of the window (default: the file's window end, the last\n"
    "               sample for a logger file)\n"
    "  --vtm OUT    also write the model file OUT\n"
    "The file is read as the \"Naloži iz datoteke\" button reads it (header numbers with a\n"
    "decimal point or, failing that, a decimal comma), conditioned with its own filter time\n"
    "and actuator values and columns MV 1, U 3, Y1 5, Y2 6, and both models are identified\n"
    "over the window. Printed is one JSON object: ModelWindowSamples, InnerGain,\n"
    "InnerTimeConstant, InnerDeadTime, InnerStdDev, InnerRelativeError, InnerGainBound,\n"
    "InnerTimeBound, the same seven for the outer model (Outer...), InnerDelaySamples,\n"
    "OuterDelaySamples, InnerQuality and OuterQuality (\"Zelo dobra\", \"Dobra\", \"Slabsa\",\n"
    "\"Slaba\") and SamplingWarning (true when three sample times reach the time constant plus\n"
    "dead time of a model). Numbers have 17 significant digits and a decimal point.\n"
    "Errors go to standard error with exit code 1 (2 for a wrong command line).\n";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

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

// The file as the load handler reads it. The header numbers are in the decimal separator
// of the system that wrote the file; a batch run may meet either.
std::pair<DataFileTexts, char> ReadData(const std::string& path, MeasurementStore& store) {
  try {
    return {TObdelava::ReadDataFile(path, store, '.'), '.'};
  } catch (const ConversionError&) {
    return {TObdelava::ReadDataFile(path, store, ','), ','};
  }
}

std::string JsonNumber(double v) { return std::isfinite(v) ? FormatGeneral(v, 17, '.') : "null"; }

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

  auto store = std::make_unique<MeasurementStore>();
  const auto [texts, separator] = ReadData(o.File, *store);
  for (const std::string& warning : texts.Warnings)
    std::cerr << "vortuner-cli identify: warning: " << warning << "\n";
  const Conditioning parameters =
      TObdelava::ParseConditioning(texts.FilterTime, texts.ActuatorMaximum, texts.ActuatorMinimum,
                                   texts.FullStrokeTime, separator);
  // The default columns, each kept within the file's columns as the selectors keep them.
  const int last = std::max(store->ColumnCount, 1);
  SignalColumns columns;
  columns.MV = std::min(columns.MV, last);
  columns.U = std::min(columns.U, last);
  columns.Y1 = std::min(columns.Y1, last);
  columns.Y2 = std::min(columns.Y2, last);
  TObdelava::ConditionSignals(*store, columns, parameters);

  const int n = store->SampleCount;
  const int start = o.Start ? *o.Start : ParseInt(texts.WindowStart);
  const int end = o.End ? *o.End : ParseInt(texts.WindowEnd);
  if (start < 1 || end > n || end <= start)
    throw std::runtime_error("the window " + std::to_string(start) + ".." + std::to_string(end) +
                             " does not lie within the file's samples 1.." + std::to_string(n) +
                             " with start < end");
  IdentifyModel(*store, start, end);
  if (!o.ModelFile.empty()) TModel::SaveModelFile(o.ModelFile, *store, '.');

  const MeasurementStore& s = *store;
  const std::pair<const char*, std::string> fields[] = {
      {"ModelWindowSamples", std::to_string(s.ModelWindowSamples)},
      {"InnerGain", JsonNumber(s.InnerGain)},
      {"InnerTimeConstant", JsonNumber(s.InnerTimeConstant)},
      {"InnerDeadTime", JsonNumber(s.InnerDeadTime)},
      {"InnerStdDev", JsonNumber(s.InnerStdDev)},
      {"InnerRelativeError", JsonNumber(s.InnerRelativeError)},
      {"InnerGainBound", JsonNumber(s.InnerGainBound)},
      {"InnerTimeBound", JsonNumber(s.InnerTimeBound)},
      {"OuterGain", JsonNumber(s.OuterGain)},
      {"OuterTimeConstant", JsonNumber(s.OuterTimeConstant)},
      {"OuterDeadTime", JsonNumber(s.OuterDeadTime)},
      {"OuterStdDev", JsonNumber(s.OuterStdDev)},
      {"OuterRelativeError", JsonNumber(s.OuterRelativeError)},
      {"OuterGainBound", JsonNumber(s.OuterGainBound)},
      {"OuterTimeBound", JsonNumber(s.OuterTimeBound)},
      {"InnerDelaySamples", std::to_string(s.InnerDelaySamples)},
      {"OuterDelaySamples", std::to_string(s.OuterDelaySamples)},
      {"InnerQuality", std::string("\"") + QualityText(QualityOf(s.InnerRelativeError)) + "\""},
      {"OuterQuality", std::string("\"") + QualityText(QualityOf(s.OuterRelativeError)) + "\""},
      {"SamplingWarning", SamplingTooSparse(s) ? "true" : "false"}};
  std::cout << "{";
  const char* comma = "\n";
  for (const auto& [key, value] : fields) {
    std::cout << comma << "  \"" << key << "\": " << value;
    comma = ",\n";
  }
  std::cout << "\n}\n";
  return 0;
}
