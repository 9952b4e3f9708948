// A zip package (the container of a ".docx" file) as named parts in memory: read whole
// from a file, written whole to bytes. libzip does the compression.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct ZipPart {
  std::string Name;  // "word/document.xml", no leading slash
  std::string Bytes;
};

// Every part of a zip file in the file's order. Throws std::runtime_error naming the
// file when it cannot be opened, is not a zip file, or holds more than maxBytes once
// unpacked (checked before anything is unpacked: a package's sizes are not trusted).
constexpr std::uint64_t MaxPackageBytes = 256ull << 20;
std::vector<ZipPart> ReadZipParts(const std::string& path,
                                  std::uint64_t maxBytes = MaxPackageBytes);

// The parts as a zip file's bytes, deflated, in the given order.
std::string ZipBytes(const std::vector<ZipPart>& parts);
