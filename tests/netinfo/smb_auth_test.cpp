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

Credentials C(const std::string& user, const std::string& password) { return {user, S(password), {}}; }

// The rules before bindings hold for a computer named by DNS.
const netinfo::ResolvedHost kByDns{"10.0.0.9", netinfo::NameSource::kDns};

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
    return auth.Open(host, kByDns, ticket, [this](const Logon& l) { return pc(l); });
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
    EXPECT_EQ(a.Open("pc", kByDns, c.ticket, [&](const Logon& l) { return computer(l); }), 0);
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
    EXPECT_EQ(a.Open("pc", kByDns, false, [&](const Logon& l) { return computer(l); }), 0) << refusal;
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
  EXPECT_EQ(a.Open("pc02", kByDns, false, attempt), 0);
  EXPECT_FALSE(ask.asked[0].canSave);
  EXPECT_THAT(none.saves, IsEmpty());
  EXPECT_EQ(a.Open("pc02", kByDns, false, attempt), 0);
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
  EXPECT_EQ(a.Open("pc", kByDns, false, [&](const Logon& l) { return computer(l); }), EACCES);
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
  Credentials bound = C("DOM\\alice", "pw");
  bound.boundTo = netinfo::ResolvedHost{"10.0.0.7", netinfo::NameSource::kLlmnr};
  const Secret packed = netinfo::PackCredentials(bound);
  // The release before bindings takes the password as the library does:
  // up to its NUL.
  EXPECT_STREQ(packed.bytes().c_str() + 10, "pw");
  const auto back = netinfo::UnpackCredentials(packed.bytes());
  ASSERT_TRUE(back && back->boundTo);
  EXPECT_EQ(back->user, "DOM\\alice");
  EXPECT_EQ(back->password.bytes(), "pw");
  EXPECT_EQ(back->boundTo->address, "10.0.0.7");
  EXPECT_EQ(back->boundTo->source, netinfo::NameSource::kLlmnr);
  // An entry of that release, and one whose binding cannot be read: unbound.
  for (const std::string& unbound : {std::string("bob\0pw", 6), std::string("bob\0pw\0bound 10.0.0.7 carrier", 30)}) {
    const auto old = netinfo::UnpackCredentials(unbound);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->password.bytes(), "pw");
    EXPECT_FALSE(old->boundTo);
  }
  EXPECT_FALSE(netinfo::UnpackCredentials("no separator"));
  EXPECT_FALSE(netinfo::UnpackCredentials(std::string("\0pw", 3)));
  EXPECT_EQ(netinfo::KeyForHost("pc-01.ローカル"), "smb://PC-01.ローカル");
}

TEST(Binding, CredentialsGoOnlyToTheAddressTheyOpenedOrByDns) {
  using netinfo::NameSource;
  using netinfo::ResolvedHost;
  const std::optional<ResolvedHost> at7 = ResolvedHost{"10.0.0.7", NameSource::kNetbios};
  struct Case {
    std::optional<ResolvedHost> bound;
    ResolvedHost now;
    bool offered;
  } const cases[] = {
      {at7, {"10.0.0.7", NameSource::kNetbios}, true},
      {at7, {"10.0.0.7", NameSource::kMdns}, true},
      {at7, {"10.0.0.8", NameSource::kNetbios}, false},
      {at7, {"10.0.0.8", NameSource::kLlmnr}, false},
      {at7, {"10.0.0.8", NameSource::kMdns}, false},
      {at7, {"10.0.0.8", NameSource::kSystem}, false},
      {at7, {"10.0.0.8", NameSource::kDns}, true},
      {at7, {"10.0.0.8", NameSource::kDotted}, true},
      {std::nullopt, {"10.0.0.7", NameSource::kNetbios}, false},
      {std::nullopt, {"10.0.0.7", NameSource::kDns}, true},
      {ResolvedHost{"", NameSource::kNetbios}, {"", NameSource::kNetbios}, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(netinfo::MayOffer(cases[i].bound, cases[i].now), cases[i].offered) << "case " << i;
}

TEST_F(Attempts, HeldBackCredentialsAreNeverSentAndTheDialogNamesBothAddresses) {
  const netinfo::ResolvedHost at7{"10.0.0.7", netinfo::NameSource::kNetbios};
  const netinfo::ResolvedHost at8{"10.0.0.8", netinfo::NameSource::kNetbios};
  auto open = [this](const netinfo::ResolvedHost& where) {
    return auth.Open("pc01", where, false, [this](const Logon& l) { return pc(l); });
  };
  store.entries["smb://PC01"] = C("alice", "right");
  store.entries["smb://PC01"].boundTo = at7;
  prompt.Answer("alice", "right", true);
  EXPECT_EQ(open(at8), 0);
  EXPECT_THAT(pc.offered, ElementsAre("anonymous", "password:\\alice:right"));  // the second from the dialog
  ASSERT_EQ(prompt.asked.size(), 1u);
  EXPECT_EQ(prompt.asked[0].user, "alice");
  EXPECT_EQ(prompt.asked[0].boundAddress, "10.0.0.7");
  EXPECT_EQ(prompt.asked[0].address, "10.0.0.8");
  // Saving again binds the entry to the new address; the session's copy too.
  EXPECT_EQ(store.entries["smb://PC01"].boundTo->address, "10.0.0.8");
  pc.offered.clear();
  EXPECT_EQ(open(at8), 0);
  EXPECT_THAT(pc.offered, ElementsAre("password:\\alice:right"));

  // The session's credentials are held back as well, Cancel sends nothing,
  // and the caller learns that a login was held back.
  pc.offered.clear();
  bool heldBack = false;
  EXPECT_EQ(auth.Open(
                "pc01", at7, false, [this](const Logon& l) { return pc(l); }, &heldBack),
            EACCES);
  EXPECT_TRUE(heldBack);
  EXPECT_THAT(pc.offered, ElementsAre("anonymous"));
  EXPECT_EQ(prompt.asked.back().boundAddress, "10.0.0.8");

  // An entry saved before bindings: asked for (no address to name) unless DNS names it.
  Authenticator fresh(&store, &prompt);
  store.entries["smb://PC02"] = C("bob", "right");
  pc.user = "bob";
  EXPECT_EQ(fresh.Open("pc02", at7, false, [this](const Logon& l) { return pc(l); }), EACCES);
  EXPECT_EQ(prompt.asked.back().user, "bob");
  EXPECT_EQ(prompt.asked.back().boundAddress, "");
  pc.offered.clear();
  EXPECT_EQ(fresh.Open(
                "pc02", kByDns, false, [this](const Logon& l) { return pc(l); }, &heldBack),
            0);
  EXPECT_FALSE(heldBack);
  EXPECT_THAT(pc.offered, ElementsAre("password:\\bob:right"));
}

}  // namespace
