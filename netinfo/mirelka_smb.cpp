// mirelka-smb: the one program of Mirelka that links libsmbclient. The
// window's process starts it (smb_pool.cpp) and hands it one request at a
// time over a socketpair, stdin and stdout by default (smb_wire.h); it makes
// the one logon attempt the request carries, lists the container and writes
// one reply. It is single-threaded, so the library is entered by one thread
// only, and a crash or a hang inside the library costs this process alone.
//
//   mirelka-smb [--fd N]   serve on descriptor N (both ways) instead
//
// It ends at the end of its input. It is hardened like the window: not
// dumpable, no core file, no descriptor inherited beyond the three standard
// ones, and a password kept only for the attempt it came with.
#include <fcntl.h>
#include <libsmbclient.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cp932_codec.h"
#include "netprovider.h"
#include "smb_wire.h"

namespace {

using netinfo::smbwire::LogonKind;
using netinfo::smbwire::Record;
using netinfo::smbwire::Reply;
using netinfo::smbwire::Request;
using netinfo::smbwire::Target;

// Each request to a server may take this long; with the connect it stays
// within the window's 5 s deadline for the whole request.
constexpr int kTimeoutMs = 4000;

void Harden(int keep) {
  const rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  // As in the window: LeakSanitizer needs ptrace, which an undumpable
  // process refuses, so sanitizer builds keep only the core limit.
#if defined(__SANITIZE_ADDRESS__)
  const bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  const bool sanitized = true;
#else
  const bool sanitized = false;
#endif
#else
  const bool sanitized = false;
#endif
  if (!sanitized) prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  // Nothing the window's process had open (sockets, the list file, the
  // keyring's bus) stays open here but the standard three and the channel.
  for (int fd = 3; fd < keep; ++fd) close(fd);
  if (syscall(SYS_close_range, static_cast<unsigned>(keep + 1), ~0U, 0U) != 0) {
    const long max = sysconf(_SC_OPEN_MAX);
    for (long fd = keep + 1; fd < (max > 0 ? max : 1024); ++fd) close(static_cast<int>(fd));
  }
  // A window that went away is seen as a failed write, not a signal.
  signal(SIGPIPE, SIG_IGN);
}

bool ReadAll(int fd, unsigned char* data, size_t size, bool* atEnd) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, data + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *atEnd = n == 0 && got == 0;
      return false;
    }
    got += static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t put = 0;
  while (put < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + put, bytes.size() - put);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    put += static_cast<size_t>(n);
  }
  return true;
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

// Hands the library the logon of the request under way (the context's user
// data). Names that do not fit are never cut: the window refuses them before.
void LogonAuth(SMBCCTX* ctx, const char*, const char*, char* workgroup, int workgroupLength, char* user, int userLength,
               char* password, int passwordLength) {
  const auto* request = static_cast<const Request*>(smbc_getOptionUserData(ctx));
  auto put = [](char* buffer, int length, const std::string& text) {
    if (length <= 0) return;
    const size_t n = std::min(text.size(), static_cast<size_t>(length) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
  };
  if (!request || request->logon == LogonKind::kAnonymous) {
    // No user, no password; the library tries guest by itself when
    // anonymous is refused.
    put(user, userLength, {});
    put(password, passwordLength, {});
    return;
  }
  if (request->logon == LogonKind::kKerberos) {
    // The ticket names the user; no password is sent.
    put(password, passwordLength, {});
    return;
  }
  if (!request->workgroup.empty()) put(workgroup, workgroupLength, request->workgroup);
  put(user, userLength, request->user);
  put(password, passwordLength, request->password);
}

void DiscardLog(void*, int, const char*) {}

// The library says why a step failed only in its debug log, at its most
// detailed level, where the status code it turned into an errno is written
// as "map_errno_from_nt_status: 32 bit codes: code=c000006d". The request
// keeps the last such code, by its name where it is one a listing meets.
// Nothing of the log is kept or written anywhere else. That level costs
// about 40 ms of formatting per listing, so it is asked for only where the
// status tells causes apart: a logon with a ticket or a password (refused,
// or logged on and the list denied). A guest or anonymous attempt that is
// refused needs a logon whatever the server's words.
constexpr int kStatusLogLevel = 10;

std::string StatusName(unsigned long code) {
  static const struct {
    unsigned long code;
    const char* name;
  } kNames[] = {
      {0xc0000022, "NT_STATUS_ACCESS_DENIED"},
      {0xc000006d, "NT_STATUS_LOGON_FAILURE"},
      {0xc000006a, "NT_STATUS_WRONG_PASSWORD"},
      {0xc0000234, "NT_STATUS_ACCOUNT_LOCKED_OUT"},
      {0xc0000071, "NT_STATUS_PASSWORD_EXPIRED"},
      {0xc0000224, "NT_STATUS_PASSWORD_MUST_CHANGE"},
      {0xc0000072, "NT_STATUS_ACCOUNT_DISABLED"},
      {0xc0000193, "NT_STATUS_ACCOUNT_EXPIRED"},
      {0xc000006f, "NT_STATUS_INVALID_LOGON_HOURS"},
      {0xc0000070, "NT_STATUS_INVALID_WORKSTATION"},
      {0xc000015b, "NT_STATUS_LOGON_TYPE_NOT_GRANTED"},
      {0xc00000cc, "NT_STATUS_BAD_NETWORK_NAME"},
      {0xc00000be, "NT_STATUS_BAD_NETWORK_PATH"},
      {0xc000020c, "NT_STATUS_CONNECTION_DISCONNECTED"},
      {0xc000020d, "NT_STATUS_CONNECTION_RESET"},
      {0xc0000236, "NT_STATUS_CONNECTION_REFUSED"},
      {0xc00000b5, "NT_STATUS_IO_TIMEOUT"},
      {0xc00000c3, "NT_STATUS_INVALID_NETWORK_RESPONSE"},
      {0xc00000bb, "NT_STATUS_NOT_SUPPORTED"},
      {0xc0000034, "NT_STATUS_OBJECT_NAME_NOT_FOUND"},
      {0xc0000203, "NT_STATUS_USER_SESSION_DELETED"},
      {0xc0000061, "NT_STATUS_PRIVILEGE_NOT_HELD"},
  };
  for (const auto& known : kNames)
    if (known.name && known.code == code) return known.name;
  char text[24];
  std::snprintf(text, sizeof text, "NT_STATUS_0x%08lx", code);
  return text;
}

void KeepStatus(void* data, int, const char* line) {
  auto* status = static_cast<std::string*>(data);
  if (!status || !line) return;
  static const char kMark[] = "map_errno_from_nt_status: 32 bit codes: code=";
  const char* at = std::strstr(line, kMark);
  if (!at) return;
  char* end = nullptr;
  const unsigned long code = std::strtoul(at + sizeof kMark - 1, &end, 16);
  if (end == at + sizeof kMark - 1 || code == 0 || code > 0xffffffffUL) return;
  *status = StatusName(code);
}

bool Hidden(const std::string& share) { return share.empty() || share.back() == '$'; }

// Turns one directory entry of the container into a child record, or false
// when the platform would not report it.
bool ChildOf(const Request& request, const smbc_dirent& dirent, Record* record) {
  const std::string name = cp932::FromUtf8Lossy(dirent.name);
  switch (request.target) {
    case Target::kNetwork:
      if (dirent.smbc_type != SMBC_WORKGROUP || name.empty()) return false;
      record->type = netinfo::kResourceTypeAny;
      record->displayType = netinfo::kResourceDisplayTypeDomain;
      record->usage = netinfo::kResourceUsageContainer;
      record->remoteName = name;
      record->remoteText = dirent.name;
      return true;
    case Target::kWorkgroup:
      if (dirent.smbc_type != SMBC_SERVER || name.empty()) return false;
      record->type = netinfo::kResourceTypeAny;
      record->displayType = netinfo::kResourceDisplayTypeServer;
      record->usage = netinfo::kResourceUsageContainer;
      record->remoteName = "\\\\" + name;
      record->remoteText = std::string("\\\\") + dirent.name;
      return true;
    case Target::kServer:
      if (dirent.smbc_type != SMBC_FILE_SHARE && dirent.smbc_type != SMBC_PRINTER_SHARE) return false;
      if (Hidden(name)) return false;
      record->type = dirent.smbc_type == SMBC_PRINTER_SHARE ? netinfo::kResourceTypePrint : netinfo::kResourceTypeDisk;
      record->displayType = netinfo::kResourceDisplayTypeShare;
      record->usage = netinfo::kResourceUsageConnectable;
      record->remoteName = "\\\\" + request.name + "\\" + name;
      record->remoteText = "\\\\" + cp932::ToUtf8(request.name) + "\\" + dirent.name;
      return true;
  }
  return false;
}

// The protocol range is process-wide in the library; set only when it
// changes. The bound that widens the range goes first: a minimum above the
// current maximum makes the context fail to start.
enum class Range { kUnset, kBrowse, kDefault, kWithSmb1 };

void SetRange(SMBCCTX* ctx, const Request& request) {
  static Range set = Range::kUnset;
  const Range wanted = request.browse ? Range::kBrowse : request.smb1 ? Range::kWithSmb1 : Range::kDefault;
  if (set == wanted) return;
  switch (wanted) {
    case Range::kBrowse:
      smbc_setOptionProtocols(ctx, "NT1", nullptr);
      smbc_setOptionProtocols(ctx, nullptr, "NT1");
      break;
    case Range::kWithSmb1:
      // An old NAS the user allowed: NT1 up to the newest. The password
      // logon stays NTLMv2 (the library's default; LM and plain text are
      // off unless the machine's smb.conf turns them on).
      smbc_setOptionProtocols(ctx, nullptr, "SMB3");
      smbc_setOptionProtocols(ctx, "NT1", nullptr);
      break;
    case Range::kDefault:
    case Range::kUnset:
      smbc_setOptionProtocols(ctx, nullptr, "SMB3");
      smbc_setOptionProtocols(ctx, "SMB2_02", nullptr);
      break;
  }
  set = wanted;
}

// One request: a fresh context for its one logon, so that no connection
// made with another logon is reused.
Reply Serve(Request& request) {
  Reply reply;
  SMBCCTX* ctx = smbc_new_context();
  if (!ctx) {
    reply.error = ENOMEM;
    return reply;
  }
  smbc_setPort(ctx, request.port);
  std::string status;
  smbc_setDebug(ctx, request.logon == LogonKind::kAnonymous ? 0 : kStatusLogLevel);
  smbc_setLogCallback(ctx, &status, KeepStatus);
  smbc_setTimeout(ctx, kTimeoutMs);
  smbc_setFunctionAuthDataWithContext(ctx, LogonAuth);
  smbc_setOptionUserData(ctx, &request);
  const bool kerberos = request.logon == LogonKind::kKerberos;
  smbc_setOptionUseKerberos(ctx, kerberos);
  // Never the library's own NTLM try after a refused ticket: that would send
  // a hash to a computer the ticket did not identify, past the window's
  // binding check. The window moves on by itself.
  smbc_setOptionFallbackAfterKerberos(ctx, false);
  smbc_setOptionUseCCache(ctx, kerberos);
  // A password logon that is refused must not turn into a guest one.
  smbc_setOptionNoAutoAnonymousLogin(ctx, request.logon != LogonKind::kAnonymous);
  SetRange(ctx, request);
  if (!smbc_init_context(ctx)) {
    smbc_free_context(ctx, 1);
    reply.error = ENOMEM;
    return reply;
  }
  const std::string url = "smb://" + PercentEncode(request.host);
  errno = 0;
  SMBCFILE* dir = smbc_getFunctionOpendir(ctx)(ctx, url.c_str());
  if (!dir) {
    reply.error = errno ? errno : EIO;
  } else {
    const auto readdir = smbc_getFunctionReaddir(ctx);
    while (const smbc_dirent* dirent = readdir(ctx, dir)) {
      Record record;
      if (ChildOf(request, *dirent, &record)) reply.records.push_back(std::move(record));
    }
    smbc_getFunctionClosedir(ctx)(ctx, dir);
  }
  // Freeing the context may log too; what is kept is what the request said.
  smbc_setLogCallback(ctx, nullptr, DiscardLog);
  if (reply.error != 0) reply.status = status;
  smbc_free_context(ctx, 1);
  return reply;
}

}  // namespace

int main(int argc, char** argv) {
  int fd = 0;
  int out = 1;
  if (argc == 3 && std::strcmp(argv[1], "--fd") == 0) {
    char* end = nullptr;
    const long value = std::strtol(argv[2], &end, 10);
    if (!end || *end || value < 0 || value > 1024 || fcntl(static_cast<int>(value), F_GETFD) < 0) return 2;
    fd = out = static_cast<int>(value);
  } else if (argc != 1) {
    return 2;
  }
  Harden(std::max(fd, 2));
  // The library sets up its process-wide state (configuration, the logon
  // layer) when a context is made while none exists, and drops it when the
  // last one is freed; one context kept for the process keeps it warm from
  // one request to the next.
  SMBCCTX* keeper = smbc_new_context();
  if (keeper) {
    smbc_setDebug(keeper, 0);
    smbc_setLogCallback(keeper, nullptr, DiscardLog);
    if (!smbc_init_context(keeper)) {
      smbc_free_context(keeper, 1);
      keeper = nullptr;
    }
  }
  std::string body;
  for (;;) {
    unsigned char header[netinfo::smbwire::kHeaderBytes];
    bool atEnd = false;
    size_t length = 0;
    if (!ReadAll(fd, header, sizeof header, &atEnd)) break;
    if (!netinfo::smbwire::BodyLength(header, netinfo::smbwire::kMaxRequestBytes, &length)) return 3;
    body.assign(length, '\0');
    Request request;
    const bool read =
        ReadAll(fd, reinterpret_cast<unsigned char*>(body.data()), length, &atEnd) &&
        netinfo::smbwire::DecodeRequest(reinterpret_cast<const unsigned char*>(body.data()), length, &request);
    explicit_bzero(body.data(), body.size());
    if (!read) return 3;
    const Reply reply = Serve(request);
    request.Wipe();
    if (!WriteAll(out, netinfo::smbwire::EncodeReply(reply))) return 4;
  }
  if (keeper) smbc_free_context(keeper, 1);
  return 0;
}
