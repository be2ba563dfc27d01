// Reading and replacing the list file with the Windows file calls. A save
// never leaves a truncated list: the text goes to a temporary file beside the
// target, is flushed to the disk and only then moved over the old file.
// Paths are in the system's ANSI code page, which is 932 where the program
// runs, so they go into messages as they are.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "pclist.h"

namespace pclist {
namespace {

class File {
 public:
  explicit File(HANDLE h) : h_(h) {}
  ~File() {
    if (ok()) CloseHandle(h_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }
  // Closes now, so that an error reported only by the close is seen.
  bool Close() {
    const HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != 0;
  }

 private:
  HANDLE h_;
};

bool WriteAll(HANDLE h, std::string_view text) {
  while (!text.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(h, text.data(), chunk, &written, nullptr) || written == 0) return false;
    text.remove_prefix(written);
  }
  return true;
}

// Opens a new file beside path under a name no one else uses.
HANDLE CreateTemporary(const std::string& path, std::string* tempPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *tempPath = path + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + "-" +
                std::to_string(counter++);
    const HANDLE h =
        CreateFileA(tempPath->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
  }
  return INVALID_HANDLE_VALUE;
}

// Writes text to a temporary file beside path and moves it over path. On
// failure the temporary file is removed and path is untouched.
bool ReplaceAtomically(const std::string& path, std::string_view text) {
  std::string tempPath;
  File file(CreateTemporary(path, &tempPath));
  if (!file.ok()) return false;
  const bool written = WriteAll(file.get(), text) && FlushFileBuffers(file.get()) && file.Close() &&
                       MoveFileExA(tempPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!written) {
    if (file.ok()) file.Close();
    DeleteFileA(tempPath.c_str());
  }
  return written;
}

}  // namespace

base::Failure CannotCreate(const std::string& path) { return FileFailure(path, FileProblem::kCannotCreate); }
base::Failure CannotOpen(const std::string& path) { return FileFailure(path, FileProblem::kCannotOpen); }

base::Result<std::optional<std::string>> ReadListFile(const std::string& path) {
  File file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) {
    // A missing folder on the way means nothing is at the path either.
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::optional<std::string>();
    return CannotOpen(path);
  }
  // A directory, a device or a pipe at the path is not read.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return CannotOpen(path);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return CannotOpen(path);
  if (size.QuadPart > kMaxFileBytes) return FileFailure(path, FileProblem::kTooBig);
  std::string text;
  text.reserve(static_cast<size_t>(size.QuadPart));
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return CannotOpen(path);
    if (got == 0) return std::optional<std::string>(std::move(text));
    text.append(buffer, got);
    // It grew while read.
    if (text.size() > static_cast<size_t>(kMaxFileBytes)) return FileFailure(path, FileProblem::kTooBig);
  }
}

base::Status WriteListFile(const std::string& path, std::string_view text) {
  if (!ReplaceAtomically(path, text)) return CannotCreate(path);
  return base::Ok();
}

base::Status KeepBackup(const std::string& path) {
  const base::Result<std::optional<std::string>> read = ReadListFile(path);
  if (!read || !*read || !ReplaceAtomically(BackupPath(path), **read)) return CannotCreate(BackupPath(path));
  return base::Ok();
}

}  // namespace pclist
