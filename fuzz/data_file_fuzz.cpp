// Data files, banner and logger, under both decimal separators: a file that fails leaves
// the store as it was; a file that loads, saved and loaded again, saves the same bytes.
#include <array>
#include <cstring>
#include <memory>

#include "FuzzSupport.h"
#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"

namespace {

// What the reader may change, kept to compare after a failed read (compared bit for bit).
struct Snapshot {
  double SampleTime = 0;
  int SampleCount = 0, ColumnCount = 0, MinWindowSamples = 0;
  std::array<SampleArray, MaxColumns + 1> DataColumns{};
  SampleArray TimeColumn{};
  std::array<std::string, MaxColumns + 1> ColumnNames{};

  void Take(const MeasurementStore& s) {
    SampleTime = s.SampleTime, SampleCount = s.SampleCount, ColumnCount = s.ColumnCount;
    MinWindowSamples = s.MinWindowSamples;
    DataColumns = s.DataColumns, TimeColumn = s.TimeColumn, ColumnNames = s.ColumnNames;
  }
  bool Same(const MeasurementStore& s) const {
    return SampleTime == s.SampleTime && SampleCount == s.SampleCount &&
           ColumnCount == s.ColumnCount && MinWindowSamples == s.MinWindowSamples &&
           std::memcmp(&DataColumns, &s.DataColumns, sizeof DataColumns) == 0 &&
           std::memcmp(&TimeColumn, &s.TimeColumn, sizeof TimeColumn) == 0 &&
           ColumnNames == s.ColumnNames;
  }
};

// Saves the store as the processing page does after loading: the texts the page shows.
void Save(const std::string& path, const MeasurementStore& store, const DataFileTexts& texts,
          char separator) {
  DataFileHeader h;
  h.Date = texts.Date;
  h.Time = texts.Time;
  h.SampleTime = store.SampleTime;
  h.SampleCount = store.SampleCount;
  h.WindowStart = ParseInt(texts.WindowStart);
  h.WindowEnd = ParseInt(texts.WindowEnd);
  h.Parameters =
      TObdelava::ParseConditioning(texts.FilterTime, texts.ActuatorMaximum, texts.ActuatorMinimum,
                                   texts.FullStrokeTime, separator);
  for (int i = 0; i < 6; ++i) h.Descriptions[i] = store.ColumnNames[h.Columns[i]];
  TObdelava::WriteDataFile(path, store, h, separator);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto store = std::make_unique<MeasurementStore>();
  static auto again = std::make_unique<MeasurementStore>();
  static auto before = std::make_unique<Snapshot>();
  const char separator = fuzz::Separator(size);
  const std::string path = fuzz::WriteInput(data, size, fuzz::Option(size, 1) ? ".txt" : ".vtd");
  DataFileTexts texts;
  try {
    texts = TObdelava::ReadDataFile(path, *store, separator);
  } catch (const std::exception&) {
    FUZZ_CHECK(before->Same(*store), "a failed read changed the store");
    return 0;
  }
  FUZZ_CHECK(store->SampleCount >= 1 && store->SampleCount <= MaxSamples, "sample count");
  FUZZ_CHECK(store->ColumnCount >= 1 && store->ColumnCount < MaxColumns, "column count");
  FUZZ_CHECK(store->SampleTime > 0, "a sample time of 0 or below was accepted");

  const std::string saved = fuzz::ScratchPath("-saved.vtd");
  Save(saved, *store, texts, separator);
  const std::string first = fuzz::ReadBytes(saved);
  const DataFileTexts textsAgain = TObdelava::ReadDataFile(saved, *again, separator);
  Save(saved, *again, textsAgain, separator);
  FUZZ_CHECK(fuzz::ReadBytes(saved) == first, "a saved data file does not read back equal");
  before->Take(*store);
  return 0;
}
