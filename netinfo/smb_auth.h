#pragma once
// Logging on to a computer to list its shares. Most computers refuse guests
// and anonymous listing, so the provider tries, in this order, until one
// lists the shares:
//
//   1. the user's Kerberos ticket, where a ticket cache exists;
//   2. credentials that opened this computer earlier in this session;
//   3. credentials saved in the keyring for it;
//   4. guest / anonymous;
//   5. the login dialog: at most kMaxDialogTries times per computer and call.
//
// Steps 2 and 3 send a password hash that can be cracked or relayed, so they
// go only to the computer they are bound to (MayOffer): the address it had
// when they opened it, or any address the computer's DNS name gives. Any
// host on the link can answer a NetBIOS, LLMNR or mDNS question for a name.
// Credentials held back so leave their user name to the dialog, which says
// that the computer answers from a different address. Kerberos authenticates
// the server and needs no binding; guest and anonymous send nothing secret.
//
// A refusal (EACCES, EPERM, or EINVAL, which Samba 4.16+ gives for a wrong
// password) moves on to the next step; any other failure (the host went
// away, the connection dropped) ends the attempts with that failure.
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "credentials.h"
#include "netprovider.h"

namespace netinfo {

// How one attempt logs on.
struct Logon {
  enum class Kind { kKerberos, kPassword, kAnonymous };
  Kind kind = Kind::kAnonymous;
  std::string workgroup;             // empty: the library's own
  std::string user;                  // UTF-8
  const Secret* password = nullptr;  // kPassword only
};

// The longest user name and password the client library takes (its buffers
// hold 255 bytes and a NUL).
constexpr size_t kMaxUserBytes = 255;
constexpr size_t kMaxPasswordBytes = 255;

// "DOMAIN\user" (also with the yen sign U+00A5 that Japanese fonts show for
// the backslash) in its two parts, cut at the first of either; an empty
// domain when the name has no such form.
struct DomainUser {
  std::string domain, user;
};
DomainUser SplitDomainUser(const std::string& name);

// Splits "DOMAIN\user" and "user@realm" into workgroup and user; a plain
// "user" keeps the library's workgroup.
Logon PasswordLogon(const Credentials& credentials);

// Whether an errno from the client library means "log on otherwise".
bool NeedsCredentials(int error);

// What the login dialog is told and answers.
struct LoginRequest {
  enum class Reason { kFirst, kWrongCredentials, kTooLong, kNulCharacter };
  std::string host;  // the computer's name, UTF-8
  Reason reason = Reason::kFirst;
  bool canSave = false;  // a keyring answers
  std::string user;      // filled in: the user of credentials held back
  // Set when credentials were held back: the address they are bound to
  // (empty for an entry saved without one) and the one answering now.
  std::optional<std::string> boundAddress;
  std::string address;
};

struct LoginAnswer {
  Credentials credentials;
  bool save = false;
};

class LoginPrompt {
 public:
  virtual ~LoginPrompt() = default;
  // Asks for credentials; nothing when the user cancels.
  virtual std::optional<LoginAnswer> Ask(const LoginRequest& request) = 0;
};

// Whether credentials bound to bound may go to the computer reached as now
// without asking: reached at the bound address, or named by DNS or by its
// address. Credentials with no binding (saved before bindings were kept)
// go only by DNS or address.
bool MayOffer(const std::optional<ResolvedHost>& bound, const ResolvedHost& now);

// Open may be called from several threads at once: the session's state is
// shared under a lock, the keyring is asked by one thread at a time, and the
// dialog step is taken by one thread at a time, so two rows of a computer, or
// computers that need the same login, never ask at once; a row that waited
// for another's dialog first tries what that dialog gave.
class Authenticator {
 public:
  static constexpr int kMaxDialogTries = 3;

  // store and prompt may be null: no keyring step, no dialog step.
  Authenticator(CredentialStore* store, LoginPrompt* prompt);

  // Lists with attempt(logon) (0 or an errno) until one attempt succeeds;
  // the Kerberos step only when the caller has a ticket to offer. Returns 0,
  // or the errno that ended the attempts (EACCES when the user cancelled or
  // ran out of tries). host is the computer's name in UTF-8; where is the
  // address attempt connects to and how the name led there. Credentials that
  // open it are bound to where. *heldBack, when given, says whether a login
  // known for host was held back because where is not the computer it opened.
  using Attempt = std::function<int(const Logon&)>;
  int Open(const std::string& host, const ResolvedHost& where, bool haveTicket, const Attempt& attempt,
           bool* heldBack = nullptr);

  // The user name that opened host in this session (empty for a ticket,
  // guest, or none): the file manager may be told it, never the password.
  std::string UserFor(const std::string& host) const;

 private:
  // One call of Open: what its steps share.
  struct Call;
  // The steps after the ticket, in their order. Each gives the attempts'
  // result when they are over, or nothing when the next step goes on.
  std::optional<int> TrySession(Call& call);
  std::optional<int> TryKeyring(Call& call);
  // Guest failed: the dialog's result, or EACCES without a dialog.
  int AskUser(Call& call);
  // Keeps credentials the dialog gave that opened the computer.
  void Keep(Call& call, LoginAnswer answer);

  // The session's credentials for key, if any (a copy: the entry may go).
  std::optional<Credentials> SessionEntry(const std::string& key) const;

  CredentialStore* store_;
  LoginPrompt* prompt_;
  mutable std::mutex mutex_;                    // guards session_ and staleSaved_
  std::mutex storeMutex_;                       // one keyring call at a time
  std::mutex dialogMutex_;                      // one dialog step at a time
  std::map<std::string, Credentials> session_;  // by KeyForHost
  std::set<std::string> staleSaved_;            // saved entries refused this session
};

}  // namespace netinfo
