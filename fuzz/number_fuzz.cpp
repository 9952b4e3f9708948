// Number parsing and formatting: every number the program writes reads back, 17 digits
// give the very double, and reading what was written and writing it again changes nothing.
#include <cmath>

#include "FuzzSupport.h"
#include "data/NumberFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const char separator = fuzz::Separator(size);
  if (const auto i = TryParseInt(text)) {
    FUZZ_CHECK(TryParseInt(std::to_string(*i)) == *i, "an integer does not read back");
  }
  for (const std::optional<double> v : {TryParseFloat(text, separator), TryParseNumber(text)}) {
    if (!v) continue;
    FUZZ_CHECK(std::isfinite(*v), "a number read is not finite");
    for (int digits = 1; digits <= 17; ++digits) {
      const std::string written = FormatGeneral(*v, digits, separator);
      const auto back = TryParseFloat(written, separator);
      FUZZ_CHECK(back.has_value(), "a written number does not read back");
      FUZZ_CHECK(TryParseNumber(written).has_value(), "a written number does not read from a file");
      if (digits == 17) FUZZ_CHECK(*back == *v, "17 digits do not give the same double");
      // Subnormal doubles lie further apart than 15 decimal digits resolve ("1E-322"
      // reads as 9.88E-323), so only normal ones keep their text at every digit count.
      if (digits <= 15 && std::fpclassify(*back) == FP_NORMAL)
        FUZZ_CHECK(FormatGeneral(*back, digits, separator) == written,
                   "writing what was read changes the text");
    }
    const int decimals = static_cast<int>(size % 19);
    FUZZ_CHECK(TryParseFloat(FormatFixed(*v, decimals, separator), separator).has_value(),
               "a fixed-point number does not read back");
  }
  return 0;
}
