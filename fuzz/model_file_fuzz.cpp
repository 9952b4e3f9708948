// The model file under both decimal separators: a file that fails leaves the store as it
// was; a file that loads, saved and loaded again, saves the same bytes.
#include <array>
#include <cstring>
#include <memory>

#include "FuzzSupport.h"
#include "model/TModel.h"

namespace {

// What the loader may change, kept to compare after a failed read (compared bit for bit).
struct Snapshot {
  std::array<double, 15> Values{};
  std::array<int, 3> Counts{};
  std::array<SampleArray, 7> Arrays{};

  static std::array<double, 15> ValuesOf(const MeasurementStore& s) {
    return {s.InnerGain,         s.InnerTimeConstant,  s.InnerDeadTime,      s.InnerGainBound,
            s.InnerTimeBound,    s.InnerStdDev,        s.InnerRelativeError, s.OuterGain,
            s.OuterTimeConstant, s.OuterDeadTime,      s.OuterGainBound,     s.OuterTimeBound,
            s.OuterStdDev,       s.OuterRelativeError, s.SampleTime};
  }
  static std::array<const SampleArray*, 7> ArraysOf(const MeasurementStore& s) {
    return {&s.WindowTime,    &s.UDeviation,         &s.Y1Deviation,       &s.InnerMeasured,
            &s.OuterMeasured, &s.InnerModelResponse, &s.OuterModelResponse};
  }
  void Take(const MeasurementStore& s) {
    Values = ValuesOf(s);
    Counts = {s.ModelWindowSamples, s.InnerDelaySamples, s.OuterDelaySamples};
    for (size_t i = 0; i < Arrays.size(); ++i) Arrays[i] = *ArraysOf(s)[i];
  }
  bool Same(const MeasurementStore& s) const {
    const auto values = ValuesOf(s);
    bool same = std::memcmp(&values, &Values, sizeof Values) == 0 &&
                Counts == std::array<int, 3>{s.ModelWindowSamples, s.InnerDelaySamples,
                                             s.OuterDelaySamples};
    for (size_t i = 0; i < Arrays.size(); ++i)
      same = same && std::memcmp(ArraysOf(s)[i], &Arrays[i], sizeof(SampleArray)) == 0;
    return same;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto store = std::make_unique<MeasurementStore>();
  static auto again = std::make_unique<MeasurementStore>();
  static auto before = std::make_unique<Snapshot>();
  const char separator = fuzz::Separator(size);
  const std::string path = fuzz::WriteInput(data, size, ".vtm");
  try {
    TModel::LoadModelFile(path, *store, separator);
  } catch (const std::exception&) {
    FUZZ_CHECK(before->Same(*store), "a failed read changed the store");
    return 0;
  }
  const std::string saved = fuzz::ScratchPath("-saved.vtm");
  TModel::SaveModelFile(saved, *store, separator);
  const std::string first = fuzz::ReadBytes(saved);
  TModel::LoadModelFile(saved, *again, separator);
  TModel::SaveModelFile(saved, *again, separator);
  FUZZ_CHECK(fuzz::ReadBytes(saved) == first, "a saved model file does not read back equal");
  before->Take(*store);
  return 0;
}
