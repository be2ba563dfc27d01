#include <windows.h>
#include <shellapi.h>

#include <QString>
#include <string>

#include "cp932.h"
#include "launcher.h"

// The shell explores the share's UNC path itself: the path is a file name
// handed over whole, never a command line to be parsed, so no share name can
// add an option or a program. "explore" opens folders only; a path that
// named a program would not be run. The path as the peers name it goes
// through the wide call, since the code page cannot hold every share name.
// The window comes up shown and active (SW_SHOW), as the command line's
// program would; its outcome is not examined. Windows logs on as the
// signed-in user.
void StartFileManagerWith(const ShellExecuteCall& shell, const std::string& commandLine, const std::string& uncText) {
  const std::string path = UncPathOfCommandLine(commandLine);
  if (path.empty()) return;
  const QString text = uncText.compare(0, 2, "\\\\") == 0 ? QString::fromStdString(uncText) : cp932::Decode(path);
  shell(L"explore", text.toStdWString());
}

void StartFileManager(const std::string& commandLine, const std::string& uncText, const UserForHost&) {
  StartFileManagerWith(
      [](const std::wstring& verb, const std::wstring& file) {
        ShellExecuteW(nullptr, verb.c_str(), file.c_str(), nullptr, nullptr, SW_SHOW);
      },
      commandLine, uncText);
}
