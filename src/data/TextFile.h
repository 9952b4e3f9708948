// Files as lists of text lines: every line ended by CR LF when written; CR LF, LF or
// CR accepted when read. Text in memory is UTF-8; on disk it is Windows-1250 when every
// character fits (the code page of the program's files), else UTF-8, so nothing is lost.
// Writes go to a temporary file that is renamed over the target, so a failed save never
// leaves a half-written file or destroys the previous one.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
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

std::vector<std::string> ReadTextLines(const std::string& path);
// Line `number` (1-based, as a file's lines are counted) of a file's lines; a line the
// file does not have throws ListIndexError with its 0-based index.
const std::string& FileLine(const std::vector<std::string>& lines, int number);
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);

// A whole file as bytes, and a whole file written from bytes (through a temporary file
// renamed over the target). FileError names the file.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, std::string_view bytes);

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
