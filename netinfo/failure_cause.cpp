#include "failure_cause.h"

#include <cerrno>
#include <cstring>

#include "netprovider.h"
#include "smb_auth.h"

namespace netinfo {

const char* CauseCode(Cause cause) {
  switch (cause) {
    case Cause::kNone:
      return "";
    case Cause::kNameNotFound:
      return "name-not-found";
    case Cause::kNoAnswer:
      return "no-answer";
    case Cause::kPortsRefused:
      return "ports-refused";
    case Cause::kHung:
      return "hung";
    case Cause::kNotSmb:
      return "not-smb";
    case Cause::kSmb1Only:
      return "smb1-only";
    case Cause::kLogonNeeded:
      return "logon-needed";
    case Cause::kLogonRefused:
      return "logon-refused";
    case Cause::kLoginHeldBack:
      return "login-held-back";
    case Cause::kListDenied:
      return "list-denied";
    case Cause::kStalled:
      return "stalled";
    case Cause::kHelperFailed:
      return "helper-failed";
    case Cause::kFailed:
      return "failed";
  }
  return "failed";
}

std::vector<Cause> AllCauses() {
  std::vector<Cause> all;
  for (auto c = static_cast<uint8_t>(Cause::kNameNotFound); c <= static_cast<uint8_t>(Cause::kFailed); ++c)
    all.push_back(static_cast<Cause>(c));
  return all;
}

std::string ErrnoName(int error) {
  switch (error) {
    case EACCES:
      return "EACCES";
    case EPERM:
      return "EPERM";
    case EINVAL:
      return "EINVAL";
    case ENOENT:
      return "ENOENT";
    case ETIMEDOUT:
      return "ETIMEDOUT";
    case ECONNREFUSED:
      return "ECONNREFUSED";
    case ECONNRESET:
      return "ECONNRESET";
    case EHOSTUNREACH:
      return "EHOSTUNREACH";
    case ENETUNREACH:
      return "ENETUNREACH";
    case EPIPE:
      return "EPIPE";
    case EIO:
      return "EIO";
    case ENOMEM:
      return "ENOMEM";
    case EPROTONOSUPPORT:
      return "EPROTONOSUPPORT";
    default:
      return "errno " + std::to_string(error);
  }
}

FailureCause CauseOfProviderCode(int code) {
  switch (code) {
    case kErrorAccessDenied:
      return {Cause::kLogonNeeded, "ERROR_ACCESS_DENIED"};
    case kErrorBadNetPath:
      return {Cause::kNoAnswer, "ERROR_BAD_NETPATH"};
    case kErrorBadNetName:
      return {Cause::kFailed, "ERROR_BAD_NET_NAME"};
    case kErrorNoNetwork:
      return {Cause::kFailed, "ERROR_NO_NETWORK"};
    default:
      return {Cause::kFailed, "error " + std::to_string(code)};
  }
}

namespace {

bool Authenticated(const AttemptOutcome& a) { return a.way != AttemptOutcome::Way::kAnonymous; }

std::string DetailOf(const AttemptOutcome& a) { return a.status.empty() ? ErrnoName(a.error) : a.status; }

// A server that let the logon through and then refused the listing says
// ACCESS_DENIED (on IPC$ or the share-enumeration call); a refused logon
// says LOGON_FAILURE or one of the account's states.
bool DeniedAfterLogon(const AttemptOutcome& a) { return Authenticated(a) && a.status == "NT_STATUS_ACCESS_DENIED"; }

}  // namespace

FailureCause ClassifyAttempts(const std::vector<AttemptOutcome>& attempts, bool heldBack) {
  if (attempts.empty()) return {heldBack ? Cause::kLoginHeldBack : Cause::kFailed, {}};
  const AttemptOutcome& last = attempts.back();
  if (!NeedsCredentials(last.error)) {
    // The attempts ended on something other than a refusal.
    switch (last.error) {
      case ETIMEDOUT:
        return {Cause::kStalled, DetailOf(last)};
      case ECONNREFUSED:
        return {Cause::kPortsRefused, DetailOf(last)};
      case EHOSTUNREACH:
      case ENETUNREACH:
        return {Cause::kNoAnswer, DetailOf(last)};
      default:
        return {Cause::kFailed, DetailOf(last)};
    }
  }
  for (const AttemptOutcome& a : attempts)
    if (DeniedAfterLogon(a)) return {Cause::kListDenied, a.status};
  // The last password refused says the most: the user typed or saved it.
  for (auto it = attempts.rbegin(); it != attempts.rend(); ++it)
    if (it->way == AttemptOutcome::Way::kPassword && NeedsCredentials(it->error))
      return {Cause::kLogonRefused, DetailOf(*it)};
  if (heldBack) return {Cause::kLoginHeldBack, DetailOf(last)};
  return {Cause::kLogonNeeded, DetailOf(last)};
}

}  // namespace netinfo
