#include "console.h"

#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <QString>

namespace cli {

void WriteText(std::FILE* stream, const std::string& utf8) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
    std::fflush(stream);
    const std::wstring wide = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdWString();
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

std::vector<std::string> Arguments(int argc, char** argv) {
  std::vector<std::string> args;
  int count = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) args.push_back(QString::fromWCharArray(wide[i]).toStdString());
    LocalFree(wide);
    return args;
  }
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

void AttachParentConsole() {
  const auto missing = [](DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
  };
  const bool noOut = missing(STD_OUTPUT_HANDLE), noErr = missing(STD_ERROR_HANDLE);
  if (!(noOut || noErr) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (noOut) static_cast<void>(std::freopen("CONOUT$", "w", stdout));
  if (noErr) static_cast<void>(std::freopen("CONOUT$", "w", stderr));
}

}  // namespace cli
