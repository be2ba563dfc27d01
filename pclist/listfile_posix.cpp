// Reading and replacing the list file with POSIX calls. A save never leaves a
// truncated list: the text goes to a temporary file beside the target, is
// flushed to the disk and only then renamed over the old file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>

#include "cp932.h"
#include "pclist.h"

namespace pclist {
namespace {

// "ファイル " and the endings " は開けません" / " を作成できません" in code page 932.
constexpr std::string_view kFileHead = "\x83\x74\x83\x40\x83\x43\x83\x8b\x20";
constexpr std::string_view kCannotOpenTail = "\x20\x82\xcd\x8a\x4a\x82\xaf\x82\xdc\x82\xb9\x82\xf1";
constexpr std::string_view kCannotCreateTail =
    "\x20\x82\xf0\x8d\xec\x90\xac\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1";

// The path as the user's messages show it: local bytes become code page 932,
// characters it cannot hold become "?".
std::string PathForMessage(const std::string& path) {
  const bool ascii = std::all_of(path.begin(), path.end(), [](char c) { return (c & 0x80) == 0; });
  if (ascii) return path;
  return cp932::encodeLossy(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
}

Failure FileFailure(const std::string& path, std::string_view tail) {
  std::string text(kFileHead);
  text.append(PathForMessage(path)).append(tail);
  return Failure(text);
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, so that an error reported only by close is seen.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Reads a whole regular file; false when it cannot be opened or read.
// O_NONBLOCK keeps a FIFO at the path from blocking the open; only regular
// files are read, so a device cannot feed an endless text either.
bool ReadWhole(const std::string& path, std::string* out, int* openErrno) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    *openErrno = errno;
    return false;
  }
  *openErrno = 0;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out->clear();
  out->reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out->append(buffer, static_cast<size_t>(n));
  }
}

std::string DirectoryOf(const std::string& path) {
  const size_t sep = path.rfind('/');
  if (sep == std::string::npos) return ".";
  if (sep == 0) return "/";
  return path.substr(0, sep);
}

// Opens a new file beside path under a name no one else uses. The process id
// and a counter make it unique within this machine; the clock guards against
// a leftover from an earlier process with the same id.
int CreateTemporary(const std::string& path, mode_t mode, std::string* tempPath) {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    *tempPath = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(stamp % 1000000) + "-" +
                std::to_string(counter++);
    const int fd = ::open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Writes text to a temporary file beside path and renames it over path. The
// new file gets the given mode, else the mode of the file it replaces, else
// 0666 less the umask. On failure the temporary file is removed and path is
// untouched.
bool ReplaceAtomically(const std::string& path, std::string_view text, std::optional<mode_t> mode) {
  if (!mode) {
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) mode = old.st_mode & 07777;
  }
  constexpr mode_t kNewFileMode = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
  std::string tempPath;
  // Created owner-only; widened by fchmod once the text is in, never the reverse.
  Fd fd(CreateTemporary(path, mode ? S_IRUSR | S_IWUSR : kNewFileMode, &tempPath));
  if (fd.get() < 0) return false;
  const bool written = WriteAll(fd.get(), text) && (!mode || ::fchmod(fd.get(), *mode) == 0) &&
                       ::fsync(fd.get()) == 0 && fd.Close() && ::rename(tempPath.c_str(), path.c_str()) == 0;
  if (!written) {
    ::unlink(tempPath.c_str());
    return false;
  }
  // Make the rename itself durable; the new file is in place already, so a
  // failure here is not the save's failure.
  Fd dir(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return true;
}

}  // namespace

Failure CannotCreate(const std::string& path) { return FileFailure(path, kCannotCreateTail); }

std::optional<std::string> ReadListFile(const std::string& path) {
  std::string text;
  int openErrno = 0;
  if (ReadWhole(path, &text, &openErrno)) return text;
  // ENOTDIR: a leading part of the path is a file, so nothing is at the path.
  if (openErrno == ENOENT || openErrno == ENOTDIR) return std::nullopt;
  throw FileFailure(path, kCannotOpenTail);
}

void WriteListFile(const std::string& path, std::string_view text) {
  if (!ReplaceAtomically(path, text, std::nullopt)) throw CannotCreate(path);
}

std::string BackupPath(const std::string& path) { return path + ".bak"; }

bool KeepBackup(const std::string& path) {
  std::string text;
  int openErrno = 0;
  struct stat st {};
  if (!ReadWhole(path, &text, &openErrno) || ::stat(path.c_str(), &st) != 0) return false;
  // The copy is as private as the original, whatever an older backup allowed.
  return ReplaceAtomically(BackupPath(path), text, static_cast<mode_t>(st.st_mode & 07777));
}

}  // namespace pclist
