#pragma once
// Why a computer's shares could not be listed: one of a fixed set of causes,
// each found by evidence (the name lookup, the SMB probe, the logon attempts
// and what the server answered them), and the server's or the system's own
// word for it. The codes are stable: the command line prints them and the
// manual page lists them; the sentences live with the window and the
// command line (app/causes.*).
#include <cstdint>
#include <string>
#include <vector>

namespace netinfo {

enum class Cause : uint8_t {
  kNone = 0,
  kNameNotFound,   // no lookup method found the name
  kNoAnswer,       // nothing answers at the address
  kPortsRefused,   // 445 and 139 refused: no file sharing, or a firewall that rejects
  kHung,           // accepts a connection and never answers SMB
  kNotSmb,         // answers with something that is not SMB
  kSmb1Only,       // speaks only SMB1, which is off
  kLogonNeeded,    // guests refused, and no ticket or login to offer
  kLogonRefused,   // a login was offered and refused (wrong password, locked, expired)
  kLoginHeldBack,  // a saved login held back: the computer answers from another address
  kListDenied,     // logged on, but the share list was refused
  kStalled,        // the server stopped answering during the listing
  kHelperFailed,   // the SMB library failed for this computer (its helper crashed)
  kFailed,         // none of the above: the detail says what the library said
};

// The stable code ("smb1-only", ...); "" for kNone.
const char* CauseCode(Cause cause);
// Every cause but kNone, in the order above (for the manual and tests).
std::vector<Cause> AllCauses();

struct FailureCause {
  Cause cause = Cause::kNone;
  // The library's or the system's own status (NT_STATUS_LOGON_FAILURE,
  // ETIMEDOUT, a signal name...), ASCII; may be empty.
  std::string detail;
};

// One logon attempt as the provider saw it.
struct AttemptOutcome {
  enum class Way { kTicket, kPassword, kAnonymous };
  Way way = Way::kAnonymous;
  int error = 0;       // errno; 0: listed
  std::string status;  // the server's NT_STATUS_* name, when the library logged one
};

// The cause when every attempt failed. heldBack: a saved or session login
// was not offered because the computer answers from another address.
FailureCause ClassifyAttempts(const std::vector<AttemptOutcome>& attempts, bool heldBack);

// The cause a provider's result code gives where the provider could not
// tell more (the platform's own client decides, as on Windows).
FailureCause CauseOfProviderCode(int code);

// The errno's symbolic name ("ETIMEDOUT"), or its number.
std::string ErrnoName(int error);

}  // namespace netinfo
