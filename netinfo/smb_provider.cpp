// The network provider on Linux: every libsmbclient call runs in a helper
// process (mirelka-smb, smb_pool.h), one request per logon attempt. The whole
// child list of a container is fetched when it is opened and handed out one
// record per call.
//
//   ""           (provider "Microsoft Windows Network" or "")  -> workgroups, bare names
//   "WORKGROUP"  -> its computers as "\\NAME"
//   "\\NAME"     -> its disk and print shares as "\\NAME\SHARE", hidden "$" shares left out
//
// Browsing a workgroup needs SMB1 on both ends, so its request allows NT1
// alone; over SMB2 the browse list comes back empty and claims success.
// Share listing uses the library's default protocols.
//
// The logon sequence and its trust rules stay here (Authenticator): a helper
// makes only the one attempt it is handed. Listings from several threads run
// in as many helpers at once, so a silent or hung server holds one helper
// for at most the request deadline, and a crash inside the library ends one
// helper and fails one row.
#include <netdb.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "address.h"
#include "cp932_codec.h"
#include "failure_cause.h"
#include "krb5_cache.h"
#include "netprovider.h"
#include "smb_auth.h"
#include "smb_pool.h"

#ifndef MIRELKA_HELPER_FROM_BIN
#define MIRELKA_HELPER_FROM_BIN "../lib/mirelka"
#endif

namespace netinfo {
namespace {

using smbwire::LogonKind;
using smbwire::Target;

struct Container {
  std::optional<Target> target;
  std::string name;  // code page 932, no backslashes
};

Container Classify(const char* remote) {
  const std::string text = remote ? remote : "";
  if (text.empty()) return {Target::kNetwork, {}};
  if (text.size() > 2 && text.compare(0, 2, "\\\\") == 0) {
    const std::string server = text.substr(2);
    if (cp932::RemoveBackslashes(server) == server) return {Target::kServer, server};
    return {};
  }
  if (cp932::RemoveBackslashes(text) == text) return {Target::kWorkgroup, text};
  return {};
}

uint32_t ErrorFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case ENETUNREACH:
    case ENETDOWN:
      return kErrorNoNetwork;
    case ENOENT:
    case ENODEV:
    case EINVAL:
    case ENOTDIR:
      return kErrorBadNetName;
    case ECONNREFUSED:
    case ETIMEDOUT:
    default:
      return kErrorBadNetPath;
  }
}

// The name a Kerberos ticket can be asked for: a ticket is for a computer's
// DNS name, never for an address, and a computer known only by its NetBIOS
// name is in no realm. None for a dotted address; a dotted name as it is,
// else the canonical name the system's resolver gives; empty when there is
// none with a dot. (Asked for smb://NAME without a dot, the library also
// first looks NAME up as a workgroup by broadcast, which costs about half a
// second.)
std::string DnsName(const std::string& name) {
  if (mirelka::ParseDotted(name)) return {};
  if (name.find('.') != std::string::npos) return name;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return {};
  std::string canonical = found->ai_canonname ? found->ai_canonname : "";
  freeaddrinfo(found);
  return canonical.find('.') != std::string::npos ? canonical : std::string();
}

// The address of a server name: a dotted address as it is, else the owner's
// resolver. Its answer is taken only in the strict dotted form.
std::optional<ResolvedHost> AddressOf(const std::string& name, const HostLookup& lookup) {
  if (mirelka::ParseDotted(name)) return ResolvedHost{name, NameSource::kDotted};
  if (!lookup.resolve) return std::nullopt;
  std::optional<ResolvedHost> answer = lookup.resolve(name);
  if (!answer || !mirelka::ParseDotted(answer->address)) return std::nullopt;
  return answer;
}

struct Enumeration {
  std::vector<smbwire::Record> entries;
  size_t next = 0;
};

// Why the calling thread's last open failed, and the logon attempts it made.
thread_local FailureCause lastCause;
thread_local std::vector<AttemptOutcome> lastAttempts;

// A request the pool could not serve: the helper died, overran or could not
// start. One that overran was waiting on the server, which stalled.
FailureCause PoolCause(const HelperOutcome& outcome) {
  if (outcome.failure == HelperFailure::kNone) return {};
  return {outcome.failure == HelperFailure::kDeadline ? Cause::kStalled : Cause::kHelperFailed, outcome.cause};
}

// Fills in how a request logs on. In place: the password is copied once,
// into the request that wipes it.
void SetLogon(const Logon& logon, smbwire::Request* request) {
  switch (logon.kind) {
    case Logon::Kind::kKerberos:
      request->logon = LogonKind::kKerberos;
      break;
    case Logon::Kind::kPassword:
      request->logon = LogonKind::kPassword;
      request->workgroup = logon.workgroup;
      request->user = logon.user;
      if (logon.password) request->password = logon.password->bytes();
      break;
    case Logon::Kind::kAnonymous:
      request->logon = LogonKind::kAnonymous;
      break;
  }
}

AttemptOutcome::Way WayOf(Logon::Kind kind) {
  return kind == Logon::Kind::kKerberos   ? AttemptOutcome::Way::kTicket
         : kind == Logon::Kind::kPassword ? AttemptOutcome::Way::kPassword
                                          : AttemptOutcome::Way::kAnonymous;
}

class HelperProvider final : public NetProvider {
 public:
  HelperProvider(std::string helperPath, SmbPoolOptions options) : pool_(std::move(helperPath), options) {}

  void SetHostLookup(HostLookup lookup) override { lookup_ = std::move(lookup); }
  void SetLogin(Authenticator* login) override { login_ = login ? login : &own_; }

  uint32_t OpenEnum(uint32_t scope, uint32_t type, uint32_t usage, const NetResource& container,
                    Handle* handle) override {
    return OpenEnumWith(lookup_, scope, type, usage, container, handle);
  }

  uint32_t OpenEnumWith(const HostLookup& lookup, uint32_t, uint32_t, uint32_t, const NetResource& container,
                        Handle* handle) override {
    lastCause = {};
    lastAttempts.clear();
    if (!handle) return kErrorInvalidParameter;
    *handle = nullptr;
    const std::string provider = container.lpProvider ? container.lpProvider : "";
    if (!provider.empty() && provider != kWindowsNetwork) return kErrorBadProvider;
    const Container target = Classify(container.lpRemoteName);
    if (!target.target) return kErrorBadNetName;
    auto enumeration = std::make_unique<Enumeration>();
    const uint32_t result = *target.target == Target::kServer ? ListShares(target.name, lookup, enumeration.get())
                                                              : Browse(target, enumeration.get());
    if (result != kNoError) return result;
    *handle = enumeration.release();
    return kNoError;
  }

  uint32_t EnumResource(Handle handle, uint32_t* count, void* buffer, uint32_t* bufferSize) override {
    if (!handle) return kErrorInvalidHandle;
    if (!count || !bufferSize) return kErrorInvalidParameter;
    auto* enumeration = static_cast<Enumeration*>(handle);
    if (enumeration->next >= enumeration->entries.size()) return kErrorNoMoreItems;
    const smbwire::Record& entry = enumeration->entries[enumeration->next];
    NetResource fields;
    fields.dwScope = kResourceGlobalNet;
    fields.dwType = entry.type;
    fields.dwDisplayType = entry.displayType;
    fields.dwUsage = entry.usage;
    const uint32_t result = WriteRecord(fields, nullptr, entry.remoteName.c_str(), nullptr, kWindowsNetwork, buffer,
                                        bufferSize, entry.remoteText.c_str());
    if (result != kNoError) return result;
    *count = 1;
    ++enumeration->next;
    return kNoError;
  }

  uint32_t CloseEnum(Handle handle) override {
    if (!handle) return kErrorInvalidHandle;
    delete static_cast<Enumeration*>(handle);
    return kNoError;
  }

  FailureCause LastFailureCause() const override { return lastCause; }
  bool CanAllowSmb1() const override { return true; }
  void Prepare(size_t count) override { pool_.Prestart(count); }
  std::vector<AttemptOutcome> LastAttempts() const override { return lastAttempts; }
  void CancelAll() override { pool_.CancelAll(); }

 private:
  // One request; 0 or an errno. A failure in the pool (no helper, a helper
  // that died, overran or wrote garbage) is never a refusal, so the logon
  // sequence ends with it rather than moving on to the next way.
  // What the server said of a failure goes to *status.
  int Ask(smbwire::Request& request, Enumeration* out, std::string* status = nullptr) {
    HelperOutcome outcome = pool_.Run(request);
    request.Wipe();
    if (outcome.failure != HelperFailure::kNone) {
      lastCause = PoolCause(outcome);
      return outcome.reply.error ? outcome.reply.error : EIO;
    }
    if (status) *status = outcome.reply.status;
    if (outcome.reply.error != 0) return outcome.reply.error;
    out->entries = std::move(outcome.reply.records);
    return 0;
  }

  // The network's workgroups or a workgroup's computers, from the browse list.
  uint32_t Browse(const Container& target, Enumeration* out) {
    smbwire::Request request;
    request.target = *target.target;
    request.browse = true;
    request.host = cp932::ToUtf8(target.name);
    request.name = target.name;
    std::string status;
    const int error = Ask(request, out, &status);
    if (error != 0 && lastCause.cause == Cause::kNone)
      lastCause = {Cause::kFailed, status.empty() ? ErrnoName(error) : status};
    return error == 0 ? kNoError : ErrorFromErrno(error);
  }

  // The shares of the server name (code page 932), logged on to through the
  // logon sequence; its attempts are kept for LastAttempts.
  uint32_t ListShares(const std::string& name, const HostLookup& lookup, Enumeration* out) {
    // The server is named by its address: asked for smb://NAME, the library
    // first looks the name up as a master browser and a domain, by
    // broadcast, which costs about half a second for every computer.
    const std::optional<ResolvedHost> where = AddressOf(name, lookup);
    if (!where) return kErrorBadNetName;
    const std::string& host = where->address;
    // The library's own connect waits about 5 s for a silent host before the
    // request timeout even starts; the owner's bounded check fails it early.
    if (lookup.reachable && !lookup.reachable(host)) {
      lastCause = {Cause::kNoAnswer, {}};
      return kErrorBadNetPath;
    }
    const std::string utf8 = cp932::ToUtf8(name);
    const std::string realmName = HasKerberosTicketCache() ? DnsName(utf8) : std::string();
    std::vector<AttemptOutcome> attempts;
    bool heldBack = false;
    const auto attempt = [&](const Logon& logon) {
      smbwire::Request request;
      request.target = Target::kServer;
      SetLogon(logon, &request);
      request.smb1 = lookup.allowSmb1;
      request.name = name;
      request.host = logon.kind == Logon::Kind::kKerberos ? realmName : host;
      AttemptOutcome tried = AskOn445Then139(request, out);
      tried.way = WayOf(logon.kind);
      attempts.push_back(tried);
      return tried.error;
    };
    const int error = login_->Open(utf8, *where, !realmName.empty(), attempt, &heldBack);
    lastAttempts = attempts;
    if (error == 0) return kNoError;
    out->entries.clear();
    // A helper that failed has said why already; else the attempts say it.
    if (lastCause.cause == Cause::kNone) lastCause = ClassifyAttempts(attempts, heldBack);
    return NeedsCredentials(error) ? kErrorAccessDenied : ErrorFromErrno(error);
  }

  // One logon attempt on port 445 alone, then on 139 if 445 is refused: the
  // library would wait about 5 s on each of 445 and 139 for a silent host. A
  // host that refuses 445 is alive and may speak on 139.
  AttemptOutcome AskOn445Then139(smbwire::Request& request, Enumeration* out) {
    smbwire::Request on139 = request;
    request.port = 445;
    on139.port = 139;
    AttemptOutcome tried;
    tried.error = Ask(request, out, &tried.status);
    if (tried.error == ECONNREFUSED) tried.error = Ask(on139, out, &tried.status);
    on139.Wipe();
    return tried;
  }

  SmbHelperPool pool_;
  HostLookup lookup_;
  Authenticator own_{nullptr, nullptr};  // ticket and guest only
  Authenticator* login_ = &own_;
};

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string text(path, static_cast<size_t>(n));
  const size_t slash = text.rfind('/');
  return slash == std::string::npos ? "." : text.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

std::string DefaultHelperPath() {
  const std::string folder = ProgramFolder();
  const std::string installed = folder + "/" MIRELKA_HELPER_FROM_BIN "/mirelka-smb";
  if (access(installed.c_str(), X_OK) == 0) return installed;
  return folder + "/mirelka-smb";
}

std::unique_ptr<NetProvider> MakeHelperNetProvider(std::string helperPath, SmbPoolOptions options) {
  return std::make_unique<HelperProvider>(std::move(helperPath), options);
}

std::unique_ptr<NetProvider> MakePlatformNetProvider() { return MakeHelperNetProvider(DefaultHelperPath()); }

}  // namespace netinfo
