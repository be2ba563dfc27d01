// mirelka.com: the subcommands' console twin of mirelka.exe on Windows.
// A console waits for a console program and hands it its own standard
// handles, so `mirelka list` typed at a prompt (which tries .COM before .EXE)
// prints before the prompt comes back and sets %ERRORLEVEL%. The subcommands
// are the window program's own (cli.h); only the subsystem differs.
#include <windows.h>

#include <cstdio>
#include <string>

#include "cli.h"
#include "hardening.h"

namespace {

// The command line after the program's own name, as typed: Windows splits
// the name off by quotes alone (no backslash rules), the rest is the window's.
std::wstring ArgumentsAsTyped() {
  const wchar_t* p = GetCommandLineW();
  if (*p == L'"') {
    for (++p; *p && *p != L'"'; ++p) {}
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  return p;
}

// Without a subcommand the user asked for the window, as typing `mirelka`
// does on Linux: start mirelka.exe beside this program with the same
// arguments (Qt's own options) and give the prompt back at once, as the
// window program itself would.
int StartWindow() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return 1;
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  path.replace(path.find_last_of(L'\\') + 1, std::wstring::npos, L"mirelka.exe");
  std::wstring commandLine = L"\"" + path + L"\"" + ArgumentsAsTyped();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "mirelka: mirelka.exe beside this program could not be started (error %lu)\n", GetLastError());
    return 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  KeepSecretsOutOfCoreDumps();
  if (cli::Requested(argc, argv)) return cli::Main(argc, argv);
  return StartWindow();
}
