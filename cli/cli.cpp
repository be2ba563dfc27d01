// The subcommands: the listing engine, the share tree's engine and the
// companion library, driven from Qt Core's event loop with no widget.
#include "cli.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "assembly.h"
#include "causes.h"
#include "address.h"
#include "cli_args.h"
#include "cli_text.h"
#include "console.h"
#include "cp932.h"
#include "diagnosis.h"
#include "listing.h"
#include "mailbox.h"
#include "samba_conf.h"
#include "netresources.h"
#include "share_tree.h"
#include "smb_probe.h"

namespace cli {

namespace {

constexpr const char* kUsage =
    "Usage: mirelka [--json] [--timeout SECONDS] list [WORKGROUP]\n"
    "       mirelka [--json] [--timeout SECONDS] shares NAME|ADDRESS...\n"
    "       mirelka [--json] [--timeout SECONDS] resolve NAME|ADDRESS...\n"
    "       mirelka [--json] [--timeout SECONDS] [--allow-smb1 NAME] diagnose NAME|ADDRESS\n"
    "       mirelka --help | --version\n"
    "Without a subcommand the window opens.\n"
    "\n"
    "  list      the computers of a workgroup (browse list, WS-Discovery, DNS-SD);\n"
    "            without WORKGROUP, the one the window starts with\n"
    "  shares    each computer's shares, as the window's tree lists them; a\n"
    "            computer that refuses guests is opened with a Kerberos ticket\n"
    "            or the keyring's credentials, never a dialog\n"
    "  resolve   a name to its address or an address to its name, and how the\n"
    "            answer was found\n"
    "  diagnose  one computer layer by layer (name, TCP, SMB negotiate, logon,\n"
    "            share list) with the time each took; stops at the first that\n"
    "            fails and says what to do\n"
    "\n"
    "  --json            one JSON document on standard output (see mirelka(1))\n"
    "  --timeout SECONDS bound the whole command; what is unanswered then fails\n"
    "  --allow-smb1 NAME use SMB1 for that computer in this run (an old NAS that\n"
    "                    speaks nothing newer); NTLMv2 logons only\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 every name answered, 1 some did not (said on standard\n"
    "error), 2 the command line was refused.\n";

QString U(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }
// Bytes of code page 932 as text.
QString Q(const std::string& bytes) { return U(cp932::ToUtf8(bytes)); }
std::string Utf8(const std::string& bytes) { return cp932::ToUtf8(bytes); }

void Out(const std::string& text) { WriteText(stdout, text); }

void Err(const std::string& line) { WriteText(stderr, "mirelka: " + line + "\n"); }
// A failure's text (code page 932), a line of its own each: the library's
// missing entry points, say.
void ErrFailure(const base::Failure& failure) {
  const std::string text = cp932::ToUtf8(failure.text);
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) Err(text.substr(at, end - at));
  Err(text.substr(at));
}

void PrintJson(const QJsonObject& document) {
  Out(QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString());
}

// --timeout: at the bound, unless answered() says everything is in,
// expired() reports what is still unanswered and stop() ends the command's
// work under way (a helper is killed, a listing stops waiting), after which
// the command returns 1, or ends the process through EndNow.
class Deadline {
 public:
  explicit Deadline(std::optional<int> ms) {
    if (!ms) return;
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (answered && answered()) return;  // the last answer came in the same turn
      passed_ = true;
      if (expired) expired();
      if (stop) stop();
    });
    timer_.start(*ms);
  }
  std::function<bool()> answered;
  std::function<void()> expired;
  std::function<void()> stop;
  // The bound passed: what was unanswered has been said.
  bool Passed() const { return passed_; }

 private:
  QTimer timer_;
  bool passed_ = false;
};

// The bound is the user's: a companion call under way (a connection check
// or an address lookup, each up to 1.5 s) cannot be interrupted, so once
// what was unanswered is printed the process ends without waiting for it.
// The SMB helpers serving requests are killed first; idle ones end when
// their socket closes with the process.
[[noreturn]] void EndNow(netinfo::NetProvider* provider) {
  if (provider) provider->CancelAll();
  ExitNow(1);
}

// Workers hand their results to the main thread through a queue of ours,
// which ThreadSanitizer sees (base::Mailbox); set while Main runs.
base::Mailbox* mailbox = nullptr;

void Post(std::function<void()> fn) { mailbox->Post(std::move(fn)); }

const char* SourceName(netinfo::NameSource source) { return netinfo::NameSourceName(source); }

const char* OriginName(discovery::Origin origin) {
  switch (origin) {
    case discovery::Origin::BrowseList:
      return "browse-list";
    case discovery::Origin::WsDiscovery:
      return "ws-discovery";
    case discovery::Origin::DnsSd:
      return "dns-sd";
    case discovery::Origin::NodeStatus:
      break;
  }
  return "node-status";
}

// --- list ---------------------------------------------------------------

QJsonValue Field(const std::string& utf8) { return utf8.empty() ? QJsonValue() : QJsonValue(U(utf8)); }

QJsonObject DetailsJson(const discovery::Details& d) {
  QJsonArray names;
  for (const discovery::Details::NetbiosName& n : d.netbiosNames)
    names.append(QJsonObject{{"name", Q(n.name)}, {"type", n.type}, {"group", n.group}});
  return QJsonObject{
      {"manufacturer", Field(d.manufacturer)},       {"model", Field(d.model)}, {"friendlyName", Field(d.friendlyName)},
      {"presentationUrl", Field(d.presentationUrl)}, {"mac", Field(d.mac)},     {"netbiosNames", names}};
}

// A computer's name for output: the peer's own text where it sent one.
std::string ComputerText(const discovery::MergedComputer& c) { return c.text.empty() ? Utf8(c.name) : c.text; }

int ListOnce(const Options& options) {
  auto platform = std::make_unique<PlatformBackends>(Want{true, true, nullptr});
  // A browse read the listing left running still uses the provider: the
  // backends are then left to the process's end.
  struct KeepWhileRead {
    std::unique_ptr<PlatformBackends>& platform;
    ~KeepWhileRead() {
      if (discovery::Listing::ReadsRunning() > 0) static_cast<void>(platform.release());
    }
  } keep{platform};
  // The window's listing over the platform's backends; no pump but Qt's loop.
  ::Seams seams = platform->SeamsFor(nullptr);
  seams.sambaConfigPath = discovery::kSambaConfigPath;
  discovery::ListingDeps deps = ListingDepsFor(seams);
  deps.endWhenSettled = true;  // done when each source is, not at the window

  std::string workgroup;
  std::vector<std::string> captions;  // rows as they come, for a timeout
  Deadline deadline(options.timeoutMs);
  deadline.expired = [&] {
    Err("list: timed out after " + std::to_string(captions.size()) + " computers");
    if (options.json) {
      QJsonArray computers;
      for (const std::string& c : captions) computers.append(QJsonObject{{"name", Q(c)}});
      PrintJson({{"workgroup", Q(workgroup)}, {"complete", false}, {"computers", computers}});
    } else {
      for (const std::string& c : captions) Out(Printable(Utf8(c)) + "\n");
    }
  };
  // Created after the deadline, so that the engine goes first.
  discovery::Listing listing(std::move(deps));
  deadline.stop = [&listing, &platform] {
    listing.Abandon();
    platform->provider->CancelAll();  // a browse read's helper
  };
  workgroup = options.names.empty() ? listing.StartupWorkgroup() : options.names.front();
  if (deadline.Passed()) return 1;  // no search begins after the bound
  const base::Result<discovery::Listing::Found> listed =
      listing.List(workgroup, [&captions](const std::string& caption) { captions.push_back(caption); });
  if (deadline.Passed()) return 1;
  // No source could ask: nothing listed, and the status says why.
  const discovery::Listing::Found result =
      listed ? listed.value() : discovery::Listing::Found{Q(listed.failure().text), {}};

  if (options.json) {
    QJsonArray computers;
    for (const discovery::MergedComputer& c : result.computers) {
      QJsonArray addresses, sources;
      for (const std::string& a : c.addresses) addresses.append(U(a));
      for (const discovery::Origin o : c.origins) sources.append(QString::fromLatin1(OriginName(o)));
      QJsonObject row{{"name", U(ComputerText(c))},
                      {"address", c.addresses.empty() ? QJsonValue() : QJsonValue(U(c.addresses.front()))},
                      {"addresses", addresses},
                      {"workgroup", c.workgroup.empty() ? QJsonValue() : QJsonValue(Q(c.workgroup))},
                      {"sources", sources},
                      {"details", DetailsJson(c.details)}};
      computers.append(row);
    }
    PrintJson({{"workgroup", Q(workgroup)}, {"complete", true}, {"status", result.status}, {"computers", computers}});
  } else {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"NAME", "ADDRESS", "WORKGROUP", "MAC", "MODEL", "SOURCES"});
    for (const discovery::MergedComputer& c : result.computers) {
      std::string sources;
      for (const discovery::Origin o : c.origins) sources += (sources.empty() ? "" : ",") + std::string(OriginName(o));
      const discovery::Details& d = c.details;
      std::string model = d.manufacturer.empty() ? d.model
                          : d.model.empty()      ? d.manufacturer
                                                 : d.manufacturer + " " + d.model;
      if (model.empty()) model = d.friendlyName;
      rows.push_back({Printable(ComputerText(c), 64), c.addresses.empty() ? "-" : Printable(c.addresses.front()),
                      c.workgroup.empty() ? "-" : Printable(Utf8(c.workgroup), 64), d.mac.empty() ? "-" : d.mac,
                      model.empty() ? "-" : Printable(model, 40), sources});
    }
    if (!result.computers.empty()) Out(Table(rows));
  }
  if (!listed) {
    Err("list: no source could ask (" + result.status.toStdString() + ")");
    return 1;
  }
  if (result.computers.empty() && !options.json)
    Err("list: " + Printable(Utf8(workgroup)) + ": " + result.status.toStdString());
  return 0;
}

// A browse read still running ends within the provider's own bound (its
// helper is killed at the request's 5 s deadline, or at once when the
// timeout cancelled it); the process waits for it rather than end under
// it, since what it uses (the codec's tables, the provider) goes at exit.
constexpr int kReadEndMs = 6000;

int List(const Options& options) {
  const int code = ListOnce(options);
  EndAtOnceIfReadsRun(code, kReadEndMs);
  return code;
}

// --- shares -------------------------------------------------------------

// A row's cause in the locale's language, what to do, and the library's or
// the system's own word for it.
std::string FailureLine(const netinfo::FailureCause& failure, bool smb1Offered) {
  std::string line = causes::What(failure.cause, failure.detail).toStdString();
  const QString todo = causes::ToDo(failure.cause, false, smb1Offered);
  if (!todo.isEmpty()) line += ": " + todo.toStdString();
  if (!failure.detail.empty() && failure.cause != netinfo::Cause::kNameNotFound) line += " (" + failure.detail + ")";
  return line;
}

// Whether the command line allowed SMB1 for the computer named so.
bool AllowedSmb1(const Options& options, const std::string& name) {
  for (const std::string& allowed : options.allowSmb1)
    if (cp932::UpperAscii(allowed) == cp932::UpperAscii(name)) return true;
  return false;
}

// What shares and diagnose run on: the platform's provider with the logon
// sequence but no dialog (the keyring's questions come to this thread, which
// runs the loop), the companion library, and the share tree's steps with
// the probe and the SMB1 the command line allows.
struct ComputerWork {
  explicit ComputerWork(const Options& options) : platform(Want{true, false, &noDialog}), library(*platform.dynlib) {
    platform.prompt->Open(Post);
    steps = CompanionShareTreeSteps(library, [](const std::string& address) { return netinfo::ProbeSmb(address); });
    steps.allowSmb1 = [&options](const std::string& name, const netinfo::ResolvedHost&) {
      return AllowedSmb1(options, name);
    };
  }
  // The library loaded and bound, or its failure said.
  bool Loaded() {
    const base::Status loaded = LoadCompanion(library);
    if (!loaded) ErrFailure(loaded.failure());
    return loaded.ok();
  }
  NoDialog noDialog;
  PlatformBackends platform;
  netlib::CompanionLibrary library;
  netinfo::ShareTreeSteps steps;
};

// A listed computer's shares by name: the peer's own text where it sent one.
std::vector<std::string> ShareNames(const netinfo::ShareTreeRow& row) {
  const std::string node = cp932::RemoveBackslashes("\\\\" + row.name);
  const std::string nodeText = Utf8(node);
  std::vector<std::string> names;
  for (const netinfo::NamedResource& entry : row.shares.value_or({})) {
    const std::string text = netinfo::ShareName(entry.text, nodeText);
    names.push_back(text.empty() ? Utf8(netinfo::ShareName(entry.name, node)) : text);
  }
  return names;
}

// One computer as --json gives it; cause and error (the failure's line) only
// where its shares were not listed.
QJsonObject ComputerJson(const netinfo::ShareTreeRow& row, const std::string& typed,
                         const std::vector<std::string>& shareNames, const netinfo::FailureCause& cause,
                         const std::string& error) {
  QJsonArray shares;
  for (const std::string& name : shareNames) shares.append(QJsonObject{{"name", U(name)}});
  QJsonObject computer{{"name", U(typed)},
                       {"address", row.address ? QJsonValue(U(row.address->address)) : QJsonValue()},
                       {"source", row.address ? QJsonValue(SourceName(row.address->source)) : QJsonValue()},
                       {"listed", row.shares.ok()},
                       {"shares", shares}};
  if (!row.shares) {
    computer.insert("error", U(error));
    computer.insert("cause", netinfo::CauseCode(cause.cause));
    computer.insert("detail", U(cause.detail));
  }
  if (row.smb1) computer.insert("smb1", true);
  return computer;
}

// One listed computer as text: its name as typed, the address it was found
// at and how, then a share a line.
std::string ComputerBlock(const netinfo::ShareTreeRow& row, const std::string& typed,
                          const std::vector<std::string>& shareNames) {
  std::string block = "\\\\" + Printable(typed);
  if (row.address) block += "  " + row.address->address + " (" + SourceName(row.address->source) + ")";
  block += "\n";
  for (const std::string& name : shareNames) block += "  " + Printable(name) + "\n";
  return block;
}

int Shares(const Options& options) {
  ComputerWork work(options);
  if (!work.Loaded()) return 1;
  PlatformBackends& platform = work.platform;
  netinfo::ShareTreeSteps steps = work.steps;

  QJsonArray computers;
  size_t delivered = 0;
  int failed = 0;
  bool done = false;
  Deadline deadline(options.timeoutMs);
  deadline.answered = [&done] { return done; };
  deadline.expired = [&] {
    for (size_t i = delivered; i < options.names.size(); ++i) {
      Err("shares: " + Printable(options.typed[i]) + ": timed out");
      computers.append(QJsonObject{{"name", U(options.typed[i])}, {"listed", false}, {"error", "timed out"}});
    }
    if (options.json) PrintJson({{"complete", false}, {"computers", computers}});
  };

  netinfo::ShareTree tree(*platform.provider, std::move(steps), Post);
  QEventLoop loop;
  deadline.stop = [&platform] { EndNow(platform.provider.get()); };
  netinfo::ShareTree::Callbacks callbacks;
  callbacks.row = [&](const netinfo::ShareTreeRow& row) {
    ++delivered;
    const std::string& typed = options.typed[row.row];
    const netinfo::FailureCause cause = row.shares ? netinfo::FailureCause{} : netinfo::CauseOf(row.shares.failure());
    const std::string error = row.shares ? std::string() : FailureLine(cause, platform.provider->CanAllowSmb1());
    const std::vector<std::string> shareNames = ShareNames(row);
    computers.append(ComputerJson(row, typed, shareNames, cause, error));
    if (!row.shares) {
      ++failed;
      Err("shares: " + Printable(typed) + ": " + Printable(error));
    } else if (!options.json) {
      Out(ComputerBlock(row, typed, shareNames));
    }
  };
  callbacks.done = [&loop, &done] {
    done = true;
    loop.quit();
  };
  if (!tree.Start(options.names, std::move(callbacks))) return 1;
  loop.exec();
  if (options.json) PrintJson({{"complete", true}, {"computers", computers}});
  return failed ? 1 : 0;
}

// --- diagnose -----------------------------------------------------------

int Diagnose(const Options& options) {
  ComputerWork work(options);
  if (!work.Loaded()) return 1;
  PlatformBackends& platform = work.platform;
  const netinfo::ShareTreeSteps& steps = work.steps;
  const bool smb1Offer = platform.provider->CanAllowSmb1();
  // The layers run on a worker; this thread runs the loop the keyring's
  // questions come to.
  QEventLoop loop;
  std::optional<netinfo::Diagnosis> result;
  Deadline deadline(options.timeoutMs);
  deadline.answered = [&result] { return result.has_value(); };
  deadline.expired = [&] {
    Err("diagnose: " + Printable(options.typed[0]) + ": timed out");
    if (options.json) PrintJson({{"name", U(options.typed[0])}, {"complete", false}});
  };
  deadline.stop = [&platform] { EndNow(platform.provider.get()); };
  std::thread worker([&] {
    netinfo::Diagnosis d = netinfo::Diagnose(*platform.provider, steps, options.names[0]);
    Post([&loop, &result, d = std::move(d)]() mutable {
      result = std::move(d);
      loop.quit();
    });
  });
  loop.exec();
  worker.join();
  const netinfo::Diagnosis& d = *result;
  const QStringList lines = causes::DiagnosisLines(d, false, smb1Offer);
  if (options.json) {
    QJsonArray layers;
    for (size_t i = 0; i < d.layers.size(); ++i)
      layers.append(QJsonObject{{"layer", netinfo::LayerName(d.layers[i].layer)},
                                {"ok", d.layers[i].ok},
                                {"ms", d.layers[i].ms},
                                {"text", causes::LayerText(d, d.layers[i])}});
    QJsonObject out{{"name", U(options.typed[0])},
                    {"complete", true},
                    {"address", d.address ? QJsonValue(U(d.address->address)) : QJsonValue()},
                    {"layers", layers},
                    {"listed", d.listed},
                    {"shares", static_cast<qint64>(d.shares.size())}};
    if (d.probe.reach == netinfo::SmbReach::kSmb2 || d.probe.reach == netinfo::SmbReach::kSmb1Only) {
      out.insert("dialect", QStringLiteral("0x%1").arg(d.probe.dialect, 4, 16, QLatin1Char('0')));
      out.insert("signingRequired", d.probe.signingRequired);
    }
    if (d.failure.cause != netinfo::Cause::kNone) {
      out.insert("cause", netinfo::CauseCode(d.failure.cause));
      out.insert("detail", U(d.failure.detail));
      out.insert("error", lines[lines.size() - 2] + QStringLiteral(": ") + lines.last());
    }
    PrintJson(out);
  } else {
    Out("\\\\" + Printable(options.typed[0]) + "\n");
    for (const QString& line : lines) Out("  " + Printable(line.toStdString(), 400) + "\n");
  }
  return d.listed ? 0 : 1;
}

// --- resolve ------------------------------------------------------------

struct Answer {
  bool done = false;
  bool ok = false;
  std::string name, address;  // code page 932 bytes / dotted
  std::optional<netinfo::NameSource> source;
  bool confirmed = false;  // an address's name leads back to it
  std::string error;
};

// One query through the library: an address to its name, then that name
// forward to say how it is found; a name to its address.
Answer Resolve(const netlib::CompanionLibrary& library, const std::string& query) {
  Answer a;
  if (mirelka::ParseDotted(query)) {
    a.address = query;
    const base::Result<std::string> name = netlib::Convert(library.iptoname, query);
    if (!name) {
      a.error = causes::LookupFailure(name.failure().code, true, query).toStdString();
      return a;
    }
    a.ok = true;
    a.name = *name;
    if (const base::Result<netinfo::ResolvedHost> back = netlib::ResolveName(library, a.name)) {
      a.source = back->source;
      a.confirmed = back->address == query;
    }
    return a;
  }
  a.name = query;
  // The failure carries the library's reason: no second call to learn it.
  const base::Result<netinfo::ResolvedHost> host = netlib::ResolveName(library, query);
  if (host) {
    a.ok = true;
    a.address = host->address;
    a.source = host->source;
    a.confirmed = true;
  } else {
    a.error = causes::LookupFailure(host.failure().code, false, query).toStdString();
  }
  return a;
}

int ResolveAll(const Options& options) {
  PlatformBackends platform(Want{false, false, nullptr});
  netlib::CompanionLibrary library(*platform.dynlib);
  if (const base::Status loaded = LoadCompanion(library); !loaded) {
    ErrFailure(loaded.failure());
    return 1;
  }
  const size_t count = options.names.size();
  std::vector<Answer> answers(count);
  size_t left = count;
  QEventLoop loop;

  auto print = [&](bool complete) {
    int failed = 0;
    QJsonArray results;
    std::vector<std::vector<std::string>> rows{{"QUERY", "NAME", "ADDRESS", "FOUND BY"}};
    for (size_t i = 0; i < count; ++i) {
      const Answer& a = answers[i];
      const std::string typed = options.typed[i];
      const std::string error = !a.done ? "timed out" : a.ok ? std::string() : a.error;
      QJsonObject row{{"query", U(typed)},
                      {"ok", a.done && a.ok},
                      {"name", a.ok ? QJsonValue(Q(a.name)) : QJsonValue()},
                      {"address", a.ok ? QJsonValue(U(a.address)) : QJsonValue()},
                      {"source", a.ok && a.source ? QJsonValue(SourceName(*a.source)) : QJsonValue()},
                      {"confirmed", a.ok && a.confirmed}};
      if (!error.empty()) {
        ++failed;
        row.insert("error", U(error));
        Err("resolve: " + Printable(typed) + ": " + Printable(error));
      } else {
        std::string by = a.source ? SourceName(*a.source) : "-";
        if (!a.confirmed) by += " (does not lead back)";
        rows.push_back({Printable(typed), Printable(Utf8(a.name)), a.address, by});
      }
      results.append(row);
    }
    if (options.json)
      PrintJson({{"complete", complete}, {"results", results}});
    else if (rows.size() > 1)
      Out(Table(rows));
    return failed;
  };
  Deadline deadline(options.timeoutMs);
  deadline.answered = [&left] { return left == 0; };
  deadline.expired = [&] { print(false); };
  deadline.stop = [] { EndNow(nullptr); };

  // A few queries at once: each is bounded by the library, most of their
  // time is waiting.
  std::atomic<size_t> next{0};
  std::vector<std::thread> workers;
  for (size_t w = 0; w < std::min<size_t>(count, netinfo::kShareTreeWorkers); ++w) {
    workers.emplace_back([&] {
      for (size_t i = next++; i < count; i = next++) {
        Answer a = Resolve(library, options.names[i]);
        a.done = true;
        Post([&answers, &left, &loop, i, a = std::move(a)]() mutable {
          answers[i] = std::move(a);
          if (--left == 0) loop.quit();
        });
      }
    });
  }
  if (left > 0) loop.exec();
  for (std::thread& w : workers) w.join();
  return print(true) ? 1 : 0;
}

}  // namespace

bool Requested(int argc, char** argv) { return WantsCommandLine(Arguments(argc, argv)); }

int Main(int argc, char** argv) {
  AttachParentConsole();
  const Parsed parsed = Parse(Arguments(argc, argv));
  if (!parsed.options) {
    Err(parsed.error);
    return 2;
  }
  const Options& options = *parsed.options;
  if (options.command == Command::kHelp) {
    Out(kUsage);
    return 0;
  }
  if (options.command == Command::kVersion) {
    Out(std::string("mirelka ") + MIRELKA_VERSION + "\n");
    return 0;
  }
  // Qt's own options are not taken from a subcommand's arguments.
  int qtArgc = 1;
  QCoreApplication app(qtArgc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Mirelka"));
  // One language per line: the locale's, where there is a translation.
  causes::InstallTranslation(causes::JapaneseLocale());
  base::Mailbox posted;
  mailbox = &posted;
  struct Unset {
    ~Unset() { mailbox = nullptr; }
  } unset;
  switch (options.command) {
    case Command::kList:
      return List(options);
    case Command::kShares:
      return Shares(options);
    case Command::kResolve:
      return ResolveAll(options);
    case Command::kDiagnose:
      return Diagnose(options);
    default:
      return 2;
  }
}

}  // namespace cli
