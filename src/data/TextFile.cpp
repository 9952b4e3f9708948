#include "data/TextFile.h"

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string Reason() { return std::strerror(errno); }

// Converts with iconv; false when some input cannot be represented.
bool Convert(const char* to, const char* from, std::string_view in, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  std::string input(in);
  char* inPtr = input.data();
  size_t inLeft = input.size();
  std::string buffer(input.size() * 4 + 16, '\0');
  char* outPtr = buffer.data();
  size_t outLeft = buffer.size();
  const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return false;
  buffer.resize(buffer.size() - outLeft);
  out = std::move(buffer);
  return true;
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    int extra = 0;
    unsigned minimum = 0;
    unsigned code = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1, code = c & 0x1F, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, code = c & 0x0F, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, code = c & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      code = (code << 6) | (cc & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

std::string Utf8FromWindows1250(std::string_view bytes) {
  std::string out;
  if (Convert("UTF-8", "WINDOWS-1250", bytes, out)) return out;
  // Bytes without a character in the code page: keep them as Latin-1 rather than fail.
  Convert("UTF-8", "ISO-8859-1", bytes, out);
  return out;
}

bool TryWindows1250FromUtf8(std::string_view utf8, std::string& out) {
  return Convert("WINDOWS-1250", "UTF-8", utf8, out);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

ListIndexError::ListIndexError(int index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")"), index_(index) {}

const std::string& FileLine(const std::vector<std::string>& lines, int number) {
  if (number < 1 || number > static_cast<int>(lines.size())) throw ListIndexError(number - 1);
  return lines[static_cast<size_t>(number - 1)];
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError("Cannot open file \"" + path + "\". " + Reason());
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) throw FileError("Cannot read file \"" + path + "\". " + Reason());
  return buffer.str();
}

std::vector<std::string> ReadTextLines(const std::string& path) {
  std::string bytes = ReadFileBytes(path);
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  const std::string text = IsValidUtf8(bytes) ? bytes : Utf8FromWindows1250(bytes);
  return SplitLines(text);
}

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  std::string encoded;
  if (!TryWindows1250FromUtf8(text, encoded)) encoded = text;
  WriteFileBytes(path, encoded);
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  std::string tmpl = path + ".XXXXXX";
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) throw FileError("Cannot create file \"" + path + "\". " + Reason());
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      const std::string reason = Reason();
      ::close(fd);
      ::unlink(tmpl.c_str());
      throw FileError("Cannot write file \"" + path + "\". " + reason);
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    const std::string reason = Reason();
    ::unlink(tmpl.c_str());
    throw FileError("Cannot write file \"" + path + "\". " + reason);
  }
  ::chmod(tmpl.c_str(), 0644);
  if (std::rename(tmpl.c_str(), path.c_str()) != 0) {
    const std::string reason = Reason();
    ::unlink(tmpl.c_str());
    throw FileError("Cannot create file \"" + path + "\". " + reason);
  }
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return "";
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}
