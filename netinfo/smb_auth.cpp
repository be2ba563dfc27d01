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

namespace {

// A step's attempt that succeeded or failed otherwise than by a refusal ends
// the attempts with its result; a refusal leaves the next step to go on.
std::optional<int> Ended(int error) {
  if (error == 0 || !NeedsCredentials(error)) return error;
  return std::nullopt;
}

// Credentials that may not go to where the computer answers now: the first
// such fill in the dialog's user and the address they are bound to.
void HoldBack(LoginRequest& request, const Credentials& credentials) {
  if (request.boundAddress) return;
  request.user = credentials.user;
  request.boundAddress = credentials.boundTo ? credentials.boundTo->address : std::string();
}

// Why the library cannot be given what the dialog answered, if it cannot.
std::optional<LoginRequest::Reason> Unfit(const Credentials& given) {
  // the library would cut them short and log on as someone else
  if (given.user.size() > kMaxUserBytes || given.password.size() > kMaxPasswordBytes)
    return LoginRequest::Reason::kTooLong;
  // the library would stop at the NUL, and the keyring entry too
  if (given.user.find('\0') != std::string::npos || given.password.bytes().find('\0') != std::string::npos)
    return LoginRequest::Reason::kNulCharacter;
  return std::nullopt;
}

}  // namespace

struct Authenticator::Call {
  const std::string& host;
  const std::string key;  // KeyForHost(host)
  const ResolvedHost& where;
  const Attempt& attempt;
  LoginRequest request;  // what the dialog is told, held back logins included
};

int Authenticator::Open(const std::string& host, const ResolvedHost& where, bool haveTicket, const Attempt& attempt,
                        bool* heldBack) {
  Call call{host, KeyForHost(host), where, attempt, {}};
  call.request.host = host;
  call.request.address = where.address;
  // Whatever way the attempts end, the caller learns whether a login was
  // held back on the way.
  struct Report {
    bool* out;
    const LoginRequest& request;
    ~Report() {
      if (out) *out = request.boundAddress.has_value();
    }
  } report{heldBack, call.request};

  // A ticket that does not fit this computer (no such principal, a name
  // that does not resolve) leaves the other ways open, whatever the error.
  if (haveTicket) {
    Logon kerberos;
    kerberos.kind = Logon::Kind::kKerberos;
    if (attempt(kerberos) == 0) return 0;
  }
  if (const std::optional<int> over = TrySession(call)) return *over;
  if (const std::optional<int> over = TryKeyring(call)) return *over;
  if (const std::optional<int> over = Ended(attempt(Logon{}))) return *over;  // guest / anonymous
  return AskUser(call);
}

std::optional<int> Authenticator::TrySession(Call& call) {
  const std::optional<Credentials> known = SessionEntry(call.key);
  if (!known) return std::nullopt;
  if (!MayOffer(known->boundTo, call.where)) {
    HoldBack(call.request, *known);
    return std::nullopt;
  }
  const std::optional<int> over = Ended(call.attempt(PasswordLogon(*known)));
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = session_.find(call.key);
  // Another thread may have put new credentials meanwhile: those stay.
  const bool same =
      it != session_.end() && it->second.user == known->user && it->second.password.bytes() == known->password.bytes();
  if (over) {
    if (*over == 0 && same) it->second.boundTo = call.where;
    return over;
  }
  if (same) session_.erase(it);  // the password changed since
  return std::nullopt;
}

std::optional<int> Authenticator::TryKeyring(Call& call) {
  if (!store_) return std::nullopt;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (staleSaved_.count(call.key) > 0) return std::nullopt;
  }
  std::optional<Credentials> saved;
  {
    const std::lock_guard<std::mutex> lock(storeMutex_);
    saved = store_->Load(call.host);
  }
  if (!saved) return std::nullopt;
  if (!MayOffer(saved->boundTo, call.where)) {
    HoldBack(call.request, *saved);
    return std::nullopt;
  }
  if (const std::optional<int> over = Ended(call.attempt(PasswordLogon(*saved)))) {
    if (*over == 0) {
      saved->boundTo = call.where;
      const std::lock_guard<std::mutex> lock(mutex_);
      session_[call.key] = std::move(*saved);
    }
    return over;
  }
  // Refused: not offered again this session, so that repeated clicks do not
  // pile up failed logons on the account.
  const std::lock_guard<std::mutex> lock(mutex_);
  staleSaved_.insert(call.key);
  return std::nullopt;
}

int Authenticator::AskUser(Call& call) {
  if (!prompt_) return EACCES;
  const std::lock_guard<std::mutex> oneDialog(dialogMutex_);
  // Another row of this computer may have logged on while this one waited.
  if (const std::optional<int> over = TrySession(call)) return *over;
  {
    const std::lock_guard<std::mutex> lock(storeMutex_);
    call.request.canSave = store_ && store_->Available();
  }
  for (int tries = 0; tries < kMaxDialogTries; ++tries) {
    std::optional<LoginAnswer> answer = prompt_->Ask(call.request);
    if (!answer) return EACCES;
    if (const std::optional<LoginRequest::Reason> unfit = Unfit(answer->credentials)) {
      call.request.reason = *unfit;
      continue;
    }
    if (const std::optional<int> over = Ended(call.attempt(PasswordLogon(answer->credentials)))) {
      if (*over == 0) Keep(call, std::move(*answer));
      return *over;
    }
    call.request.reason = LoginRequest::Reason::kWrongCredentials;
  }
  return EACCES;
}

void Authenticator::Keep(Call& call, LoginAnswer answer) {
  Credentials& given = answer.credentials;
  given.boundTo = call.where;
  bool saved = false;
  if (answer.save && call.request.canSave) {
    const std::lock_guard<std::mutex> lock(storeMutex_);
    saved = store_->Save(call.host, given);
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  if (saved) staleSaved_.erase(call.key);
  session_[call.key] = std::move(given);
}

}  // namespace netinfo
