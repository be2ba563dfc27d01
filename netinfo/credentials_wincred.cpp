// The credential store over the Windows Credential Manager: one generic
// credential per computer, named "Mirelka:smb://HOST", holding the same bytes
// as a keyring entry (PackCredentials: user, password, binding). It is kept
// on this machine only (never roamed with the profile), and the user removes
// entries in the control panel's Credential Manager.
#include <windows.h>
#include <wincred.h>

#include <string>

#include "credentials.h"

namespace netinfo {
namespace {

// What every Windows since Vista accepts; the headers of some compilers say less.
constexpr size_t kMaxBlob = 512;

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::wstring TargetName(const std::string& host) { return Wide("Mirelka:" + KeyForHost(host)); }

class CredentialManagerStore final : public CredentialStore {
 public:
  bool Available() override {
    if (!probed_) {
      // Reading an entry nobody writes: "not found" means the store answers;
      // a session without one (a service logon) answers otherwise.
      PCREDENTIALW found = nullptr;
      const std::wstring probe = Wide("Mirelka:smb://");
      if (CredReadW(probe.c_str(), CRED_TYPE_GENERIC, 0, &found)) {
        CredFree(found);
        available_ = true;
      } else {
        available_ = GetLastError() == ERROR_NOT_FOUND;
      }
      probed_ = true;
    }
    return available_;
  }

  std::optional<Credentials> Load(const std::string& host) override {
    if (!Available()) return std::nullopt;
    PCREDENTIALW found = nullptr;
    if (!CredReadW(TargetName(host).c_str(), CRED_TYPE_GENERIC, 0, &found)) return std::nullopt;
    std::optional<Credentials> credentials;
    if (found->CredentialBlob && found->CredentialBlobSize > 0) {
      const Secret blob(reinterpret_cast<const char*>(found->CredentialBlob), found->CredentialBlobSize);
      WipeBytes(found->CredentialBlob, found->CredentialBlobSize);
      credentials = UnpackCredentials(blob.bytes());
    }
    CredFree(found);
    return credentials;
  }

  bool Save(const std::string& host, const Credentials& credentials) override {
    if (!Available()) return false;
    Secret packed = PackCredentials(credentials);
    if (packed.size() > kMaxBlob) return false;
    const std::wstring target = TargetName(host);
    const std::wstring user = Wide(credentials.user);
    CREDENTIALW entry{};
    entry.Type = CRED_TYPE_GENERIC;
    entry.TargetName = const_cast<wchar_t*>(target.c_str());
    entry.UserName = const_cast<wchar_t*>(user.c_str());
    entry.CredentialBlobSize = static_cast<DWORD>(packed.size());
    entry.CredentialBlob = reinterpret_cast<BYTE*>(const_cast<char*>(packed.bytes().data()));
    entry.Persist = CRED_PERSIST_LOCAL_MACHINE;
    return CredWriteW(&entry, 0) != FALSE;
  }

 private:
  bool probed_ = false;
  bool available_ = false;
};

}  // namespace

// The Credential Manager answers at once; there is nothing to wait for.
std::unique_ptr<CredentialStore> MakeKeyringStore(int) { return std::make_unique<CredentialManagerStore>(); }

}  // namespace netinfo
