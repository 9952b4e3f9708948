// Experiment settings lines applied to the settings record: what applies, saved as a
// ".vtx" and applied again, gives the same record and the same lines.
#include "FuzzSupport.h"
#include "data/TextFile.h"
#include "experiment/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::WriteInput(data, size, ".vtx");
  ExperimentSettings settings;
  try {
    ApplySettingsLines(ReadTextLines(path), settings);
  } catch (const std::exception&) {
    return 0;
  }
  const std::vector<std::string> lines = SettingsLines(settings);
  FUZZ_CHECK(lines.size() == SettingsLine::CountWithAdded,
             "a settings file has its 98 lines and the lines added after them");
  const std::string saved = fuzz::ScratchPath("-saved.vtx");
  WriteTextLines(saved, lines);
  FUZZ_CHECK(ReadTextLines(saved) == lines, "saved settings lines do not read back equal");
  ExperimentSettings again;
  ApplySettingsLines(lines, again);
  FUZZ_CHECK(again == settings, "the record does not come back from its own lines");
  return 0;
}
