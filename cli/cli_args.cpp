#include "cli_args.h"

#include <QList>
#include <QStringDecoder>
#include <cmath>
#include <string_view>

#include "cp932.h"

namespace cli {

namespace {

bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

bool OurOption(const std::string& arg) {
  return arg == "--help" || arg == "-h" || arg == "--version" || arg == "--json" || arg == "--timeout" ||
         arg.rfind("--timeout=", 0) == 0 || arg == "--allow-smb1" || arg.rfind("--allow-smb1=", 0) == 0;
}

// Decimal seconds ("3", "2.5", ".5"), nothing else: no sign, exponent, hex
// or spaces, which strtod would take.
std::optional<int> ParseSeconds(const std::string& text) {
  bool digit = false, point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digit || text.size() > 32) return std::nullopt;
  const double seconds = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(seconds) || seconds <= 0 || seconds > kMaxTimeoutSeconds) return std::nullopt;
  return std::max(1, static_cast<int>(std::lround(seconds * 1000)));
}

std::optional<Command> CommandNamed(const std::string& word) {
  if (word == "list") return Command::kList;
  if (word == "shares") return Command::kShares;
  if (word == "resolve") return Command::kResolve;
  if (word == "diagnose") return Command::kDiagnose;
  return std::nullopt;
}

// The argument as shown in a message: control characters and bytes that
// are not text stand as escapes, so the message stays one printable line.
std::string Shown(const std::string& arg) {
  std::string out;
  for (unsigned char c : arg.substr(0, 80)) {
    if (c < 0x20 || c == 0x7f) {
      static const char hex[] = "0123456789abcdef";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (arg.size() > 80) out += "...";
  // Bytes that are not UTF-8 would reach the terminal as they are.
  return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size())).toUtf8().toStdString();
}

Parsed Fail(std::string error) { return Parsed{std::nullopt, std::move(error)}; }

// The value of option at args[*i], as "--option=VALUE" or "--option VALUE"
// (then *i moves on to it); nothing when args[*i] is another option. An
// "--option" with nothing after it gives an empty value with *i unmoved.
std::optional<std::string> ValueOf(const std::string& option, const std::vector<std::string>& args, size_t* i) {
  const std::string& arg = args[*i];
  if (arg.rfind(option + "=", 0) == 0) return arg.substr(option.size() + 1);
  if (arg != option) return std::nullopt;
  if (*i + 1 >= args.size()) return std::string();
  return args[++*i];
}

}  // namespace

base::Result<std::string> CheckName(const std::string& typed) {
  if (typed.empty()) return base::Failure{kEmptyName, "empty name"};
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8.decode(QByteArrayView(typed.data(), static_cast<qsizetype>(typed.size())));
  if (utf8.hasError()) return base::Failure{kNotUtf8, "name is not UTF-8 text"};
  for (const char32_t cp : text.toUcs4()) {
    if (cp < 0x20 || (cp >= 0x7f && cp <= 0x9f))
      return base::Failure{kControlCharacter, "name contains a control character"};
  }
  base::Result<std::string> encoded = cp932::Encode(text);
  if (!encoded) return base::Failure{kNotInCodePage, "name has a character code page 932 cannot hold"};
  if (encoded->size() > kMaxNameBytes) return base::Failure{kNameTooLong, "name is longer than 255 bytes"};
  return encoded;
}

bool WantsCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  const std::string& first = args.front();
  if (!IsOption(first) || OurOption(first)) return true;
  // Qt's own options (with one dash or two, a value after "=" or in the next
  // argument) still go to the window, as they always have.
  constexpr std::string_view kQtOptions =
      " platform platformpluginpath platformtheme plugin qwindowgeometry qwindowicon qwindowtitle reverse session"
      " style stylesheet widgetcount geometry title icon display name visual ncols cmap nograb dograb sync"
      " qmljsdebugger fontengine testability ";
  std::string word = first.substr(first.rfind("--", 0) == 0 ? 2 : 1);
  word = word.substr(0, word.find('='));
  return word.empty() || kQtOptions.find(" " + word + " ") == std::string_view::npos;
}

Parsed Parse(const std::vector<std::string>& args) {
  Options options;
  std::optional<Command> command;
  std::vector<std::string> operands;
  bool optionsOver = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsOver || !IsOption(arg)) {
      if (!command) {
        command = CommandNamed(arg);
        if (!command) return Fail("unknown subcommand '" + Shown(arg) + "' (try --help)");
      } else {
        operands.push_back(arg);
      }
      continue;
    }
    if (arg == "--") {
      optionsOver = true;
    } else if (arg == "--help" || arg == "-h") {
      options.command = Command::kHelp;
      return Parsed{options, {}};
    } else if (arg == "--version") {
      options.command = Command::kVersion;
      return Parsed{options, {}};
    } else if (arg == "--json") {
      options.json = true;
    } else if (const std::optional<std::string> value = ValueOf("--timeout", args, &i)) {
      if (value->empty() && args[i] == "--timeout") return Fail("--timeout needs a number of seconds");
      options.timeoutMs = ParseSeconds(*value);
      if (!options.timeoutMs)
        return Fail("--timeout: '" + Shown(*value) + "' is not a number of seconds from 0.001 to 86400");
    } else if (const std::optional<std::string> name = ValueOf("--allow-smb1", args, &i)) {
      if (name->empty() && args[i] == "--allow-smb1") return Fail("--allow-smb1 needs a computer's name or address");
      base::Result<std::string> bytes = CheckName(*name);
      if (!bytes) return Fail("--allow-smb1: " + bytes.failure().text + ": '" + Shown(*name) + "'");
      options.allowSmb1.push_back(std::move(bytes).value());
    } else {
      return Fail("unknown option '" + Shown(arg) + "' (try --help)");
    }
  }
  if (!command) return Fail("no subcommand given: list, shares, resolve or diagnose (try --help)");
  options.command = *command;
  if (*command == Command::kList && operands.size() > 1) return Fail("list takes at most one workgroup");
  if (*command == Command::kDiagnose && operands.size() != 1) return Fail("diagnose takes exactly one name or address");
  if (*command != Command::kList && operands.empty())
    return Fail(std::string(*command == Command::kShares ? "shares" : "resolve") +
                " needs at least one name or address");
  for (const std::string& operand : operands) {
    base::Result<std::string> bytes = CheckName(operand);
    if (!bytes) return Fail(bytes.failure().text + ": '" + Shown(operand) + "'");
    options.names.push_back(std::move(bytes).value());
    options.typed.push_back(operand);
  }
  return Parsed{options, {}};
}

}  // namespace cli
