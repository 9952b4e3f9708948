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
#include "model/IntegratingModel.h"
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

// After the data lines, only when a process is integrating: for the inner, then the
// outer process, its kind and its integrating model (a file of two first-order models
// stays as it always was).
constexpr int KindSectionLines = 2 * (2 + 2 * 7);
struct KindSection {
  const char* KindCaption;
  ProcessKind MeasurementStore::*Kind;
  IntegratingModel MeasurementStore::*Model;
  const char* Captions[7];
};
const std::array<KindSection, 2> KindSections{{
    {"Vrsta notranjega procesa:",
     &MeasurementStore::InnerKind,
     &MeasurementStore::InnerIntegrating,
     {"Naklon integrirnega notranjega procesa:",
      "Casovna konstanta integrirnega notranjega procesa:",
      "Zakasnitev integrirnega notranjega procesa:",
      "Standardna deviacija integrirnega notranjega procesa:",
      "Relativna standardna deviacija meritev-model integrirnega notranjega procesa:",
      "Deviacija naklona integrirnega notranjega procesa:",
      "Deviacija casovne konstante integrirnega notranjega procesa:"}},
    {"Vrsta zunanjega procesa:",
     &MeasurementStore::OuterKind,
     &MeasurementStore::OuterIntegrating,
     {"Naklon integrirnega zunanjega procesa:", "Casovna konstanta integrirnega zunanjega procesa:",
      "Zakasnitev integrirnega zunanjega procesa:",
      "Standardna deviacija integrirnega zunanjega procesa:",
      "Relativna standardna deviacija meritev-model integrirnega zunanjega procesa:",
      "Deviacija naklona integrirnega zunanjega procesa:",
      "Deviacija casovne konstante integrirnega zunanjega procesa:"}},
}};
constexpr std::array<double IntegratingModel::*, 7> KindValues{
    &IntegratingModel::Slope,   &IntegratingModel::Lag,           &IntegratingModel::DeadTime,
    &IntegratingModel::StdDev,  &IntegratingModel::RelativeError, &IntegratingModel::SlopeBound,
    &IntegratingModel::LagBound};

bool AnyIntegrating(const MeasurementStore& s) {
  return s.InnerKind == ProcessKind::Integrating || s.OuterKind == ProcessKind::Integrating;
}

}  // namespace

void TModel::SaveModelFile(const std::string& fileName, const MeasurementStore& store,
                           char separator) {
  const int n = store.ModelWindowSamples;
  if (n < 0 || n > MaxSamples)
    throw std::invalid_argument("Neveljavno število vzorcev modela (" + std::to_string(n) + ")");
  // A value that is not a finite number would be written as a word the loader refuses.
  bool finite = true;
  for (const ValueLine& v : ValueLines) finite = finite && std::isfinite(store.*v.Field);
  for (const KindSection& k : KindSections)
    for (const auto value : KindValues) finite = finite && std::isfinite((store.*k.Model).*value);
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
  if (AnyIntegrating(store)) {
    for (const KindSection& k : KindSections) {
      lines.emplace_back(k.KindCaption);
      lines.emplace_back(ProcessKindKey(store.*k.Kind));
      for (size_t i = 0; i < KindValues.size(); ++i) {
        lines.emplace_back(k.Captions[i]);
        lines.push_back(FormatGeneral((store.*k.Model).*KindValues[i], 14, separator));
      }
    }
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
  limit.MaxLines = DataStartLine + MaxSamples + KindSectionLines;  // the most a model file holds
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

  // The kinds and integrating models, when the lines after the data are theirs.
  std::array<ProcessKind, 2> kinds{ProcessKind::SelfRegulating, ProcessKind::SelfRegulating};
  std::array<IntegratingModel, 2> models{};
  const int kindStart = DataStartLine + n;
  if (lines.size() >= static_cast<size_t>(kindStart) &&
      lines[static_cast<size_t>(kindStart - 1)] == KindSections[0].KindCaption) {
    int at = kindStart + 1;
    for (size_t p = 0; p < KindSections.size(); ++p) {
      kinds[p] = onLine(at, [](const std::string& l) { return ParseProcessKind(l); });
      for (size_t i = 0; i < KindValues.size(); ++i)
        models[p].*KindValues[i] = onLine(at + 2 + 2 * static_cast<int>(i),
                                          [](const std::string& l) { return ParseNumber(l); });
      at += 2 + 2 * static_cast<int>(KindValues.size());
    }
  }

  // Everything read: now into the store. SampleTime is on two lines; the outer one wins.
  for (int i = 0; i < ValueCount; ++i) store.*ValueLines[i].Field = values[i];
  store.ModelWindowSamples = n;
  for (int k = 1; k <= n; ++k)
    for (size_t a = 0; a < DataArrays.size(); ++a)
      (store.*DataArrays[a])[k] = data[static_cast<size_t>(k - 1)][a];
  store.InnerDelaySamples = DelaySamples(store.InnerDeadTime, store.SampleTime);
  store.OuterDelaySamples = DelaySamples(store.OuterDeadTime, store.SampleTime);
  store.ModelSource = "datoteka modela \"" + fileName + "\"";
  for (size_t p = 0; p < KindSections.size(); ++p) {
    store.*KindSections[p].Kind = kinds[p];
    store.*KindSections[p].Model = models[p];
  }
  ComputeIntegratingResponses(store);
  store.InnerDelaySamples = DelaySamples(ShownDeadTime(store, false), store.SampleTime);
  store.OuterDelaySamples = DelaySamples(ShownDeadTime(store, true), store.SampleTime);
}
