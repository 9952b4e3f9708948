// Delimited exports: any bytes, with the format detected or given (delimiter, decimal
// mark, time format picked by the input's size). A refused file leaves the store as it
// was; an accepted one is a record the rest of the program can take: 2..MaxSamples
// samples on a uniform grid at a positive sample time, finite values, the experiment's
// layout; saved as ".vtd" it reads back.
#include <cmath>
#include <cstring>
#include <memory>

#include "FuzzSupport.h"
#include "data/DelimitedImport.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto store = std::make_unique<MeasurementStore>();
  static auto again = std::make_unique<MeasurementStore>();
  ImportFormat format;
  if (fuzz::Option(size, 1)) format.Delimiter = fuzz::Option(size, 2) ? ';' : '\t';
  if (fuzz::Option(size, 3)) format.DecimalMark = fuzz::Option(size, 4) ? ',' : '.';
  if (fuzz::Option(size, 5)) format.TimeFormat = ImportTimeFormat::Seconds;
  ResampleOptions options;
  if (fuzz::Option(size, 6)) options.SampleTime = 0.5;
  const std::string path = fuzz::WriteInput(data, size, ".csv");

  const int countBefore = store->SampleCount;
  const double timeBefore = store->SampleTime;
  const SampleArray columnBefore = store->DataColumns[1];
  DelimitedImport result;
  try {
    result = ImportDelimitedFile(path, format, options, *store, fuzz::Separator(size));
  } catch (const std::exception&) {
    FUZZ_CHECK(store->SampleCount == countBefore && store->SampleTime == timeBefore &&
                   std::memcmp(&columnBefore, &store->DataColumns[1], sizeof columnBefore) == 0,
               "a refused file changed the store");
    return 0;
  }
  const MeasurementStore& s = *store;
  FUZZ_CHECK(s.SampleCount >= 2 && s.SampleCount <= MaxSamples, "sample count");
  FUZZ_CHECK(s.ColumnCount == 5 || s.ColumnCount == 6, "column count");
  FUZZ_CHECK(s.SampleTime > 0 && std::isfinite(s.SampleTime), "sample time");
  const DelimitedTable& t = result.Table;
  FUZZ_CHECK(t.Counts.DataRows >= MinImportRows, "too few rows accepted");
  for (size_t i = 1; i < t.Time.size(); ++i)
    FUZZ_CHECK(t.Time[i] > t.Time[i - 1], "the kept rows' times do not rise");
  for (int k = 1; k <= s.SampleCount; ++k) {
    FUZZ_CHECK(s.TimeColumn[static_cast<size_t>(k)] == (k - 1) * s.SampleTime, "grid");
    for (int c = 1; c <= s.ColumnCount; ++c)
      FUZZ_CHECK(std::isfinite(s.DataColumns[static_cast<size_t>(c)][static_cast<size_t>(k)]),
                 "a value that is not finite");
  }

  // Saved as ".vtd" and read back, the record is the same (to the file's 12 digits).
  DataFileHeader h;
  h.SampleTime = s.SampleTime;
  h.SampleCount = s.SampleCount;
  h.WindowEnd = s.SampleCount;
  for (int i = 0; i < 6; ++i) h.Descriptions[i] = s.ColumnNames[static_cast<size_t>(h.Columns[i])];
  const std::string saved = fuzz::ScratchPath("-import.vtd");
  TObdelava::WriteDataFile(saved, s, h, '.');
  TObdelava::ReadDataFile(saved, *again, '.');
  FUZZ_CHECK(again->SampleCount == s.SampleCount, "the saved record reads back shorter");
  return 0;
}
