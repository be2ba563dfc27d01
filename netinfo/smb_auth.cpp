#include "smb_auth.h"

#include <cerrno>
#include <utility>

namespace netinfo {

DomainUser SplitDomainUser(const std::string& name) {
  // "\" or the yen sign U+00A5 (UTF-8 C2 A5) before the user name
  size_t cut = name.find('\\');
  size_t skip = 1;
  if (const size_t yen = name.find("\xC2\xA5"); yen != std::string::npos && yen < cut) {
    cut = yen;
    skip = 2;
  }
  if (cut == std::string::npos || cut == 0) return {{}, name};
  return {name.substr(0, cut), name.substr(cut + skip)};
}

Logon PasswordLogon(const Credentials& credentials) {
  Logon logon;
  logon.kind = Logon::Kind::kPassword;
  logon.password = &credentials.password;
  const std::string& user = credentials.user;
  const size_t at = user.rfind('@');
  if (DomainUser split = SplitDomainUser(user); !split.domain.empty() && !split.user.empty()) {
    logon.workgroup = std::move(split.domain);
    logon.user = std::move(split.user);
  } else if (at != std::string::npos && at > 0 && at + 1 < user.size()) {
    // NTLM takes the realm as the domain; Kerberos is the ticket's business
    logon.workgroup = user.substr(at + 1);
    logon.user = user.substr(0, at);
  } else {
    logon.user = user;
  }
  return logon;
}

bool NeedsCredentials(int error) { return error == EACCES || error == EPERM || error == EINVAL; }

bool MayOffer(const std::optional<ResolvedHost>& bound, const ResolvedHost& now) {
  if (now.source == NameSource::kDns || now.source == NameSource::kDotted) return true;
  return bound && !now.address.empty() && bound->address == now.address;
}

Authenticator::Authenticator(CredentialStore* store, LoginPrompt* prompt) : store_(store), prompt_(prompt) {}

std::string Authenticator::UserFor(const std::string& host) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = session_.find(KeyForHost(host));
  return it == session_.end() ? std::string() : it->second.user;
}

std::optional<Credentials> Authenticator::SessionEntry(const std::string& key) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = session_.find(key);
  if (it == session_.end()) return std::nullopt;
  return it->second;
}

int Authenticator::Open(const std::string& host, const ResolvedHost& where, bool haveTicket, const Attempt& attempt,
                        bool* heldBack) {
  const std::string key = KeyForHost(host);
  LoginRequest request;
  request.host = host;
  request.address = where.address;
  // Whatever way the attempts end, the caller learns whether a login was
  // held back on the way.
  struct Report {
    bool* out;
    const LoginRequest& request;
    ~Report() {
      if (out) *out = request.boundAddress.has_value();
    }
  } report{heldBack, request};
  // Credentials that may not go to where: their user fills in the dialog.
  auto holdBack = [&request](const Credentials& credentials) {
    if (!request.boundAddress) {
      request.user = credentials.user;
      request.boundAddress = credentials.boundTo ? credentials.boundTo->address : std::string();
    }
  };

  // A ticket that does not fit this computer (no such principal, a name
  // that does not resolve) leaves the other ways open, whatever the error.
  if (haveTicket) {
    Logon kerberos;
    kerberos.kind = Logon::Kind::kKerberos;
    if (attempt(kerberos) == 0) return 0;
  }

  // Tries the credentials; true when the attempts are over (*result says how).
  auto tryPassword = [&](const Credentials& credentials, int* result) {
    const int error = attempt(PasswordLogon(credentials));
    *result = error;
    return error == 0 || !NeedsCredentials(error);
  };
  int result = 0;

  // Tries this session's credentials where they may go; true when the
  // attempts are over.
  auto trySession = [&](int* outcome) {
    const std::optional<Credentials> known = SessionEntry(key);
    if (!known) return false;
    if (!MayOffer(known->boundTo, where)) {
      holdBack(*known);
      return false;
    }
    const bool over = tryPassword(*known, outcome);
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = session_.find(key);
    // Another thread may have put new credentials meanwhile: those stay.
    const bool same = it != session_.end() && it->second.user == known->user &&
                      it->second.password.bytes() == known->password.bytes();
    if (over) {
      if (*outcome == 0 && same) it->second.boundTo = where;
      return true;
    }
    if (same) session_.erase(it);  // the password changed since
    return false;
  };
  if (trySession(&result)) return result;

  bool stale = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stale = staleSaved_.count(key) > 0;
  }
  if (store_ && !stale) {
    std::optional<Credentials> saved;
    {
      const std::lock_guard<std::mutex> lock(storeMutex_);
      saved = store_->Load(host);
    }
    if (saved && !MayOffer(saved->boundTo, where)) {
      holdBack(*saved);
    } else if (saved) {
      if (tryPassword(*saved, &result)) {
        if (result == 0) {
          saved->boundTo = where;
          const std::lock_guard<std::mutex> lock(mutex_);
          session_[key] = std::move(*saved);
        }
        return result;
      }
      // Refused: not offered again this session, so that repeated clicks do
      // not pile up failed logons on the account.
      const std::lock_guard<std::mutex> lock(mutex_);
      staleSaved_.insert(key);
    }
  }

  Logon anonymous;
  if (const int error = attempt(anonymous); error == 0 || !NeedsCredentials(error)) return error;

  if (!prompt_) return EACCES;
  const std::lock_guard<std::mutex> oneDialog(dialogMutex_);
  // Another row of this computer may have logged on while this one waited.
  if (trySession(&result)) return result;
  {
    const std::lock_guard<std::mutex> lock(storeMutex_);
    request.canSave = store_ && store_->Available();
  }
  for (int tries = 0; tries < kMaxDialogTries; ++tries) {
    std::optional<LoginAnswer> answer = prompt_->Ask(request);
    if (!answer) return EACCES;
    Credentials& given = answer->credentials;
    if (given.user.size() > kMaxUserBytes || given.password.size() > kMaxPasswordBytes) {
      // the library would cut them short and log on as someone else
      request.reason = LoginRequest::Reason::kTooLong;
      continue;
    }
    if (given.user.find('\0') != std::string::npos || given.password.bytes().find('\0') != std::string::npos) {
      // the library would stop at the NUL, and the keyring entry too
      request.reason = LoginRequest::Reason::kNulCharacter;
      continue;
    }
    if (tryPassword(given, &result)) {
      if (result != 0) return result;
      given.boundTo = where;
      bool saved = false;
      if (answer->save && request.canSave) {
        const std::lock_guard<std::mutex> lock(storeMutex_);
        saved = store_->Save(host, given);
      }
      const std::lock_guard<std::mutex> lock(mutex_);
      if (saved) staleSaved_.erase(key);
      session_[key] = std::move(given);
      return 0;
    }
    request.reason = LoginRequest::Reason::kWrongCredentials;
  }
  return EACCES;
}

}  // namespace netinfo
