// What the fuzz targets share: the input as a file with a chosen extension, a check that
// stops the run with a message (a finding), and the options an input's size picks.
// A target is a file <name>_fuzz.cpp with LLVMFuzzerTestOneInput; CMake finds it.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// A finding: the message goes to standard error and the run stops with the input saved.
#define FUZZ_CHECK(condition, what)                                                      \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, __FILE__, __LINE__); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

// Options that the fuzzer varies without touching the bytes: taken from the input's size,
// so that a seed file is a valid input as it is.
inline bool Option(size_t size, int bit) { return (size >> bit) & 1u; }
inline char Separator(size_t size) { return Option(size, 0) ? ',' : '.'; }

// A path in memory-backed storage where there is one; one name per process and extension.
inline std::string ScratchPath(const std::string& extension) {
  static const std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return folder + "/vortuner-fuzz-" + std::to_string(::getpid()) + extension;
}

inline std::string WriteInput(const uint8_t* data, size_t size, const std::string& extension) {
  const std::string path = ScratchPath(extension);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace fuzz
