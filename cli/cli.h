#pragma once
// The program's subcommands (list, shares, resolve), run without a window:
// Qt Core's event loop only, so they work without a display, over SSH and
// from scripts. main() asks before it makes the window's application object.

namespace cli {

// Whether the arguments ask for a subcommand (cli_args.h).
bool Requested(int argc, char** argv);

// Runs the subcommand the arguments name and returns the exit code: 0 every
// computer or name answered, 1 some did not (each said on standard error),
// 2 the command line was refused (nothing was sent).
int Main(int argc, char** argv);

}  // namespace cli
