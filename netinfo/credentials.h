#pragma once
// Credentials for logging on to a computer, and the store that keeps them
// across sessions: the desktop keyring (Secret Service or KWallet through
// QtKeychain; on Windows the Credential Manager), never a file of ours. Tests
// pass an in-memory store.
#include <memory>
#include <optional>
#include <string>

#include "netprovider.h"

namespace netinfo {

// Bytes that are wiped from memory when they are replaced or go away. For
// passwords: copies are made only through this class, so each is wiped too.
class Secret {
 public:
  Secret() = default;
  Secret(const char* bytes, size_t size);
  ~Secret();
  Secret(const Secret& other);
  Secret& operator=(const Secret& other);
  Secret(Secret&& other) noexcept;
  Secret& operator=(Secret&& other) noexcept;

  const std::string& bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  void Wipe();

 private:
  std::string bytes_;
};

// Overwrites size bytes at data with zeros in a way the compiler keeps.
void WipeBytes(void* data, size_t size);

struct Credentials {
  std::string user;  // UTF-8 as typed: "user", "DOMAIN\user" or "user@realm"
  Secret password;   // UTF-8
  // Where the computer was when these opened it (smb_auth.h); nothing for
  // an entry saved before bindings were kept.
  std::optional<ResolvedHost> boundTo;
};

class CredentialStore {
 public:
  virtual ~CredentialStore() = default;
  // Whether a keyring answers. When none does, nothing can be saved and
  // credentials live for the session only.
  virtual bool Available() = 0;
  // The credentials saved for the computer, if any. host is the computer's
  // name in UTF-8; the entry's key is KeyForHost(host).
  virtual std::optional<Credentials> Load(const std::string& host) = 0;
  // Entries are never removed here: the user does that in the desktop's
  // keyring manager.
  virtual bool Save(const std::string& host, const Credentials& credentials) = 0;
};

// "smb://HOST", ASCII letters of the name upper-cased: computer names compare
// without regard to case.
std::string KeyForHost(const std::string& host);

// An entry's stored form: the user name, a NUL, the password, and where
// there is a binding a NUL and "bound ADDRESS SOURCE" (SOURCE one of dotted,
// dns, netbios, mdns, llmnr, system). Entries of releases before bindings
// read as unbound; those releases read a bound entry's password up to the
// second NUL, as the client library takes it. A password holds no NUL (the
// dialog refuses one). Unpack returns nothing for bytes without a NUL or with
// an empty user name; an unreadable binding reads as none.
Secret PackCredentials(const Credentials& credentials);
std::optional<Credentials> UnpackCredentials(const std::string& bytes);

// The desktop keyring under the service "Mirelka". Each call waits for the
// keyring at most timeoutMs; needs a running Qt application object. On
// Windows: the Credential Manager, which answers at once (no wait, no Qt).
std::unique_ptr<CredentialStore> MakeKeyringStore(int timeoutMs = 30000);

}  // namespace netinfo
