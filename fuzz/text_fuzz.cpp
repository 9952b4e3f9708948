// Text decoding and encoding: decoding always gives valid UTF-8, Windows-1250 text comes back
// from UTF-8 unchanged, and lines saved in the program's own files read back equal.
#include "FuzzSupport.h"
#include "data/TextFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string decoded = Utf8FromWindows1250(bytes);
  FUZZ_CHECK(IsValidUtf8(decoded), "decoding gave text that is not UTF-8");
  std::string encoded;
  if (IsValidUtf8(bytes) && TryWindows1250FromUtf8(bytes, encoded))
    FUZZ_CHECK(Utf8FromWindows1250(encoded) == bytes, "Windows-1250 text does not come back");

  // A file decodes to lines of valid UTF-8, unless it says it is UTF-8 (a byte-order mark)
  // and is not: then its lines are its bytes.
  const std::string path = fuzz::WriteInput(data, size, fuzz::Option(size, 0) ? ".txt" : ".vtx");
  if (bytes.substr(0, Utf8Bom.size()) != Utf8Bom)
    for (const std::string& line : ReadTextLines(path))
      FUZZ_CHECK(IsValidUtf8(line), "a file's line is not UTF-8 after decoding");
  // The program's own file keeps whatever lines it is given, byte for byte.
  const std::vector<std::string> written = SplitLines(IsValidUtf8(bytes) ? bytes : decoded);
  const std::string saved = fuzz::ScratchPath("-saved.vtx");
  WriteTextLines(saved, written);
  FUZZ_CHECK(ReadTextLines(saved) == written, "saved lines do not read back equal");
  return 0;
}
