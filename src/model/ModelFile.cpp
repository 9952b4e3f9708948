// The model file ".vtm": banner, version, sixteen captioned values, the window length and
// the window's data lines.
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/NumberFormat.h"
#include "data/TextFile.h"
#include "model/IdentifyModel.h"
#include "model/TModel.h"

namespace {

constexpr const char* Banner = "VORTuner Model";
constexpr const char* Version = "V1.0";
constexpr int ValueCount = 16;
constexpr int DataStartLine = 38;  // 1-based line of the first data line

// The captions of lines 3, 5, ..., 33 and the store values of lines 4, 6, ..., 34.
struct ValueLine {
  const char* Caption;
  double MeasurementStore::*Field;
};
const std::array<ValueLine, ValueCount> ValueLines{{
    {"Ojacenje notranjega procesa:", &MeasurementStore::InnerGain},
    {"Casovna konstanta notranjega procesa:", &MeasurementStore::InnerTimeConstant},
    {"Zakasnitev notranjega procesa:", &MeasurementStore::InnerDeadTime},
    {"Vzorcenje notranjega procesa:", &MeasurementStore::SampleTime},
    {"Deviacija ojacenja notranjega procesa:", &MeasurementStore::InnerGainBound},
    {"Deviacija casovne konstante notranjega procesa:", &MeasurementStore::InnerTimeBound},
    {"Standardna deviacija notranjega procesa:", &MeasurementStore::InnerStdDev},
    {"Relativna standardna deviacija meritev-model notranjega procesa:",
     &MeasurementStore::InnerRelativeError},
    {"Ojacenje zunanjega procesa:", &MeasurementStore::OuterGain},
    {"Casovna konstanta zunanjega procesa:", &MeasurementStore::OuterTimeConstant},
    {"Zakasnitev zunanjega procesa:", &MeasurementStore::OuterDeadTime},
    {"Vzorcenje zunanjega procesa:", &MeasurementStore::SampleTime},
    {"Deviacija ojacenja zunanjega procesa:", &MeasurementStore::OuterGainBound},
    {"Deviacija casovne konstante zunanjega procesa:", &MeasurementStore::OuterTimeBound},
    {"Standardna deviacija zunanjega procesa:", &MeasurementStore::OuterStdDev},
    {"Relativna standardna deviacija meritev-model zunanjega procesa:",
     &MeasurementStore::OuterRelativeError},
}};

// The seven window arrays of a data line, in their order.
constexpr std::array<SampleArray MeasurementStore::*, 7> DataArrays{
    &MeasurementStore::WindowTime,    &MeasurementStore::UDeviation,
    &MeasurementStore::Y1Deviation,   &MeasurementStore::InnerMeasured,
    &MeasurementStore::OuterMeasured, &MeasurementStore::InnerModelResponse,
    &MeasurementStore::OuterModelResponse};

}  // namespace

void TModel::SaveModelFile(const std::string& fileName, const MeasurementStore& store,
                           char separator) {
  const int n = store.ModelWindowSamples;
  if (n < 0 || n > MaxSamples)
    throw std::invalid_argument("Neveljavno število vzorcev modela (" + std::to_string(n) + ")");
  // A value that is not a finite number would be written as a word the loader refuses.
  bool finite = true;
  for (const ValueLine& v : ValueLines) finite = finite && std::isfinite(store.*v.Field);
  for (int k = 1; k <= n && finite; ++k)
    for (const auto a : DataArrays) finite = finite && std::isfinite((store.*a)[k]);
  if (!finite)
    throw std::runtime_error(
        "Model procesa ni podan s končnimi števili; datoteka modela ni shranjena.");
  std::vector<std::string> lines{Banner, Version};
  lines.reserve(static_cast<size_t>(DataStartLine + n));
  for (const ValueLine& v : ValueLines) {
    lines.emplace_back(v.Caption);
    lines.push_back(FormatGeneral(store.*v.Field, 14, separator));
  }
  lines.emplace_back("Stevilo vzorcev:");
  lines.push_back(std::to_string(n));
  lines.emplace_back("Podatki:");
  for (int k = 1; k <= n; ++k) {
    std::string line;
    for (size_t a = 0; a < DataArrays.size(); ++a) {
      if (a > 0) line += '\t';
      line += FormatGeneral((store.*DataArrays[a])[k], 12, separator);
    }
    lines.push_back(std::move(line));
  }
  WriteTextLines(fileName, lines);
}

std::array<double, 7> TModel::ParseModelLine(std::string_view line) {
  std::array<double, 7> values{};
  for (size_t a = 0; a < values.size(); ++a) {
    std::string_view field = line;
    if (a + 1 < values.size()) {
      const size_t tab = line.find('\t');
      field = line.substr(0, tab);
      line = tab == std::string_view::npos ? std::string_view{} : line.substr(tab + 1);
    }
    values[a] = ParseNumber(field);
  }
  return values;
}

void TModel::LoadModelFile(const std::string& fileName, MeasurementStore& store, char) {
  ReadLimit limit;
  limit.MaxLines = DataStartLine + MaxSamples;  // the most a model file can hold
  const std::vector<std::string> lines = ReadTextLines(fileName, limit);
  // Each value read from its line; an error says which line it is on.
  auto onLine = [&](int number, auto read) {
    try {
      return read(FileLine(lines, number));
    } catch (const std::exception& e) {
      throw FileLineError(e.what(), fileName, number);
    }
  };
  // Either decimal separator, like the data lines: a file written under a decimal comma
  // loads under a decimal point and the reverse.
  std::array<double, ValueCount> values{};
  for (int i = 0; i < ValueCount; ++i)
    values[i] = onLine(4 + 2 * i, [](const std::string& l) { return ParseNumber(l); });
  const int n = onLine(36, [](const std::string& l) { return ParseInt(l); });
  if (n < 0 || n > MaxSamples)
    throw FileLineError("Datoteka modela napoveduje " + std::to_string(n) +
                            " vzorcev, največ jih je lahko " + std::to_string(MaxSamples),
                        fileName, 36);
  std::vector<std::array<double, 7>> data;
  data.reserve(static_cast<size_t>(n));
  for (int k = 1; k <= n; ++k)
    data.push_back(
        onLine(DataStartLine + k - 1, [](const std::string& l) { return ParseModelLine(l); }));

  // Everything read: now into the store. SampleTime is on two lines; the outer one wins.
  for (int i = 0; i < ValueCount; ++i) store.*ValueLines[i].Field = values[i];
  store.ModelWindowSamples = n;
  for (int k = 1; k <= n; ++k)
    for (size_t a = 0; a < DataArrays.size(); ++a)
      (store.*DataArrays[a])[k] = data[static_cast<size_t>(k - 1)][a];
  store.InnerDelaySamples = DelaySamples(store.InnerDeadTime, store.SampleTime);
  store.OuterDelaySamples = DelaySamples(store.OuterDeadTime, store.SampleTime);
  store.ModelSource = "datoteka modela \"" + fileName + "\"";
}
