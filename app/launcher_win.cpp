#include <windows.h>

#include "launcher.h"

// Windows logs on as the signed-in user: the command line goes as it is.
void StartFileManager(const std::string& commandLine, const UserForHost&) { WinExec(commandLine.c_str(), SW_SHOW); }
