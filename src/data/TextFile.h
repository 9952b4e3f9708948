// Files as lists of text lines: every line ended by CR LF when written; CR LF, LF or
// CR accepted when read. Text in memory is UTF-8; on disk it is Windows-1250 when every
// character fits (the code page of the program's files), else UTF-8, so nothing is lost.
// Writes go to a temporary file that is renamed over the target, so a failed save never
// leaves a half-written file or destroys the previous one.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A file that cannot be read or written; what() names the file.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An index a list does not have (a line of a file, a column of the store): what() is
// "List index out of bounds (<index>)".
class ListIndexError : public std::out_of_range {
 public:
  explicit ListIndexError(int index);
  int Index() const { return index_; }

 private:
  int index_;
};

// An error on one line of a file. what() is the error itself, as the windows show it;
// Where() names the file and the line: "Napaka v vrstici <line> datoteke '<path>'".
class FileLineError : public std::runtime_error {
 public:
  FileLineError(const std::string& what, std::string path, int line)
      : std::runtime_error(what), path_(std::move(path)), line_(line) {}
  const std::string& Path() const { return path_; }
  int Line() const { return line_; }
  std::string Where() const {
    return "Napaka v vrstici " + std::to_string(line_) + " datoteke '" + path_ + "'";
  }

 private:
  std::string path_;
  int line_;
};

// How much of a file a reader takes: its first MaxLines lines (the rest is not read),
// from at most MaxBytes bytes (a file that goes on beyond them without giving the lines
// is refused with a FileError).
struct ReadLimit {
  static constexpr size_t Unlimited = static_cast<size_t>(-1);
  size_t MaxLines = Unlimited;
  size_t MaxBytes = 64u * 1024u * 1024u;
};

// A file's lines decoded to UTF-8: a file that starts with a UTF-8 byte-order mark is
// UTF-8; the program's own files (".vtd", ".vtm", ".vtc", ".vtx") without one are
// Windows-1250; any other file is UTF-8 when it is all valid UTF-8, else Windows-1250.
// A folder, a missing or an unreadable file throws FileError.
std::vector<std::string> ReadTextLines(const std::string& path, ReadLimit limit = {});
// Line `number` (1-based, as a file's lines are counted) of a file's lines; a line the
// file does not have throws ListIndexError with its 0-based index.
const std::string& FileLine(const std::vector<std::string>& lines, int number);
// Writes the lines in Windows-1250, or, when some character does not fit it, in UTF-8
// starting with a byte-order mark. See WriteFileBytes for how the file is replaced.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);

// Replaces a file's content as a whole: written to a temporary file beside it, synced and
// renamed over it, then the folder synced. The file keeps its permissions and owner, a
// symbolic link keeps pointing at the file it names (which is the one written), and a
// temporary file left by a save that was killed is removed. Where no temporary file can
// be made beside it (a read-only folder, a name near the length limit) the file is
// written in place, as editors do. Throws FileError naming the file.
void WriteFileBytes(const std::string& path, std::string_view bytes);
// A whole file as bytes (at most ReadLimit's MaxBytes). FileError names the file.
std::string ReadFileBytes(const std::string& path);

// The UTF-8 byte-order mark.
inline constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

// Split text at CR LF, LF or CR; a final line without an ending counts, an ending at
// the very end does not start another line.
std::vector<std::string> SplitLines(std::string_view text);

// Encoding helpers, exposed for tests and for the report writer.
bool IsValidUtf8(std::string_view bytes);
std::string Utf8FromWindows1250(std::string_view bytes);
// False when some character has no Windows-1250 code.
bool TryWindows1250FromUtf8(std::string_view utf8, std::string& out);

// Folder part of a path without the final separator, and the base name without folder
// and extension ("C:\a\b.vtx" and "/a/b.vtx" both give "b").
std::string FolderOf(const std::string& path);
std::string BaseNameOf(const std::string& path);

// The folder of users' program data: $XDG_DATA_HOME, else ~/.local/share ("." without a home).
std::string UserDataHome();
