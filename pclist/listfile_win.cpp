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

// Reads a whole file from the disk; false when it cannot be opened or read,
// or (with *tooBig set) when it holds more than kMaxFileBytes. A directory, a
// device or a pipe at the path is not read.
bool ReadWhole(const std::string& path, std::string* out, DWORD* openError, bool* tooBig) {
  *tooBig = false;
  File file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  *openError = file.ok() ? ERROR_SUCCESS : GetLastError();
  if (!file.ok() || GetFileType(file.get()) != FILE_TYPE_DISK) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return false;
  if (size.QuadPart > kMaxFileBytes) {
    *tooBig = true;
    return false;
  }
  out->clear();
  out->reserve(static_cast<size_t>(size.QuadPart));
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) return true;
    out->append(buffer, got);
    if (out->size() > static_cast<size_t>(kMaxFileBytes)) {  // it grew while read
      *tooBig = true;
      return false;
    }
  }
}

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

Failure CannotCreate(const std::string& path) { return FileFailure(path, FileProblem::kCannotCreate); }
Failure CannotOpen(const std::string& path) { return FileFailure(path, FileProblem::kCannotOpen); }

base::Result<std::optional<std::string>> ReadListFile(const std::string& path) {
  std::string text;
  DWORD openError = ERROR_SUCCESS;
  bool tooBig = false;
  if (ReadWhole(path, &text, &openError, &tooBig)) return std::optional<std::string>(std::move(text));
  if (tooBig) return FileFailureValue(path, FileProblem::kTooBig);
  // A missing folder on the way means nothing is at the path either.
  if (openError == ERROR_FILE_NOT_FOUND || openError == ERROR_PATH_NOT_FOUND) return std::optional<std::string>();
  return FileFailureValue(path, FileProblem::kCannotOpen);
}

void WriteListFile(const std::string& path, std::string_view text) {
  if (!ReplaceAtomically(path, text)) throw CannotCreate(path);
}

bool KeepBackup(const std::string& path) {
  std::string text;
  DWORD openError = ERROR_SUCCESS;
  bool tooBig = false;
  return ReadWhole(path, &text, &openError, &tooBig) && ReplaceAtomically(BackupPath(path), text);
}

}  // namespace pclist
