#include "cli_args.h"

#include <QCommandLineParser>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <cmath>

#include "cp932.h"

namespace cli {

namespace {

// The parser is handed each byte as one character (Latin-1) and hands the
// bytes back as given: a name that is not UTF-8 is refused by CheckName for
// that, not first turned into U+FFFD. Options and "=" are ASCII, which no
// byte of a UTF-8 sequence is.
QString Chars(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
std::string Bytes(const QString& chars) { return chars.toLatin1().toStdString(); }

QStringList WithProgram(const std::vector<std::string>& args) {
  QStringList list{QStringLiteral("mirelka")};  // the parser skips the program's name
  for (const std::string& arg : args) list << Chars(arg);
  return list;
}

// Decimal seconds ("3", "2.5", ".5"), nothing else: no sign, exponent, hex
// or spaces, which toDouble would take. The C locale's point whatever the
// user's, which a QCoreApplication made before may have set.
std::optional<int> ParseSeconds(const QString& text) {
  static const QRegularExpression kDecimal(
      QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+\\.?[0-9]*|\\.[0-9]+")));
  if (text.size() > 32 || !kDecimal.match(text).hasMatch()) return std::nullopt;
  const double seconds = QLocale::c().toDouble(text);
  if (seconds <= 0 || seconds > kMaxTimeoutSeconds) return std::nullopt;
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

// Our options as the usage spells them.
bool Spelt(const std::string& arg) {
  return arg == "-h" || arg == "--help" || arg == "--version" || arg == "--json" || arg == "--timeout" ||
         arg.rfind("--timeout=", 0) == 0 || arg == "--allow-smb1" || arg.rfind("--allow-smb1=", 0) == 0;
}

// Where the parser met what it does not say where: how many options (an
// entry each in its optionNames()) come before the subcommand, and before
// the first option spelt otherwise than the usage spells it. That one is
// refused quoting the argument as typed: Qt's parser would read "-hh" as -h
// twice and "-hx" as -h and -x, and name the option alone. The line is read
// as the parser reads it: the argument after a bare --timeout or
// --allow-smb1 is its value, none after "--" is an option.
struct Layout {
  std::optional<qsizetype> beforeSubcommand;
  qsizetype beforeMisspelt = 0;
  std::optional<std::string> misspelt;
};

Layout LayoutOf(const std::vector<std::string>& args) {
  Layout layout;
  qsizetype options = 0;
  bool optionsOver = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsOver || arg.size() < 2 || arg[0] != '-') {
      if (!layout.beforeSubcommand) layout.beforeSubcommand = options;
    } else if (arg == "--") {
      optionsOver = true;
    } else if (Spelt(arg)) {
      ++options;
      if (arg == "--timeout" || arg == "--allow-smb1") ++i;
    } else {
      layout.misspelt = arg;
      layout.beforeMisspelt = options;
      break;
    }
  }
  return layout;
}

// Whether the argument is one of the options the window's application
// object takes for Qt (one dash or two). Each is declared as taking a value
// and is given one, so that the argument's name alone decides.
bool QtOwnOption(const std::string& arg) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QStringList names =
      QStringLiteral(
          "platform platformpluginpath platformtheme plugin qwindowgeometry qwindowicon "
          "qwindowtitle reverse session style stylesheet widgetcount geometry title icon "
          "display name visual ncols cmap nograb dograb sync qmljsdebugger fontengine testability")
          .split(QLatin1Char(' '));
  for (const QString& name : names) parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("VALUE")));
  return parser.parse({QStringLiteral("mirelka"), Chars(arg), QString()}) && !parser.optionNames().isEmpty();
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
  // Qt's own options still go to the window, as they always have.
  return !args.empty() && !QtOwnOption(args.front());
}

Parsed Parse(const std::vector<std::string>& args) {
  QCommandLineParser parser;
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version")), json(QStringLiteral("json"));
  const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("SECONDS"));
  const QCommandLineOption allowSmb1(QStringLiteral("allow-smb1"), QString(), QStringLiteral("NAME"));
  parser.addOptions({help, version, json, timeout, allowSmb1});
  // Its refusals (an unknown option, a value missing at the end) are said
  // below, in the command line's words and where the line meets them.
  static_cast<void>(parser.parse(WithProgram(args)));

  // The first fault met in the line is the one said; help and version are
  // answered as met.
  const Layout layout = LayoutOf(args);
  const QStringList given = parser.optionNames();
  const QStringList timeouts = parser.values(timeout), allowed = parser.values(allowSmb1);
  QStringList operands = parser.positionalArguments();
  qsizetype nextTimeout = 0, nextAllowed = 0;
  std::optional<Command> command;
  Options options;
  for (qsizetype k = 0;; ++k) {
    if (layout.beforeSubcommand == k) {
      const std::string word = Bytes(operands.takeFirst());
      command = CommandNamed(word);
      if (!command) return Fail("unknown subcommand '" + Shown(word) + "' (try --help)");
    }
    if (layout.misspelt && layout.beforeMisspelt == k)
      return Fail("unknown option '" + Shown(*layout.misspelt) + "' (try --help)");
    if (k == given.size()) break;
    const QString& option = given[k];
    if (option == QLatin1String("h") || option == QLatin1String("help") || option == QLatin1String("version")) {
      options.command = option == QLatin1String("version") ? Command::kVersion : Command::kHelp;
      return Parsed{options, {}};
    }
    if (option == QLatin1String("json")) {
      options.json = true;
    } else if (option == QLatin1String("timeout")) {
      if (nextTimeout == timeouts.size()) return Fail("--timeout needs a number of seconds");
      const QString& value = timeouts[nextTimeout++];
      options.timeoutMs = ParseSeconds(value);
      if (!options.timeoutMs)
        return Fail("--timeout: '" + Shown(Bytes(value)) + "' is not a number of seconds from 0.001 to 86400");
    } else if (option == QLatin1String("allow-smb1")) {
      if (nextAllowed == allowed.size()) return Fail("--allow-smb1 needs a computer's name or address");
      const std::string name = Bytes(allowed[nextAllowed++]);
      base::Result<std::string> bytes = CheckName(name);
      if (!bytes) return Fail("--allow-smb1: " + bytes.failure().text + ": '" + Shown(name) + "'");
      options.allowSmb1.push_back(std::move(bytes).value());
    }
  }
  if (!command) return Fail("no subcommand given: list, shares, resolve or diagnose (try --help)");
  options.command = *command;
  if (*command == Command::kList && operands.size() > 1) return Fail("list takes at most one workgroup");
  if (*command == Command::kDiagnose && operands.size() != 1) return Fail("diagnose takes exactly one name or address");
  if (*command != Command::kList && operands.empty())
    return Fail(std::string(*command == Command::kShares ? "shares" : "resolve") +
                " needs at least one name or address");
  for (const QString& chars : operands) {
    const std::string operand = Bytes(chars);
    base::Result<std::string> bytes = CheckName(operand);
    if (!bytes) return Fail(bytes.failure().text + ": '" + Shown(operand) + "'");
    options.names.push_back(std::move(bytes).value());
    options.typed.push_back(operand);
  }
  return Parsed{options, {}};
}

}  // namespace cli
