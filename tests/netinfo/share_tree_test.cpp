// The share tree engine on the fake provider, with the test's own thread as
// the owner: what is posted to it runs when the test drains its queue.
#include "share_tree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "fake_credentials.h"
#include "fake_provider.h"
#include "prompt_relay.h"
#include "smb_auth.h"

namespace {

using namespace std::chrono_literals;
using netinfo::ShareTree;
using netinfo::ShareTreeRow;

class OwnerQueue {
 public:
  ShareTree::Post post() {
    return [this](std::function<void()> fn) {
      const std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(fn));
    };
  }
  // Runs what was posted until done() holds or the time is up.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::function<void()> fn;
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!queue_.empty()) {
          fn = std::move(queue_.front());
          queue_.pop_front();
        }
      }
      if (fn)
        fn();
      else
        std::this_thread::sleep_for(1ms);
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
};

netinfo::ShareTreeSteps Resolving() {
  netinfo::ShareTreeSteps steps;
  steps.resolve = [](const std::string& name) -> netinfo::NameResolution {
    if (name.rfind("NONAME", 0) == 0) return base::Failure{1, "unknown"};
    return netinfo::ResolvedHost{"10.0.0.1", netinfo::NameSource::kDns};
  };
  return steps;
}

std::vector<std::string> Names(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back("PC" + std::to_string(100 + i));
  return names;
}

TEST(ShareTreeEngine, RowsInOrderWithinTheBoundAndEachNameResolvedOnce) {
  fakes::FakeProvider provider;
  std::atomic<int> inside{0}, peak{0};
  provider.OnOpen([&](const std::string& remote) {
    const int now = ++inside;
    for (int seen = peak; now > seen && !peak.compare_exchange_weak(seen, now);) {}
    // Later rows finish first, so results arrive out of order.
    std::this_thread::sleep_for(std::chrono::milliseconds(remote.back() == '0' ? 60 : 5));
    --inside;
  });
  for (const std::string& name : Names(30)) provider.Add("\\\\" + name, {"\\\\" + name + "\\S"});
  std::atomic<int> resolutions{0};
  netinfo::ShareTreeSteps steps = Resolving();
  steps.resolve = [&, inner = steps.resolve](const std::string& name) {
    ++resolutions;
    return inner(name);
  };
  OwnerQueue owner;
  ShareTree tree(provider, steps, owner.post(), 8);
  std::vector<std::string> names = Names(30);
  names.insert(names.begin() + 3, "NONAME1");
  std::vector<size_t> order;
  std::vector<bool> listed;
  bool done = false;
  ASSERT_TRUE(tree.Start(names, {[&](const ShareTreeRow& r) {
                                   order.push_back(r.row);
                                   listed.push_back(r.shares.ok());
                                 },
                                 [&] { done = true; }}));
  EXPECT_FALSE(tree.Start(names, {})) << "a second build while one runs";
  ASSERT_TRUE(owner.RunUntil([&] { return done; }));
  ASSERT_EQ(order.size(), names.size());
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
  EXPECT_FALSE(listed[3]);
  EXPECT_TRUE(listed[4]);
  EXPECT_LE(peak, 8);
  EXPECT_GE(peak, 2);
  EXPECT_EQ(resolutions, 31);
  EXPECT_EQ(provider.openHandles(), 0);
  EXPECT_FALSE(tree.Running());
}

TEST(ShareTreeEngine, StopDropsRowsNotStartedAndNothingIsHandedOverAfter) {
  fakes::FakeProvider provider;
  std::atomic<int> opens{0};
  provider.OnOpen([&](const std::string&) {
    ++opens;
    std::this_thread::sleep_for(100ms);
  });
  OwnerQueue owner;
  int rows = 0;
  bool done = false;
  {
    ShareTree tree(provider, Resolving(), owner.post(), 4);
    tree.Start(Names(50), {[&](const ShareTreeRow&) { ++rows; }, [&] { done = true; }});
    std::this_thread::sleep_for(30ms);
    const auto start = std::chrono::steady_clock::now();
    tree.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(tree.Running());
  }
  EXPECT_EQ(opens, 4);                         // the rows under way, none after
  owner.RunUntil([] { return false; }, 50ms);  // what the workers had posted
  EXPECT_EQ(rows, 0);
  EXPECT_FALSE(done);
}

// A prompt that answers only when the test lets it, counting dialogs open at once.
class SlowPrompt final : public netinfo::LoginPrompt {
 public:
  std::optional<netinfo::LoginAnswer> Ask(const netinfo::LoginRequest& request) override {
    EXPECT_EQ(++open, 1) << "two dialogs at once";
    asked.push_back(request.host);
    if (waitFor) waitFor();
    --open;
    netinfo::LoginAnswer answer;
    answer.credentials.user = "alice";
    answer.credentials.password = netinfo::Secret("pw", 2);
    return answer;
  }
  int open = 0;
  std::vector<std::string> asked;
  std::function<void()> waitFor;
};

TEST(ShareTreeEngine, ALoginDialogOnTheOwnersThreadWhileTheOtherRowsGoOn) {
  // SECURE and SECURE again (two rows of one computer) refuse guests; the
  // others list at once. One dialog is asked, on the owner's thread, while
  // the other rows finish; the second row uses what the dialog gave.
  fakes::FakeProvider provider;
  SlowPrompt dialog;
  netinfo::PromptRelay relay(dialog);
  fakes::FakeCredentialStore store;
  netinfo::Authenticator login(&store, &relay);
  std::atomic<int> plainDone{0};
  provider.OnOpen([&](const std::string& remote) {
    if (remote != "\\\\SECURE") {
      ++plainDone;
      return;
    }
    login.Open("SECURE", {"10.0.0.1", netinfo::NameSource::kDns}, false, [](const netinfo::Logon& logon) {
      return logon.kind == netinfo::Logon::Kind::kPassword && logon.user == "alice" ? 0 : EACCES;
    });
  });
  provider.Add("\\\\SECURE", {"\\\\SECURE\\S"});
  for (const std::string& name : Names(6)) provider.Add("\\\\" + name, {});
  const std::thread::id ownerThread = std::this_thread::get_id();
  OwnerQueue owner;
  relay.Open(owner.post());
  ShareTree tree(provider, Resolving(), owner.post(), 4);
  std::vector<std::string> names = {"SECURE", "SECURE"};
  for (const std::string& name : Names(6)) names.push_back(name);
  int rowsSeen = 0;
  bool done = false;
  dialog.waitFor = [&] {
    EXPECT_EQ(std::this_thread::get_id(), ownerThread);
    // While the dialog stands, the plain rows are all listed.
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (plainDone < 6 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(plainDone, 6);
  };
  tree.Start(names, {[&](const ShareTreeRow& r) { rowsSeen += r.shares.ok(); }, [&] { done = true; }});
  ASSERT_TRUE(owner.RunUntil([&] { return done; }));
  EXPECT_EQ(dialog.asked, std::vector<std::string>{"SECURE"});
  EXPECT_EQ(rowsSeen, 8);
  EXPECT_EQ(login.UserFor("SECURE"), "alice");
  relay.Close();
}

TEST(ShareTreeEngine, AClosedRelayAnswersAWaitingWorkerWithNothing) {
  SlowPrompt dialog;
  netinfo::PromptRelay relay(dialog);
  OwnerQueue owner;  // never drained: the owner is busy going away
  relay.Open(owner.post());
  std::optional<netinfo::LoginAnswer> answer = netinfo::LoginAnswer{};
  std::thread worker([&] { answer = relay.Ask({}); });
  std::this_thread::sleep_for(20ms);
  relay.Close();
  worker.join();
  EXPECT_FALSE(answer);
  EXPECT_TRUE(dialog.asked.empty());
  owner.RunUntil([] { return false; }, 20ms);  // the queued question is not asked after the close
  EXPECT_TRUE(dialog.asked.empty());
}

}  // namespace

// What ends a row says why: the probe's answer ends it before the provider is
// asked (SMB1 goes on only where the owner allows it, and says so to the
// provider); the provider's own cause is kept; a name found nowhere names
// the methods asked.
TEST(ShareTreeEngine, EachRowEndsWithTheCauseItsFirstFailingStepFound) {
  using netinfo::Cause;
  using netinfo::SmbReach;
  const std::map<std::string, SmbReach> reach = {
      {"SILENT", SmbReach::kNoAnswer}, {"CLOSED", SmbReach::kRefused},  {"HUNG", SmbReach::kHung},
      {"GARBLED", SmbReach::kNotSmb},  {"OLDNAS", SmbReach::kSmb1Only}, {"OLDOK", SmbReach::kSmb1Only},
  };
  fakes::FakeProvider provider;
  provider.Add("\\\\OLDOK", {"\\\\OLDOK\\old"});
  provider.FailOpen("\\\\LOCKED", netinfo::kErrorAccessDenied, {Cause::kLogonRefused, "NT_STATUS_LOGON_FAILURE"});
  netinfo::ShareTreeSteps steps;
  steps.resolve = [](const std::string& name) -> netinfo::NameResolution {
    if (name == "NONAME") return base::Failure{1, "unknown"};
    return netinfo::ResolvedHost{name, netinfo::NameSource::kDotted};
  };
  steps.probe = [&reach](const std::string& address) {
    const auto it = reach.find(address);
    return netinfo::SmbProbe{it == reach.end() ? SmbReach::kSmb2 : it->second};
  };
  std::vector<std::string> asked;
  steps.allowSmb1 = [&asked](const std::string& name, const netinfo::ResolvedHost&) {
    asked.push_back(name);
    return name == "OLDOK";
  };
  OwnerQueue owner;
  ShareTree tree(provider, steps, owner.post(), 1);
  std::map<std::string, ShareTreeRow> rows;
  bool done = false;
  ASSERT_TRUE(tree.Start({"SILENT", "CLOSED", "HUNG", "GARBLED", "OLDNAS", "OLDOK", "LOCKED", "NONAME"},
                         {[&](const ShareTreeRow& row) { rows[row.name] = row; }, [&] { done = true; }}));
  ASSERT_TRUE(owner.RunUntil([&] { return done; }));
  const std::map<std::string, Cause> expected = {
      {"SILENT", Cause::kNoAnswer},     {"CLOSED", Cause::kPortsRefused}, {"HUNG", Cause::kHung},
      {"GARBLED", Cause::kNotSmb},      {"OLDNAS", Cause::kSmb1Only},     {"OLDOK", Cause::kNone},
      {"LOCKED", Cause::kLogonRefused}, {"NONAME", Cause::kNameNotFound},
  };
  const auto causeOf = [&rows](const std::string& name) {
    const ShareTreeRow& row = rows.at(name);
    return row.shares ? netinfo::FailureCause{} : netinfo::CauseOf(row.shares.failure());
  };
  for (const auto& [name, cause] : expected) EXPECT_EQ(causeOf(name).cause, cause) << name;
  EXPECT_EQ(causeOf("LOCKED").detail, "NT_STATUS_LOGON_FAILURE");
  EXPECT_EQ(causeOf("NONAME").detail, "hosts, DNS, NetBIOS, mDNS, LLMNR");
  EXPECT_TRUE(rows["OLDOK"].shares);
  EXPECT_TRUE(rows["OLDOK"].smb1);
  EXPECT_EQ(asked, (std::vector<std::string>{"OLDNAS", "OLDOK"}));
  // Only the computers that could answer SMB reached the provider, and only
  // the allowed one with SMB1.
  std::vector<std::string> opened;
  for (const auto& request : provider.requests()) {
    opened.push_back(request.remoteName);
    EXPECT_EQ(request.allowSmb1, request.remoteName == "\\\\OLDOK") << request.remoteName;
  }
  EXPECT_EQ(opened, (std::vector<std::string>{"\\\\OLDOK", "\\\\LOCKED"}));
  EXPECT_EQ(netinfo::NameMethodsAsked("nas.example.com"), "hosts, DNS");
  EXPECT_EQ(netinfo::NameMethodsAsked("nas.LOCAL"), "hosts, DNS, mDNS");
}

// The share's name is counted from the end of the entry, whatever the node's
// bytes are; what leaves nothing gives nothing.
TEST(ShareTree, ShareNameIsWhatFollowsTheNode) {
  const struct {
    const char* entry;
    const char* node;
    const char* share;
  } cases[] = {
      {"\\\\NAS\\public", "NAS", "public"},
      {"\\\\nas\\public", "NAS", "public"},
      {"\\\\NAS\\", "NAS", ""},
      {"\\\\NAS", "NAS", ""},
      {"\\\\\\s", "", "s"},
      {"\\\\\x83\x5c\x83\x74\\\x95\x5c", "\x83\x5c\x83\x74", "\x95\x5c"},
  };
  for (const auto& c : cases) EXPECT_EQ(netinfo::ShareName(c.entry, c.node), c.share) << c.entry;
}
