#include "smb_auth.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <deque>

#include "fake_credentials.h"

namespace {

using netinfo::Authenticator;
using netinfo::Credentials;
using netinfo::LoginAnswer;
using netinfo::LoginRequest;
using netinfo::Logon;
using netinfo::Secret;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Reason = LoginRequest::Reason;

Secret S(const std::string& text) { return Secret(text.data(), text.size()); }

Credentials C(const std::string& user, const std::string& password) { return {user, S(password)}; }

// A computer as the attempts see it: what it accepts, and every logon it was
// offered ("kerberos", "anonymous", "password:WORKGROUP\user:password").
struct Computer {
  bool ticketWorks = false;
  bool guestWorks = false;
  std::string user = "alice", password = "right";
  int refusal = EACCES;  // what a refused logon gives
  int other = 0;         // when set, every attempt fails so
  std::vector<std::string> offered;

  int operator()(const Logon& logon) {
    switch (logon.kind) {
      case Logon::Kind::kKerberos:
        offered.push_back("kerberos");
        return other ? other : ticketWorks ? 0 : EACCES;
      case Logon::Kind::kAnonymous:
        offered.push_back("anonymous");
        return other ? other : guestWorks ? 0 : refusal;
      case Logon::Kind::kPassword:
        offered.push_back("password:" + logon.workgroup + "\\" + logon.user + ":" + logon.password->bytes());
        return other ? other : (logon.user == user && logon.password->bytes() == password) ? 0 : refusal;
    }
    return EIO;
  }
};

// The dialog: answers from a queue (nothing left = Cancel), records requests.
struct Prompt : netinfo::LoginPrompt {
  std::deque<std::optional<LoginAnswer>> answers;
  std::vector<LoginRequest> asked;

  Prompt& Answer(const std::string& user, const std::string& password, bool save = false) {
    answers.push_back(LoginAnswer{C(user, password), save});
    return *this;
  }
  std::optional<LoginAnswer> Ask(const LoginRequest& request) override {
    asked.push_back(request);
    if (answers.empty()) return std::nullopt;
    auto answer = std::move(answers.front());
    answers.pop_front();
    return answer;
  }
  std::vector<Reason> Reasons() const {
    std::vector<Reason> out;
    for (const auto& r : asked) out.push_back(r.reason);
    return out;
  }
};

class Attempts : public ::testing::Test {
 protected:
  int Open(const std::string& host = "pc01", bool ticket = false) {
    return auth.Open(host, ticket, [this](const Logon& l) { return pc(l); });
  }
  Computer pc;
  fakes::FakeCredentialStore store;
  Prompt prompt;
  Authenticator auth{&store, &prompt};
};

TEST_F(Attempts, GoInOrderTicketSessionKeyringGuestDialog) {
  store.entries["smb://PC01"] = C("alice", "stale");
  pc.password = "fresh";
  prompt.Answer("alice", "fresh");
  EXPECT_EQ(Open("pc01", true), 0);
  EXPECT_THAT(pc.offered, ElementsAre("kerberos", "password:\\alice:stale", "anonymous", "password:\\alice:fresh"));
  ASSERT_EQ(prompt.asked.size(), 1u);
  EXPECT_EQ(prompt.asked[0].host, "pc01");
  EXPECT_EQ(prompt.asked[0].reason, Reason::kFirst);
  EXPECT_THAT(store.saves, IsEmpty());  // the box was not ticked

  // The session's credentials come right after the ticket; the refused
  // keyring entry is not offered again.
  pc.offered.clear();
  EXPECT_EQ(Open("PC01", true), 0);
  EXPECT_THAT(pc.offered, ElementsAre("kerberos", "password:\\alice:fresh"));
  EXPECT_EQ(prompt.asked.size(), 1u);
  EXPECT_EQ(auth.UserFor("Pc01"), "alice");
}

TEST_F(Attempts, FirstSuccessEndsThemWithoutAsking) {
  struct Case {
    const char* what;
    bool ticket, ticketWorks, guestWorks, saved;
    std::vector<std::string> offered;
  };
  const Case cases[] = {
      {"ticket", true, true, false, true, {"kerberos"}},
      {"no ticket cache: no Kerberos try", false, true, true, false, {"anonymous"}},
      {"keyring", false, false, false, true, {"password:\\alice:right"}},
      {"guest after a ticket that does not fit", true, false, true, false, {"kerberos", "anonymous"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Computer computer;
    computer.ticketWorks = c.ticketWorks;
    computer.guestWorks = c.guestWorks;
    fakes::FakeCredentialStore keyring;
    if (c.saved) keyring.entries["smb://PC"] = C("alice", "right");
    Prompt ask;
    Authenticator a(&keyring, &ask);
    EXPECT_EQ(a.Open("pc", c.ticket, [&](const Logon& l) { return computer(l); }), 0);
    EXPECT_EQ(computer.offered, c.offered);
    EXPECT_THAT(ask.asked, IsEmpty());
  }
}

TEST_F(Attempts, EveryRefusalCodeLeadsToTheDialogAnyOtherFailureEndsThem) {
  for (const int refusal : {EACCES, EPERM, EINVAL}) {
    Computer computer;
    computer.refusal = refusal;
    Prompt ask;
    ask.Answer("alice", "right");
    Authenticator a(nullptr, &ask);
    EXPECT_EQ(a.Open("pc", false, [&](const Logon& l) { return computer(l); }), 0) << refusal;
    EXPECT_EQ(ask.asked.size(), 1u) << refusal;
  }
  // A connection dropped mid-logon, an unreachable host: no dialog.
  for (const int failure : {ECONNRESET, ETIMEDOUT, EHOSTUNREACH}) {
    pc.other = failure;
    pc.offered.clear();
    store.entries["smb://PC01"] = C("alice", "right");
    EXPECT_EQ(Open(), failure);
    EXPECT_THAT(pc.offered, ElementsAre("password:\\alice:right")) << failure;
  }
  EXPECT_THAT(prompt.asked, IsEmpty());
}

TEST_F(Attempts, AtMostThreeDialogsAndTheyNameTheFailure) {
  prompt.Answer("alice", "no1").Answer("alice", "no2").Answer("alice", "no3").Answer("alice", "right");
  EXPECT_EQ(Open(), EACCES);
  EXPECT_THAT(prompt.Reasons(), ElementsAre(Reason::kFirst, Reason::kWrongCredentials, Reason::kWrongCredentials));
  EXPECT_EQ(pc.offered.size(), 4u);  // guest and three passwords
  EXPECT_EQ(auth.UserFor("pc01"), "");

  // The next call (the next click) may ask again.
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(prompt.asked.size(), 4u);
}

TEST_F(Attempts, CancelEndsTheAttemptsAndStoresNothing) {
  EXPECT_EQ(Open(), EACCES);  // the queue is empty: Cancel
  EXPECT_EQ(prompt.asked.size(), 1u);
  EXPECT_THAT(store.saves, IsEmpty());
  EXPECT_EQ(auth.UserFor("pc01"), "");
}

TEST_F(Attempts, SavedOnlyWhenTickedAfterSuccessWhereAKeyringAnswers) {
  prompt.Answer("alice", "wrong", true).Answer("alice", "right", true);
  EXPECT_EQ(Open("pc01"), 0);
  EXPECT_THAT(store.saves, ElementsAre("smb://PC01"));
  EXPECT_EQ(store.entries["smb://PC01"].password.bytes(), "right");

  // No keyring: the box cannot be ticked, nothing is saved, the session
  // still remembers.
  fakes::FakeCredentialStore none;
  none.available = false;
  Prompt ask;
  ask.Answer("alice", "right", true);
  Authenticator a(&none, &ask);
  Computer computer;
  auto attempt = [&](const Logon& l) { return computer(l); };
  EXPECT_EQ(a.Open("pc02", false, attempt), 0);
  EXPECT_FALSE(ask.asked[0].canSave);
  EXPECT_THAT(none.saves, IsEmpty());
  EXPECT_EQ(a.Open("pc02", false, attempt), 0);
  EXPECT_EQ(ask.asked.size(), 1u);
}

TEST_F(Attempts, BadInputGetsAClearOutcome) {
  // A user name of 300 bytes is never sent cut short: the dialog says why.
  pc.password = "パス🔑word";
  prompt.Answer(std::string(300, 'u'), "x").Answer("alice", "パス🔑word", true);
  EXPECT_EQ(Open(), 0);
  EXPECT_THAT(prompt.Reasons(), ElementsAre(Reason::kFirst, Reason::kTooLong));
  EXPECT_THAT(pc.offered, ElementsAre("anonymous", "password:\\alice:パス🔑word"));
  EXPECT_EQ(store.entries["smb://PC01"].password.bytes(), "パス🔑word");

  // An empty password is sent as such, and refused as any other.
  Prompt ask;
  ask.Answer("alice", "");
  Computer computer;
  Authenticator a(nullptr, &ask);
  EXPECT_EQ(a.Open("pc", false, [&](const Logon& l) { return computer(l); }), EACCES);
  EXPECT_THAT(computer.offered, ElementsAre("anonymous", "password:\\alice:"));
}

TEST(PasswordLogon, SplitsTheDomainOffTheUserName) {
  const Credentials cases[] = {C("alice", "p"),
                               C("DOM\\alice", "p"),
                               C("DOM\xC2\xA5"
                                 "alice",
                                 "p"),
                               C("alice@REALM.TEST", "p"),
                               C("\\alice", "p"),
                               C("alice@", "p")};
  std::vector<std::string> got;
  for (const Credentials& c : cases) {
    const Logon l = netinfo::PasswordLogon(c);
    EXPECT_EQ(l.password, &c.password);
    got.push_back(l.workgroup + "|" + l.user);
  }
  EXPECT_THAT(got, ElementsAre("|alice", "DOM|alice", "DOM|alice", "REALM.TEST|alice", "|\\alice", "|alice@"));
}

TEST(StoredCredentials, RoundTripAndRefuseMalformedEntries) {
  const Secret packed = netinfo::PackCredentials(C("DOM\\alice", std::string("p\0w", 3)));
  const auto back = netinfo::UnpackCredentials(packed.bytes());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->user, "DOM\\alice");
  EXPECT_EQ(back->password.bytes(), std::string("p\0w", 3));
  EXPECT_FALSE(netinfo::UnpackCredentials("no separator"));
  EXPECT_FALSE(netinfo::UnpackCredentials(std::string("\0pw", 3)));
  EXPECT_EQ(netinfo::KeyForHost("pc-01.ローカル"), "smb://PC-01.ローカル");
}

}  // namespace
