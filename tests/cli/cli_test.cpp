// The subcommands as a script sees them: the program run as a process with
// no display, its exit code, standard error and JSON read back. Everything
// here stays on loopback.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSysInfo>

#include "cli_args.h"
#include "cli_text.h"

namespace {

struct Outcome {
  int code = -1;
  QByteArray out, err;
};

Outcome Mirelka(const QStringList& args, QProcessEnvironment env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  // No display at all: a subcommand that made the window's application
  // object would abort here.
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(MIRELKA_PROGRAM), args);
  EXPECT_TRUE(p.waitForFinished(60000));
  return Outcome{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                 p.readAllStandardError()};
}

QString Kanji(int count) { return QString(count, QChar(0x6F22)); }  // 漢: two bytes in code page 932

bool OnWindows() { return QSysInfo::kernelType() == QStringLiteral("winnt"); }

TEST(CliTest, RefusedInputExitsTwoWithOneLineAndNothingOnStandardOutput) {
  const std::vector<QStringList> table = {
      {QStringLiteral("frob")},
      {QStringLiteral("--frob"), QStringLiteral("list")},
      {QStringLiteral("list"), QStringLiteral("-x")},
      {QStringLiteral("shares")},
      {QStringLiteral("resolve"), QString()},
      {QStringLiteral("shares"), QStringLiteral("PC01"), QString(256, QLatin1Char('A'))},
      {QStringLiteral("resolve"), Kanji(128)},  // 256 bytes, though 128 characters
      {QStringLiteral("resolve"), QStringLiteral("PC\x01")},
      {QStringLiteral("resolve"), QStringLiteral("PC\x1b[2J")},
      {QStringLiteral("resolve"), QStringLiteral("PC\u0085")},
      {QStringLiteral("shares"), QStringLiteral("PC\U0001F642")},  // no such character in code page 932
      {QStringLiteral("resolve"), QStringLiteral("\uD55C")},       // Hangul: none either
      {QStringLiteral("list"), QStringLiteral("WG1"), QStringLiteral("WG2")},
      {QStringLiteral("--timeout"), QStringLiteral("abc"), QStringLiteral("list")},
      {QStringLiteral("--timeout"), QStringLiteral("1e3"), QStringLiteral("list")},
      {QStringLiteral("--timeout=-1"), QStringLiteral("list")},
      {QStringLiteral("--timeout=0"), QStringLiteral("list")},
      {QStringLiteral("list"), QStringLiteral("--timeout")},
      {QStringLiteral("--json")},
      {QStringLiteral("diagnose")},
      {QStringLiteral("diagnose"), QStringLiteral("PC01"), QStringLiteral("PC02")},
      {QStringLiteral("diagnose"), QStringLiteral("PC\x1b[2J")},
      {QStringLiteral("--allow-smb1"), QStringLiteral("shares"), QStringLiteral("PC01")},  // shares is the name
      {QStringLiteral("--allow-smb1=PC\x01"), QStringLiteral("shares"), QStringLiteral("PC01")},
      {QStringLiteral("shares"), QStringLiteral("PC01"), QStringLiteral("--allow-smb1")},
  };
  for (const QStringList& args : table) {
    const Outcome r = Mirelka(args);
    SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.startsWith("mirelka: ")) << r.err.toStdString();
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains('\x1b'));
  }
  // Japanese arrives as typed (on Windows too, where main()'s argv is in the
  // ANSI code page): refused for its length, not as "????".
  EXPECT_TRUE(Mirelka({QStringLiteral("resolve"), Kanji(128)}).err.contains(Kanji(20).toUtf8()));
}

TEST(CliTest, NamesAreMeasuredInCodePage932Bytes) {
  EXPECT_EQ(cli::CheckName(Kanji(127).toStdString() + "A").value_or("").size(), 255u);
  EXPECT_EQ(cli::CheckName(Kanji(127).toStdString() + "AB").failure().code, cli::kNameTooLong);
  EXPECT_TRUE(cli::CheckName(std::string(255, 'A')));
  EXPECT_EQ(cli::CheckName("\xff\xfe").failure().code, cli::kNotUtf8);
}

TEST(CliTest, OnlyQtsOwnOptionsStillOpenTheWindow) {
  using Args = std::vector<std::string>;
  EXPECT_FALSE(cli::WantsCommandLine(Args{}));
  EXPECT_FALSE(cli::WantsCommandLine(Args{"-platform", "offscreen"}));
  EXPECT_FALSE(cli::WantsCommandLine(Args{"--style=fusion"}));
  EXPECT_FALSE(cli::WantsCommandLine(Args{"-reverse"}));
  EXPECT_TRUE(cli::WantsCommandLine(Args{"list"}));
  EXPECT_TRUE(cli::WantsCommandLine(Args{"--json", "list"}));
  EXPECT_TRUE(cli::WantsCommandLine(Args{"--frob"}));
  const cli::Parsed p = cli::Parse(Args{"--timeout=2.5", "shares", "--json", "--", "-PC"});
  ASSERT_TRUE(p.options);
  EXPECT_EQ(p.options->timeoutMs, 2500);
  EXPECT_TRUE(p.options->json);
  EXPECT_EQ(p.options->names, Args{"-PC"});
}

TEST(CliTest, TheParserTakesOurSpellingsAndTheBytesAsGiven) {
  using Args = std::vector<std::string>;
  const struct {
    Args args;
    std::string error;  // empty: taken
  } table[] = {
      {{"-hh"}, "unknown option '-hh' (try --help)"},  // not -h twice
      {{"list", "-hx"}, "unknown option '-hx' (try --help)"},
      {{"list", "--json=1"}, "unknown option '--json=1' (try --help)"},
      {{"--frob=3", "list"}, "unknown option '--frob=3' (try --help)"},
      {{"--timeout", "5\n", "list"}, "--timeout: '5\\x0a' is not a number of seconds from 0.001 to 86400"},
      {{"resolve", "PC\xff"}, "name is not UTF-8 text: 'PC\uFFFD'"},
      {{"--timeout", "x", "--help"}, "--timeout: 'x' is not a number of seconds from 0.001 to 86400"},
      {{"--help", "--timeout", "x"}, ""},
      {{"--allow-smb1", "-h", "shares", "--", "-h"}, ""},
  };
  for (const auto& row : table) {
    const cli::Parsed p = cli::Parse(row.args);
    EXPECT_EQ(p.error, row.error);
    EXPECT_EQ(p.options.has_value(), row.error.empty());
  }
  const cli::Parsed p = cli::Parse(Args{"--allow-smb1", "-h", "shares", "--", "-h"});
  ASSERT_TRUE(p.options);
  EXPECT_EQ(p.options->allowSmb1, Args{"-h"});
  EXPECT_EQ(p.options->names, Args{"-h"});
}

TEST(CliTest, HelpVersionAndResolveAsJson) {
  EXPECT_EQ(Mirelka({QStringLiteral("--help")}).code, 0);
  EXPECT_TRUE(Mirelka({QStringLiteral("--version")}).out.startsWith("mirelka "));

  const Outcome r = Mirelka({QStringLiteral("--json"), QStringLiteral("--timeout=30"), QStringLiteral("resolve"),
                             QStringLiteral("127.0.0.1"), QStringLiteral("localhost")});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
  const QJsonArray results = doc.object().value(QStringLiteral("results")).toArray();
  ASSERT_EQ(results.size(), 2);
  const QJsonObject byAddress = results[0].toObject(), byName = results[1].toObject();
  EXPECT_EQ(byAddress.value(QStringLiteral("query")).toString(), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(byAddress.value(QStringLiteral("name")).toString(), QStringLiteral("localhost"));
  EXPECT_TRUE(byAddress.value(QStringLiteral("confirmed")).toBool());
  EXPECT_EQ(byName.value(QStringLiteral("address")).toString(), QStringLiteral("127.0.0.1"));
  // Linux's hosts file names localhost; Windows' leaves it to the resolver.
  EXPECT_EQ(byName.value(QStringLiteral("source")).toString(),
            OnWindows() ? QStringLiteral("system") : QStringLiteral("dns"));
  EXPECT_TRUE(byName.value(QStringLiteral("ok")).toBool());
  EXPECT_TRUE(doc.object().value(QStringLiteral("complete")).toBool());
}

TEST(CliTest, AFailedComputerIsSaidOnStandardErrorAndExitsOne) {
  // Loopback refuses the SMB ports: answered, nothing listed, and why.
  const Outcome r = Mirelka({QStringLiteral("--json"), QStringLiteral("shares"), QStringLiteral("127.0.0.1")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("127.0.0.1")) << r.err.toStdString();
  const QJsonObject computer =
      QJsonDocument::fromJson(r.out).object().value(QStringLiteral("computers")).toArray().at(0).toObject();
  EXPECT_FALSE(computer.value(QStringLiteral("listed")).toBool());
  EXPECT_EQ(computer.value(QStringLiteral("cause")).toString(), QStringLiteral("ports-refused"));
  EXPECT_TRUE(r.err.contains("File sharing is not running")) << r.err.toStdString();
  // One language per line: the locale's (Windows takes it from the system).
  if (OnWindows()) return;
  QProcessEnvironment japanese = QProcessEnvironment::systemEnvironment();
  japanese.insert(QStringLiteral("LC_ALL"), QStringLiteral("ja_JP.UTF-8"));
  const Outcome ja = Mirelka({QStringLiteral("diagnose"), QStringLiteral("127.0.0.1")}, japanese);
  EXPECT_EQ(ja.code, 1);
  EXPECT_TRUE(ja.out.contains("ファイル共有が動いていません")) << ja.out.toStdString();
  EXPECT_FALSE(ja.out.contains("File sharing")) << ja.out.toStdString();
}

TEST(CliTest, TheTimeoutEndsTheCommandWithWhatItHas) {
  if (OnWindows())
    GTEST_SKIP() << "Windows under Wine: no network provider, no interface and no DNS-SD, so the listing ends at once";
  // The listing waits for its sources far longer than a millisecond.
  const Outcome r = Mirelka({QStringLiteral("--timeout"), QStringLiteral("0.001"), QStringLiteral("--json"),
                             QStringLiteral("list"), QStringLiteral("WG")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("timed out")) << r.err.toStdString();
  const QJsonObject doc = QJsonDocument::fromJson(r.out).object();
  EXPECT_EQ(doc.value(QStringLiteral("complete")), QJsonValue(false)) << r.out.toStdString();
  EXPECT_EQ(doc.value(QStringLiteral("workgroup")).toString(), QStringLiteral("WG"));
}

#ifdef MIRELKA_CONSOLE
// mirelka.com as a user at a prompt meets it: typed as `mirelka` in the
// folder it shares with mirelka.exe, through cmd.exe. At a prompt cmd waits
// for a console program and not for a window program, so the output comes
// before what the line does next; its exit code is cmd's; a Japanese name
// comes through the wide command line and out of a pipe as UTF-8.
Outcome Cmd(const QString& arguments, const QByteArray& typed = {}) {
  QProcess p;
  p.setWorkingDirectory(QCoreApplication::applicationDirPath());
  p.setProgram(QStringLiteral("cmd.exe"));
  p.setNativeArguments(arguments);
  p.start();
  p.write(typed);
  p.closeWriteChannel();
  EXPECT_TRUE(p.waitForFinished(60000));
  return Outcome{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                 p.readAllStandardError()};
}

TEST(CliTest, TheConsoleTwinAnswersThroughCmdBeforeTheLineGoesOn) {
  // Typed at the prompt (cmd reading its input), and as a command (/c).
  for (const Outcome& r : {Cmd({}, "mirelka list --help & echo AFTER\r\n"),
                           Cmd(QStringLiteral("/c \"mirelka list --help & echo AFTER\""))}) {
    EXPECT_GE(r.out.indexOf("Usage: mirelka"), 0) << r.out.toStdString();
    EXPECT_GT(r.out.indexOf("AFTER\r\n"), r.out.indexOf("Exit status")) << r.out.toStdString();
  }

  const QString shared = QStringLiteral("\u5171\u6709");  // 共有
  const QString resolve = QStringLiteral("mirelka --json --timeout 5 resolve ") + shared;
  const struct {
    QString line;
    int code;
  } table[] = {
      {QStringLiteral("mirelka --version"), 0},
      {QStringLiteral("mirelka frob"), 2},
      {resolve, 1},
      {resolve + QStringLiteral(" | more"), 0},  // more's own
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.line.toStdString());
    const Outcome r = Cmd(QStringLiteral("/c \"%1\"").arg(row.line));
    EXPECT_EQ(r.code, row.code) << r.err.toStdString();
    if (!row.line.contains(shared)) continue;
    EXPECT_TRUE(r.err.contains(shared.toUtf8())) << r.err.toStdString();
    const QJsonArray results = QJsonDocument::fromJson(r.out).object().value(QStringLiteral("results")).toArray();
    ASSERT_EQ(results.size(), 1) << r.out.toStdString();
    EXPECT_EQ(results[0].toObject().value(QStringLiteral("query")).toString(), shared);
  }
}
#endif

TEST(CliTest, PeerTextCannotReachTheTerminalAsControls) {
  EXPECT_EQ(cli::Printable("PC\x1b]0;x\x07\xff"), "PC\uFFFD]0;x\uFFFD\uFFFD");
  EXPECT_EQ(cli::Printable(std::string(300, 'A'), 8), "AAAAAAA\u2026");
  // Wide characters take two columns.
  EXPECT_EQ(cli::Table({{"漢字", "x"}, {"ABCDE", "y"}}), "漢字   x\nABCDE  y\n");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
