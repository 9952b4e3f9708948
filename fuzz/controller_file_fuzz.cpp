// The controller settings file under both decimal separators: what loads, saved, loaded
// and saved again, gives the same file and the same settings.
#include "FuzzSupport.h"
#include "tuning/TRegulator.h"

namespace {

bool Same(const ControllerSettings& a, const ControllerSettings& b) {
  return a.InnerGain == b.InnerGain && a.InnerTimeConstant == b.InnerTimeConstant &&
         a.InnerDeadTime == b.InnerDeadTime && a.InnerRelativeError == b.InnerRelativeError &&
         a.OuterGain == b.OuterGain && a.OuterTimeConstant == b.OuterTimeConstant &&
         a.OuterDeadTime == b.OuterDeadTime && a.OuterRelativeError == b.OuterRelativeError &&
         a.SamplingTimeText == b.SamplingTimeText && a.Method == b.Method &&
         a.ResponseKind == b.ResponseKind && a.Form == b.Form && a.Type == b.Type &&
         a.Slider == b.Slider && a.ScaleP == b.ScaleP && a.ScaleI == b.ScaleI &&
         a.ScaleD == b.ScaleD && a.Cascade == b.Cascade;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char separator = fuzz::Separator(size);
  const std::string path = fuzz::WriteInput(data, size, ".vtc");
  ControllerSettings loaded;
  try {
    loaded = TRegulator::LoadControllerSettings(path, separator);
  } catch (const std::exception&) {
    return 0;
  }
  // A file may hold more digits than a save writes (14): the saved file is the one that
  // must come back as it is.
  const std::string saved = fuzz::ScratchPath("-saved.vtc");
  TRegulator::SaveControllerSettings(saved, loaded, separator);
  const std::string first = fuzz::ReadBytes(saved);
  const ControllerSettings again = TRegulator::LoadControllerSettings(saved, separator);
  TRegulator::SaveControllerSettings(saved, again, separator);
  FUZZ_CHECK(fuzz::ReadBytes(saved) == first, "saved settings do not read back equal");
  FUZZ_CHECK(Same(TRegulator::LoadControllerSettings(saved, separator), again),
             "saved settings do not read back equal");
  return 0;
}
