#pragma once
// What the subcommands need of the system's console, one file per platform
// (console_posix.cpp, console_win.cpp, chosen by the build).
#include <cstdio>
#include <string>
#include <vector>

namespace cli {

// UTF-8 text to a stream, flushed. A Windows console is written in UTF-16,
// which it shows whatever its code page; a file or a pipe gets the bytes.
void WriteText(std::FILE* stream, const std::string& utf8);

// The arguments after the program's name, as UTF-8. Windows hands main()
// its arguments in the ANSI code page, where a character the code page
// cannot hold is already lost ('?'): there they are read from the wide
// command line, split as the C runtime splits it. Not
// QCoreApplication::arguments(): whether a subcommand is asked for is
// decided before any application object, the subcommands' own is given no
// arguments (Qt would take a -qmljsdebugger= among the names), and on Linux
// it would turn bytes that are not UTF-8 into U+FFFD.
std::vector<std::string> Arguments(int argc, char** argv);

// On Windows the program is a window program with no console of its own:
// started from one without redirection, its standard output and error go
// nowhere. Those that are missing then go to the console it was started
// from, if any; a file or a pipe given stays. Elsewhere nothing to do.
void AttachParentConsole();

}  // namespace cli
