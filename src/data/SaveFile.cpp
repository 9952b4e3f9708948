// Saving a file whole: through a temporary file beside it, renamed over it, so a failed
// save leaves the previous file as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/TextFile.h"

namespace {

std::string Reason(int error) { return std::strerror(error); }

[[noreturn]] void Fail(const char* verb, const std::string& path, int error) {
  throw FileError(std::string("Cannot ") + verb + " file \"" + path + "\". " + Reason(error));
}

// The file a path names, following symbolic links (also ones whose target does not exist
// yet), so that saving through a link writes the linked file and keeps the link.
std::string FinalTarget(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) return path;
    target.resize(static_cast<size_t>(length));
    if (target.empty()) return path;
    if (target[0] != '/') {
      const size_t slash = path.find_last_of('/');
      if (slash != std::string::npos) target = path.substr(0, slash + 1) + target;
    }
    path = target;
  }
  return path;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

void SyncFolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: the file itself is already on disk
  ::close(fd);
}

// Overwrites the file itself: for folders where no temporary file can be made.
void WriteInPlace(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) Fail("create", path, errno);
  // Truncated only after the new content is written, so that a save that fails never
  // leaves an empty file.
  if (!WriteAll(fd, bytes) || ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 ||
      ::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    Fail("write", path, error);
  }
  if (::close(fd) != 0) Fail("write", path, errno);
}

}  // namespace

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  const std::string target = FinalTarget(path);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) Fail("create", path, EISDIR);
  // A write-protected file stays protected: renaming over it would replace it anyway.
  if (exists && ::access(target.c_str(), W_OK) != 0) Fail("create", path, errno);

  // One temporary name per file: a leftover of a killed save is removed by the next one.
  const std::string temporary = target + ".vortuner-tmp";
  ::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM || errno == EROFS || errno == ENAMETOOLONG ||
        errno == EEXIST) {
      WriteInPlace(target, bytes);
      return;
    }
    Fail("create", path, errno);
  }
  auto fail = [&](const char* verb, int error) {
    ::close(fd);
    ::unlink(temporary.c_str());
    Fail(verb, path, error);
  };
  if (exists) {
    // The saved file keeps who owns it and who may read it.
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      // Only the owner's group or root may give a file away; the permissions still hold.
    }
    if (::fchmod(fd, existing.st_mode & 07777) != 0) fail("write", errno);
  }
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) fail("write", errno);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    Fail("write", path, error);
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    Fail("create", path, error);
  }
  SyncFolderOf(target);
}

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  std::string encoded;
  // UTF-8 announces itself, so that it is never taken for Windows-1250 or the other way.
  // So does Windows-1250 text that starts with the mark's bytes ("ď»ż"): it goes as UTF-8.
  if (!TryWindows1250FromUtf8(text, encoded) || encoded.compare(0, Utf8Bom.size(), Utf8Bom) == 0)
    encoded = std::string(Utf8Bom) + text;
  WriteFileBytes(path, encoded);
}
