// The network provider over libsmbclient. The whole child list of a container
// is fetched when it is opened and handed out one record per call.
//
//   ""           (provider "Microsoft Windows Network" or "")  -> workgroups, bare names
//   "WORKGROUP"  -> its computers as "\\NAME"
//   "\\NAME"     -> its disk and print shares as "\\NAME\SHARE", hidden "$" shares left out
//
// Browsing a workgroup needs SMB1 on both ends, so it gets a context that
// allows NT1; over SMB2 the browse list comes back empty and claims success.
// Share listing uses the library's default protocols.
//
// Threads: listings are asked from several threads (the share tree's
// workers), each with a context of its own, but the library is entered by one
// thread at a time: every call that makes, uses or frees a context holds one
// lock. Debian's 4.17 library is not safe to enter from two threads at once
// even with thread functions and a context each: its logon layer sets itself
// up on first use without a lock (a second first logon finds no SPNEGO and is
// refused with EINVAL), its string converters are shared (an RPC bind now and
// then fails to convert), and its logons take talloc references on one shared
// list of mechanisms, which ended in talloc aborting (and a SIGSEGV) about
// once in 150 runs of 100 listings. The workers still overlap what costs time
// on a LAN with silent computers: name lookups and connection checks, which
// the owner's steps do outside the library, and a silent host never reaches
// it. The library's per-call memory frames follow the calling thread when it
// is given thread functions before its first context (what smbc_thread_posix
// does; Debian's 4.17 library declares that call but does not export it, so
// the same POSIX functions are handed to the helper library it uses, found at
// run time, when the library is a 4.x); where they cannot be set, whole
// listings take the listing lock one at a time.
#include <dlfcn.h>
#include <libsmbclient.h>
#include <netdb.h>
#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "address.h"
#include "cp932_codec.h"
#include "krb5_cache.h"
#include "netprovider.h"
#include "smb_auth.h"

namespace netinfo {
namespace {

// Each request to a server may take this long; with the connect it stays
// within the 5 s that an unanswering host may cost.
constexpr int kTimeoutMs = 4000;

enum class Level { kNetwork, kWorkgroup, kServer, kNone };

struct Target {
  Level level = Level::kNone;
  std::string name;  // code page 932, no backslashes
};

Target Classify(const char* remote) {
  const std::string text = remote ? remote : "";
  if (text.empty()) return {Level::kNetwork, {}};
  if (text.size() > 2 && text.compare(0, 2, "\\\\") == 0) {
    const std::string server = text.substr(2);
    if (cp932::RemoveBackslashes(server) == server) return {Level::kServer, server};
    return {};
  }
  if (cp932::RemoveBackslashes(text) == text) return {Level::kWorkgroup, text};
  return {};
}

// Every byte but the unreserved ones of a URL as %XX.
std::string PercentEncode(const std::string& utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
        b == '_' || b == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  return out;
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
// none with a dot. (Asked for
// smb://NAME without a dot, the library also first looks NAME up as a
// workgroup by broadcast, which costs about half a second.)
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

// Hands the library the logon of the attempt under way (the context's user
// data). Names that do not fit are never cut: the attempt is refused before.
void LogonAuth(SMBCCTX* ctx, const char*, const char*, char* workgroup, int workgroupLength, char* user, int userLength,
               char* password, int passwordLength) {
  const auto* logon = static_cast<const Logon*>(smbc_getOptionUserData(ctx));
  auto put = [](char* buffer, int length, const std::string& text) {
    if (length <= 0) return;
    const size_t n = std::min(text.size(), static_cast<size_t>(length) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
  };
  if (!logon || logon->kind == Logon::Kind::kAnonymous) {
    // No user, no password; the library tries guest by itself when
    // anonymous is refused.
    put(user, userLength, {});
    put(password, passwordLength, {});
    return;
  }
  if (logon->kind == Logon::Kind::kKerberos) {
    // The ticket names the user; no password is sent.
    put(password, passwordLength, {});
    return;
  }
  if (!logon->workgroup.empty()) put(workgroup, workgroupLength, logon->workgroup);
  put(user, userLength, logon->user);
  if (logon->password) put(password, passwordLength, logon->password->bytes());
}

void DiscardLog(void*, int, const char*) {}

// The thread functions the library's helper layer takes, in the order of
// smbc_thread_impl's parameters: mutexes, then thread-local storage.
struct ThreadFunctions {
  int (*createMutex)(const char*, void**, const char*);
  void (*destroyMutex)(void*, const char*);
  int (*lockMutex)(void*, int, const char*);
  int (*createTls)(const char*, void**, const char*);
  void (*destroyTls)(void**, const char*);
  int (*setTls)(void*, const void*, const char*);
  void* (*getTls)(void*, const char*);
};

const ThreadFunctions kPosixThreads = {
    [](const char*, void** lock, const char*) {
      auto* mutex = new pthread_mutex_t;
      if (pthread_mutex_init(mutex, nullptr) != 0) {
        delete mutex;
        return -1;
      }
      *lock = mutex;
      return 0;
    },
    [](void* lock, const char*) {
      if (!lock) return;
      pthread_mutex_destroy(static_cast<pthread_mutex_t*>(lock));
      delete static_cast<pthread_mutex_t*>(lock);
    },
    [](void* lock, int type, const char*) {
      auto* mutex = static_cast<pthread_mutex_t*>(lock);
      if (type == 1) return pthread_mutex_lock(mutex);
      if (type == 2) return pthread_mutex_unlock(mutex);
      return -1;
    },
    [](const char*, void** key, const char*) {
      if (*key) return 0;  // made once
      auto* made = new pthread_key_t;
      if (pthread_key_create(made, nullptr) != 0) {
        delete made;
        return -1;
      }
      *key = made;
      return 0;
    },
    [](void** key, const char*) {
      if (!key || !*key) return;
      pthread_key_delete(*static_cast<pthread_key_t*>(*key));
      delete static_cast<pthread_key_t*>(*key);
      *key = nullptr;
    },
    [](void* key, const void* value, const char*) {
      return key ? pthread_setspecific(*static_cast<pthread_key_t*>(key), value) : -1;
    },
    // Asked before its key is made (a frame looked for before the first one
    // is made): nothing there yet.
    [](void* key, const char*) { return key ? pthread_getspecific(*static_cast<pthread_key_t*>(key)) : nullptr; },
};

// Whether the table above is laid out as this library reads it: the
// library's own version (smbc_version, "4.17.12-Debian") is a 4.x, whose
// helper layer takes these seven functions in this order (the order of
// smbc_thread_impl's parameters, unchanged in every 4.x). Another major
// version is not trusted with it.
bool ThreadTableKnown(const char* version) {
  int major = 0;
  int minor = 0;
  return version && std::sscanf(version, "%d.%d", &major, &minor) == 2 && major == 4;
}

// Whether the library has its thread functions; set once, before any context.
bool LibraryThreadsReady() {
  static const bool ready = [] {
    if (!ThreadTableKnown(smbc_version())) return false;
    using SetFunctions = int (*)(const ThreadFunctions*);
    // Loaded with the client library, whose own symbols resolve through it.
    const auto set = reinterpret_cast<SetFunctions>(dlsym(RTLD_DEFAULT, "smb_thread_set_functions"));
    return set && set(&kPosixThreads) == 0;
  }();
  return ready;
}

// Held by every call into the library: making, using and freeing contexts
// and the process-wide settings.
std::mutex& LibraryLock() {
  static std::mutex lock;
  return lock;
}

// Held shared by every listing and exclusively while the process-wide
// protocol range changes; without thread functions, exclusively by every
// listing.
std::shared_mutex& ListingLock() {
  static std::shared_mutex lock;
  return lock;
}

class Context {
 public:
  // port 0: the library's choice (445, then 139 after a timeout).
  Context(bool browse, uint16_t port) {
    const bool threads = LibraryThreadsReady();
    // A browse context changes the range every share listing reads.
    if (browse || !threads)
      exclusive_ = std::unique_lock<std::shared_mutex>(ListingLock());
    else
      shared_ = std::shared_lock<std::shared_mutex>(ListingLock());
    const std::lock_guard<std::mutex> setup(LibraryLock());
    ctx_ = smbc_new_context();
    if (!ctx_) return;
    smbc_setPort(ctx_, port);
    smbc_setDebug(ctx_, 0);
    smbc_setLogCallback(ctx_, nullptr, DiscardLog);
    smbc_setTimeout(ctx_, kTimeoutMs);
    smbc_setFunctionAuthDataWithContext(ctx_, LogonAuth);
    smbc_setOptionNoAutoAnonymousLogin(ctx_, false);
    Apply(Logon{});
    // The protocol range is process-wide in the library, so every context
    // sets its own; share listing keeps the library's default range. The
    // bound that widens the range goes first: a minimum above the current
    // maximum makes the context fail to start.
    // The range is set only when it changes: a share listing on another
    // thread reads it meanwhile.
    static bool browseRange = true;  // under LibraryLock; the library's default allows NT1
    static bool rangeSet = false;
    if (!rangeSet || browseRange != browse) {
      if (browse) {
        smbc_setOptionProtocols(ctx_, "NT1", nullptr);
        smbc_setOptionProtocols(ctx_, nullptr, "NT1");
      } else {
        smbc_setOptionProtocols(ctx_, nullptr, "SMB3");
        smbc_setOptionProtocols(ctx_, "SMB2_02", nullptr);
      }
      browseRange = browse;
      rangeSet = true;
    }
    if (!smbc_init_context(ctx_)) {
      smbc_free_context(ctx_, 1);
      ctx_ = nullptr;
    }
  }
  ~Context() {
    const std::lock_guard<std::mutex> setup(LibraryLock());
    if (ctx_) smbc_free_context(ctx_, 1);
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  SMBCCTX* get() const { return ctx_; }

  // The next connection logs on so; connections made before are dropped,
  // so a server refused to one logon is not reused for the next.
  void Use(const Logon& logon) {
    const std::lock_guard<std::mutex> lock(LibraryLock());
    Apply(logon);
  }

 private:
  void Apply(const Logon& logon) {  // under LibraryLock
    if (!ctx_) return;
    smbc_getFunctionPurgeCachedServers(ctx_)(ctx_);
    logon_ = logon;
    smbc_setOptionUserData(ctx_, &logon_);
    const bool kerberos = logon.kind == Logon::Kind::kKerberos;
    smbc_setOptionUseKerberos(ctx_, kerberos);
    // Never the library's own NTLM try after a refused ticket: that would
    // send a hash to a computer the ticket did not identify, past the
    // Authenticator's binding check. The Authenticator moves on by itself.
    smbc_setOptionFallbackAfterKerberos(ctx_, false);
    smbc_setOptionUseCCache(ctx_, kerberos);
    // A password logon that is refused must not turn into a guest one.
    smbc_setOptionNoAutoAnonymousLogin(ctx_, logon.kind != Logon::Kind::kAnonymous);
  }

  std::shared_lock<std::shared_mutex> shared_;
  std::unique_lock<std::shared_mutex> exclusive_;
  SMBCCTX* ctx_ = nullptr;
  Logon logon_;
};

struct Entry {
  NetResource fields;
  std::string remoteName;  // code page 932
  std::string remoteText;  // the same as the library gave it: UTF-8
};

struct Enumeration {
  std::vector<Entry> entries;
  size_t next = 0;
};

bool Hidden(const std::string& share) { return share.empty() || share.back() == '$'; }

// Turns one directory entry of the container into a child record, or false
// when the platform would not report it.
bool ChildOf(const Target& target, const smbc_dirent& dirent, Entry* entry) {
  const std::string name = cp932::FromUtf8Lossy(dirent.name);
  NetResource& f = entry->fields;
  f.dwScope = kResourceGlobalNet;
  switch (target.level) {
    case Level::kNetwork:
      if (dirent.smbc_type != SMBC_WORKGROUP || name.empty()) return false;
      f.dwType = kResourceTypeAny;
      f.dwDisplayType = kResourceDisplayTypeDomain;
      f.dwUsage = kResourceUsageContainer;
      entry->remoteName = name;
      entry->remoteText = dirent.name;
      return true;
    case Level::kWorkgroup:
      if (dirent.smbc_type != SMBC_SERVER || name.empty()) return false;
      f.dwType = kResourceTypeAny;
      f.dwDisplayType = kResourceDisplayTypeServer;
      f.dwUsage = kResourceUsageContainer;
      entry->remoteName = "\\\\" + name;
      entry->remoteText = std::string("\\\\") + dirent.name;
      return true;
    case Level::kServer:
      if (dirent.smbc_type != SMBC_FILE_SHARE && dirent.smbc_type != SMBC_PRINTER_SHARE) return false;
      if (Hidden(name)) return false;
      f.dwType = dirent.smbc_type == SMBC_PRINTER_SHARE ? kResourceTypePrint : kResourceTypeDisk;
      f.dwDisplayType = kResourceDisplayTypeShare;
      f.dwUsage = kResourceUsageConnectable;
      entry->remoteName = "\\\\" + target.name + "\\" + name;
      entry->remoteText = "\\\\" + cp932::ToUtf8(target.name) + "\\" + dirent.name;
      return true;
    case Level::kNone:
      break;
  }
  return false;
}

// Lists the container through the context; the errno of a failed open in
// *error. host is what the URL names: the container itself, or the server's
// address.
bool ListWith(Context& context, const Target& target, const std::string& host, uint16_t port, Enumeration* out,
              int* error) {
  SMBCCTX* ctx = context.get();
  if (!ctx) {
    *error = ENOMEM;
    return false;
  }
  const std::string url = "smb://" + PercentEncode(host);
  const std::lock_guard<std::mutex> lock(LibraryLock());
  smbc_setPort(ctx, port);
  errno = 0;
  SMBCFILE* dir = smbc_getFunctionOpendir(ctx)(ctx, url.c_str());
  if (!dir) {
    *error = errno ? errno : EIO;
    return false;
  }
  out->entries.clear();
  const auto readdir = smbc_getFunctionReaddir(ctx);
  while (const smbc_dirent* dirent = readdir(ctx, dir)) {
    Entry entry;
    if (ChildOf(target, *dirent, &entry)) out->entries.push_back(std::move(entry));
  }
  smbc_getFunctionClosedir(ctx)(ctx, dir);
  return true;
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

uint32_t ReadContainer(const Target& target, const HostLookup& lookup, Authenticator& login, Enumeration* out) {
  int error = 0;
  if (target.level != Level::kServer) {
    Context context(true, 0);
    return ListWith(context, target, cp932::ToUtf8(target.name), 0, out, &error) ? kNoError : ErrorFromErrno(error);
  }
  // The server is named by its address: asked for smb://NAME, the library
  // first looks the name up as a master browser and a domain, by broadcast,
  // which costs about half a second for every computer.
  const std::optional<ResolvedHost> where = AddressOf(target.name, lookup);
  if (!where) return kErrorBadNetName;
  const std::string& host = where->address;
  // The library's own connect waits about 5 s for a silent host before the
  // request timeout even starts; the owner's bounded check fails it early.
  if (lookup.reachable && !lookup.reachable(host)) return kErrorBadNetPath;
  const std::string name = cp932::ToUtf8(target.name);
  const std::string realmName = HasKerberosTicketCache() ? DnsName(name) : std::string();
  Context context(false, 445);
  error = login.Open(name, *where, !realmName.empty(), [&](const Logon& logon) {
    context.Use(logon);
    const std::string& url = logon.kind == Logon::Kind::kKerberos ? realmName : host;
    // Port 445 alone: the library would wait about 5 s on each of 445 and
    // 139 for a silent host. A host that refuses 445 is alive and may speak
    // on 139.
    int failure = 0;
    if (ListWith(context, target, url, 445, out, &failure)) return 0;
    if (failure == ECONNREFUSED && ListWith(context, target, url, 139, out, &failure)) return 0;
    return failure;
  });
  if (error == 0) return kNoError;
  out->entries.clear();
  return NeedsCredentials(error) ? kErrorAccessDenied : ErrorFromErrno(error);
}

class SmbProvider final : public NetProvider {
 public:
  void SetHostLookup(HostLookup lookup) override { lookup_ = std::move(lookup); }
  void SetLogin(Authenticator* login) override { login_ = login ? login : &own_; }

  uint32_t OpenEnum(uint32_t scope, uint32_t type, uint32_t usage, const NetResource& container,
                    Handle* handle) override {
    return OpenEnumWith(lookup_, scope, type, usage, container, handle);
  }

  uint32_t OpenEnumWith(const HostLookup& lookup, uint32_t, uint32_t, uint32_t, const NetResource& container,
                        Handle* handle) override {
    if (!handle) return kErrorInvalidParameter;
    *handle = nullptr;
    const std::string provider = container.lpProvider ? container.lpProvider : "";
    if (!provider.empty() && provider != kWindowsNetwork) return kErrorBadProvider;
    const Target target = Classify(container.lpRemoteName);
    if (target.level == Level::kNone) return kErrorBadNetName;
    auto enumeration = std::make_unique<Enumeration>();
    if (const uint32_t result = ReadContainer(target, lookup, *login_, enumeration.get()); result != kNoError)
      return result;
    *handle = enumeration.release();
    return kNoError;
  }

  uint32_t EnumResource(Handle handle, uint32_t* count, void* buffer, uint32_t* bufferSize) override {
    if (!handle) return kErrorInvalidHandle;
    if (!count || !bufferSize) return kErrorInvalidParameter;
    auto* enumeration = static_cast<Enumeration*>(handle);
    if (enumeration->next >= enumeration->entries.size()) return kErrorNoMoreItems;
    const Entry& entry = enumeration->entries[enumeration->next];
    const uint32_t result = WriteRecord(entry.fields, nullptr, entry.remoteName.c_str(), nullptr, kWindowsNetwork,
                                        buffer, bufferSize, entry.remoteText.c_str());
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

 private:
  HostLookup lookup_;
  Authenticator own_{nullptr, nullptr};  // ticket and guest only
  Authenticator* login_ = &own_;
};

}  // namespace

std::unique_ptr<NetProvider> MakePlatformNetProvider() { return std::make_unique<SmbProvider>(); }

}  // namespace netinfo
