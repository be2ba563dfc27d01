#pragma once
// The network provider seam: open a container, hand back its children one
// record at a time into the caller's buffer, close. One backend per platform
// (libsmbclient in helper processes on Linux, mpr on Windows) and an
// in-memory fake for tests.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "failure_cause.h"

namespace netinfo {

// Result codes, as the platform's provider layer gives them.
constexpr uint32_t kNoError = 0;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorBadNetPath = 53;  // the host does not answer
constexpr uint32_t kErrorBadNetName = 67;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorMoreData = 234;  // the next record does not fit the buffer
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNoNetwork = 1222;
constexpr uint32_t kErrorBadProvider = 1204;

// Container request values used by both enumeration routines.
constexpr uint32_t kResourceGlobalNet = 2;
constexpr uint32_t kResourceTypeAny = 0;
constexpr uint32_t kResourceDisplayTypeDomain = 1;
constexpr uint32_t kResourceDisplayTypeServer = 2;
constexpr uint32_t kResourceDisplayTypeShare = 3;
constexpr uint32_t kResourceUsageConnectable = 1;
constexpr uint32_t kResourceUsageContainer = 2;
constexpr uint32_t kResourceTypeDisk = 1;
constexpr uint32_t kResourceTypePrint = 2;

constexpr const char* kWindowsNetwork = "Microsoft Windows Network";

// One record as the provider writes it: the fields of the platform's
// NETRESOURCEA, the texts pointing into the same buffer after the record,
// with one text more: the remote name as the peer gave it.
struct NetResource {
  uint32_t dwScope = 0;
  uint32_t dwType = 0;
  uint32_t dwDisplayType = 0;
  uint32_t dwUsage = 0;
  char* lpLocalName = nullptr;
  char* lpRemoteName = nullptr;  // code page 932: what the program keeps and saves
  char* lpComment = nullptr;
  char* lpProvider = nullptr;
  // The same remote name in the peer's own text (UTF-8, as the peer sent it,
  // unchecked), which alone names a share whose name code page 932 cannot
  // hold; null when the provider has no other text than lpRemoteName.
  char* lpRemoteText = nullptr;
};

// How a computer's name became its address. Only kDns names the computer
// with authority (the hosts file, or the system resolver for a name with a
// dot outside .local); a NetBIOS, multicast DNS or LLMNR answer is whatever
// some host on the link chose to say, and kSystem is the system resolver
// for any other name, which may have asked the link itself. kDotted: the
// name was the address.
enum class NameSource { kDotted, kDns, kNetbios, kMdns, kLlmnr, kSystem };

// The source's stable name: "address", "dns", "netbios", "mdns", "llmnr",
// "system" (the command line's JSON, the settings file).
const char* NameSourceName(NameSource source);
// The source so named, or nothing.
std::optional<NameSource> NameSourceNamed(const std::string& name);

// A computer's address and how its name led there.
struct ResolvedHost {
  std::string address;  // dotted IPv4
  NameSource source = NameSource::kSystem;
};

// What a provider that lists a computer's shares by its address asks of its
// owner; either may be empty. The owner resolves names as it does everywhere
// else, so the provider keeps no resolver of its own.
struct HostLookup {
  // The address of a computer name (code page 932), or nothing.
  std::function<std::optional<ResolvedHost>(const std::string& name)> resolve;
  // Whether the computer at a dotted address answers on an SMB port, within a
  // bound of its own: the client library waits far longer for a silent host.
  // Empty when the owner has checked already.
  std::function<bool(const std::string& address)> reachable;
  // The user allowed SMB1 for this computer (it speaks nothing newer).
  bool allowSmb1 = false;
};

class Authenticator;

class NetProvider {
 public:
  using Handle = void*;
  virtual ~NetProvider() = default;

  // Replaces how computer names become addresses. Without a resolver only
  // dotted addresses can be listed; a provider whose platform resolves names
  // itself ignores it.
  virtual void SetHostLookup(HostLookup lookup) { static_cast<void>(lookup); }

  // Decides how a computer that refuses guests is logged on to (smb_auth.h);
  // without one the provider tries a Kerberos ticket and guest only. A
  // provider whose platform logs on as the signed-in user ignores it.
  virtual void SetLogin(Authenticator* login) { static_cast<void>(login); }

  // On kNoError *handle is open and must be closed with CloseEnum.
  virtual uint32_t OpenEnum(uint32_t scope, uint32_t type, uint32_t usage, const NetResource& container,
                            Handle* handle) = 0;
  // OpenEnum with lookup for this call alone in place of the one set, so
  // that callers on several threads each hand over their own computer's
  // address. A provider that keeps no lookup opens as OpenEnum does.
  virtual uint32_t OpenEnumWith(const HostLookup& lookup, uint32_t scope, uint32_t type, uint32_t usage,
                                const NetResource& container, Handle* handle) {
    static_cast<void>(lookup);
    return OpenEnum(scope, type, usage, container, handle);
  }
  // Writes up to *count records into buffer (of *bufferSize bytes). Both are
  // in/out: the provider writes back the count written and, on
  // kErrorMoreData, the size it would need.
  virtual uint32_t EnumResource(Handle handle, uint32_t* count, void* buffer, uint32_t* bufferSize) = 0;
  virtual uint32_t CloseEnum(Handle handle) = 0;
  // Why the calling thread's last open failed (failure_cause.h): the logon
  // attempts and what the server said of them, or the provider's own
  // failure (a helper that could not start, died or overran); kNone when
  // the provider cannot tell, and its code is all there is.
  virtual FailureCause LastFailureCause() const { return {}; }
  // The logon attempts the calling thread's last open of a computer made, in
  // order, whether it succeeded or not; empty where the provider does not
  // log on itself.
  virtual std::vector<AttemptOutcome> LastAttempts() const { return {}; }
  // Gets ready for about count opens of computers soon (the helpers they
  // will need start now, while their names are resolved); a provider with
  // nothing to prepare ignores it.
  virtual void Prepare(size_t count) { static_cast<void>(count); }
  // Whether HostLookup::allowSmb1 can take effect: the provider speaks SMB
  // itself. A provider over the system's own client (which keeps SMB1 off)
  // cannot.
  virtual bool CanAllowSmb1() const { return false; }
  // Makes every open under way on other threads fail now rather than at its
  // bound (the owner is going away); a provider whose calls cannot be cut
  // short lets them run to their bound.
  virtual void CancelAll() {}
};

// The platform's provider (helper processes over libsmbclient on Linux,
// smb_pool.h; mpr on Windows).
std::unique_ptr<NetProvider> MakePlatformNetProvider();

// Packs one record and its texts into buffer. Returns kErrorMoreData and sets
// *bufferSize to the size needed when they do not fit; never writes past
// *bufferSize bytes. Null texts stay null pointers.
uint32_t WriteRecord(const NetResource& fields, const char* localName, const char* remoteName, const char* comment,
                     const char* provider, void* buffer, uint32_t* bufferSize, const char* remoteText = nullptr);

// A record read through the platform's wide calls, its texts (UTF-16, null
// for none) held as this seam's: code page 932 bytes, and the remote name
// also as the peer's text (UTF-8; an unpaired surrogate becomes U+FFFD).
struct WideRecord {
  WideRecord(const NetResource& fields, const char16_t* localName, const char16_t* remoteName, const char16_t* comment,
             const char16_t* provider);
  // WriteRecord with these texts.
  uint32_t Write(void* buffer, uint32_t* bufferSize) const;

  NetResource fields;
  std::optional<std::string> localName, remoteName, remoteText, comment, provider;
};

}  // namespace netinfo
