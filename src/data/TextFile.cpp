#include "data/TextFile.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

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

namespace {

// The program's own files: written by it, so either UTF-8 with a byte-order mark or
// Windows-1250; never guessed from their bytes.
bool IsOwnFile(const std::string& path) {
  const size_t dot = path.find_last_of("./\\");
  if (dot == std::string::npos || path[dot] != '.') return false;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == "vtd" || extension == "vtm" || extension == "vtc" || extension == "vtx";
}

// Where the first `count` lines of text end (after their line ends).
size_t EndOfLines(std::string_view text, size_t count) {
  size_t i = 0;
  for (size_t line = 0; line < count && i < text.size(); ++line) {
    while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
    if (i < text.size()) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++i;
    }
  }
  return i;
}

// A file's bytes, read whole or until they hold more than limit.MaxLines lines; a file
// that goes on past limit.MaxBytes without giving them (a device, a file of another kind)
// is refused, not swallowed.
std::string ReadBytes(const std::string& path, const ReadLimit& limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw FileError("Cannot open file \"" + path + "\". " + Reason());
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    throw FileError("Cannot open file \"" + path + "\". " + Reason());
  }
  std::string bytes;
  std::array<char, 65536> chunk;
  size_t lineEnds = 0;  // CR and LF bytes: a line takes one or two
  for (;;) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const std::string reason = Reason();
      ::close(fd);
      throw FileError("Cannot read file \"" + path + "\". " + reason);
    }
    if (got == 0) break;
    bytes.append(chunk.data(), static_cast<size_t>(got));
    for (ssize_t i = 0; i < got; ++i) lineEnds += chunk[i] == '\n' || chunk[i] == '\r';
    if (lineEnds / 2 > limit.MaxLines) break;  // more lines than the reader takes
    if (bytes.size() > limit.MaxBytes) {
      ::close(fd);
      throw FileError("Cannot read file \"" + path + "\". It is larger than " +
                      std::to_string(limit.MaxBytes / (1024 * 1024)) + " MB.");
    }
  }
  ::close(fd);
  return bytes;
}

}  // namespace

std::string ReadFileBytes(const std::string& path) { return ReadBytes(path, ReadLimit{}); }

std::vector<std::string> ReadTextLines(const std::string& path, ReadLimit limit) {
  std::string bytes = ReadBytes(path, limit);
  const bool bom = bytes.compare(0, Utf8Bom.size(), Utf8Bom) == 0;
  if (bom) bytes.erase(0, Utf8Bom.size());
  bytes.resize(EndOfLines(bytes, limit.MaxLines));
  // A file of another tool is UTF-8 when all of it is valid UTF-8.
  const bool utf8 = bom || (!IsOwnFile(path) && IsValidUtf8(bytes));
  return SplitLines(utf8 ? bytes : Utf8FromWindows1250(bytes));
}

std::string UserDataHome() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return data;
  if (const char* home = std::getenv("HOME")) return std::string(home) + "/.local/share";
  return ".";
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
