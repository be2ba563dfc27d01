#include <windows.h>

#include "launcher.h"

void StartFileManager(const std::string& commandLine) { WinExec(commandLine.c_str(), SW_SHOW); }
