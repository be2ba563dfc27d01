#include <windows.h>

#include <QString>
#include <string>

#include "launcher.h"

// Windows logs on as the signed-in user. The path as the peers name it goes
// through the wide call, since the code page cannot hold every share name;
// without it the command line goes as it is.
void StartFileManager(const std::string& commandLine, const std::string& uncText, const UserForHost&) {
  if (uncText.empty()) {
    WinExec(commandLine.c_str(), SW_SHOW);
    return;
  }
  const std::wstring arguments =
      QStringLiteral("/root, /e,").toStdWString() + QString::fromStdString(uncText).toStdWString();
  ShellExecuteW(nullptr, L"open", L"explorer.exe", arguments.c_str(), nullptr, SW_SHOW);
}
