#include "report/ZipPackage.h"

#include <zip.h>

#include <memory>
#include <stdexcept>

std::vector<ZipPart> ReadZipParts(const std::string& path, std::uint64_t maxBytes) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) {
    zip_error_t e;
    zip_error_init_with_code(&e, error);
    const std::string reason = zip_error_strerror(&e);
    zip_error_fini(&e);
    throw std::runtime_error("Cannot read package \"" + path + "\". " + reason);
  }
  std::unique_ptr<zip_t, void (*)(zip_t*)> guard(archive, [](zip_t* z) { zip_discard(z); });
  std::vector<ZipPart> parts;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  std::uint64_t unpacked = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
    if ((st.valid & ZIP_STAT_SIZE) == 0 || st.size > maxBytes - unpacked)
      throw std::runtime_error("Cannot read package \"" + path + "\": it unpacks to more than " +
                               std::to_string(maxBytes >> 20) + " MiB");
    unpacked += st.size;
    ZipPart part;
    part.Name = st.name;
    if (!part.Name.empty() && part.Name.back() == '/') continue;  // a folder entry
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (!file)
      throw std::runtime_error("Cannot read package \"" + path + "\". " + zip_strerror(archive));
    part.Bytes.resize(st.size);
    const zip_int64_t got = zip_fread(file, part.Bytes.data(), st.size);
    zip_fclose(file);
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size)
      throw std::runtime_error("Cannot read package \"" + path + "\": part " + part.Name +
                               " is damaged");
    parts.push_back(std::move(part));
  }
  return parts;
}

std::string ZipBytes(const std::vector<ZipPart>& parts) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (!buffer) throw std::runtime_error("Cannot create the package in memory");
  zip_source_keep(buffer);
  std::unique_ptr<zip_source_t, void (*)(zip_source_t*)> keep(buffer, zip_source_free);
  zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  if (!archive) throw std::runtime_error("Cannot create the package in memory");
  for (const ZipPart& part : parts) {
    zip_source_t* source = zip_source_buffer(archive, part.Bytes.data(), part.Bytes.size(), 0);
    if (!source) throw std::runtime_error(zip_strerror(archive));
    const zip_int64_t index = zip_file_add(archive, part.Name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      const std::string reason = zip_strerror(archive);
      zip_discard(archive);
      throw std::runtime_error("Cannot add \"" + part.Name + "\" to the package. " + reason);
    }
    // Pictures are compressed already; store them as they are.
    const bool png =
        part.Name.size() > 4 && part.Name.compare(part.Name.size() - 4, 4, ".png") == 0;
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                             png ? ZIP_CM_STORE : ZIP_CM_DEFLATE, png ? 0 : 6);
  }
  if (zip_close(archive) != 0) {
    const std::string reason = zip_strerror(archive);
    zip_discard(archive);
    throw std::runtime_error("Cannot create the package in memory. " + reason);
  }
  std::string bytes;
  if (zip_source_open(buffer) != 0) throw std::runtime_error("Cannot read the package back");
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_source_stat(buffer, &st) == 0 && (st.valid & ZIP_STAT_SIZE)) bytes.reserve(st.size);
  char chunk[65536];
  zip_int64_t n = 0;
  while ((n = zip_source_read(buffer, chunk, sizeof chunk)) > 0)
    bytes.append(chunk, static_cast<size_t>(n));
  zip_source_close(buffer);
  if (n < 0) throw std::runtime_error("Cannot read the package back");
  return bytes;
}
