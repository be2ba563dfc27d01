// How the logon attempts a provider made become one cause.
#include "failure_cause.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>

namespace {

using netinfo::AttemptOutcome;
using netinfo::Cause;
using Way = AttemptOutcome::Way;

TEST(FailureCause, TheAttemptsSayWhichCauseAndTheServersWordsAreKept) {
  const AttemptOutcome guestRefused{Way::kAnonymous, EACCES, ""};
  const AttemptOutcome wrongPassword{Way::kPassword, EINVAL, "NT_STATUS_LOGON_FAILURE"};
  const AttemptOutcome locked{Way::kPassword, EACCES, "NT_STATUS_ACCOUNT_LOCKED_OUT"};
  const AttemptOutcome listDenied{Way::kPassword, EACCES, "NT_STATUS_ACCESS_DENIED"};
  const AttemptOutcome ticketRefused{Way::kTicket, EACCES, "NT_STATUS_LOGON_FAILURE"};
  const AttemptOutcome stalled{Way::kAnonymous, ETIMEDOUT, ""};
  const AttemptOutcome dropped{Way::kPassword, ECONNRESET, "NT_STATUS_CONNECTION_DISCONNECTED"};
  const struct {
    std::vector<AttemptOutcome> attempts;
    bool heldBack;
    Cause cause;
    std::string detail;
  } cases[] = {
      {{guestRefused}, false, Cause::kLogonNeeded, "EACCES"},
      {{ticketRefused, guestRefused}, false, Cause::kLogonNeeded, "EACCES"},
      {{guestRefused}, true, Cause::kLoginHeldBack, "EACCES"},
      {{wrongPassword, guestRefused}, false, Cause::kLogonRefused, "NT_STATUS_LOGON_FAILURE"},
      // The password typed last says the most.
      {{wrongPassword, guestRefused, locked}, false, Cause::kLogonRefused, "NT_STATUS_ACCOUNT_LOCKED_OUT"},
      {{listDenied, guestRefused}, false, Cause::kListDenied, "NT_STATUS_ACCESS_DENIED"},
      // An anonymous listing refused is a logon needed, whatever the status.
      {{{Way::kAnonymous, EACCES, "NT_STATUS_ACCESS_DENIED"}}, false, Cause::kLogonNeeded, "NT_STATUS_ACCESS_DENIED"},
      {{stalled}, false, Cause::kStalled, "ETIMEDOUT"},
      {{guestRefused, {Way::kPassword, ECONNREFUSED, ""}}, false, Cause::kPortsRefused, "ECONNREFUSED"},
      {{dropped}, false, Cause::kFailed, "NT_STATUS_CONNECTION_DISCONNECTED"},
      {{}, false, Cause::kFailed, ""},
  };
  for (const auto& c : cases) {
    const netinfo::FailureCause found = netinfo::ClassifyAttempts(c.attempts, c.heldBack);
    EXPECT_EQ(found.cause, c.cause) << netinfo::CauseCode(c.cause) << " got " << netinfo::CauseCode(found.cause);
    EXPECT_EQ(found.detail, c.detail) << netinfo::CauseCode(c.cause);
  }
  // Every cause has its own stable code.
  std::set<std::string> codes;
  for (const Cause cause : netinfo::AllCauses()) codes.insert(netinfo::CauseCode(cause));
  EXPECT_EQ(codes.size(), netinfo::AllCauses().size());
  EXPECT_EQ(codes.count(""), 0u);
}

}  // namespace
