#pragma once
// The command line of the program's subcommands, read and checked without
// touching the network: a command refused here sends nothing.
#include <optional>
#include <string>
#include <vector>

#include "result.h"

namespace cli {

enum class Command { kList, kShares, kResolve, kDiagnose, kHelp, kVersion };

struct Options {
  Command command = Command::kHelp;
  bool json = false;
  std::optional<int> timeoutMs;  // nothing: each step's own bounds only
  // The computers (shares, resolve) or the workgroup (list, at most one), as
  // code page 932 bytes and as typed (UTF-8), in the order given.
  std::vector<std::string> names;
  std::vector<std::string> typed;
  // Computers SMB1 may be used for in this run (code page 932), as named.
  std::vector<std::string> allowSmb1;
};

struct Parsed {
  std::optional<Options> options;
  std::string error;  // one line, set when options is empty
};

// The arguments after the program's name, as the system gave them (UTF-8).
Parsed Parse(const std::vector<std::string>& args);

// Whether these arguments ask for a subcommand rather than the window: any
// first argument but Qt's own options (-platform, -style...), which still
// start the window; an unknown one is then refused as a subcommand's.
bool WantsCommandLine(const std::vector<std::string>& args);

// A name given on the command line as code page 932 bytes, or why it cannot
// be used: one of the codes below, its text the refusal's one line.
base::Result<std::string> CheckName(const std::string& typed);
enum NameRefusal { kEmptyName = 1, kNotUtf8, kControlCharacter, kNotInCodePage, kNameTooLong };

// The longest name the companion library and the provider take.
constexpr size_t kMaxNameBytes = 255;
// The longest --timeout taken, in seconds.
constexpr double kMaxTimeoutSeconds = 24 * 60 * 60;

}  // namespace cli
