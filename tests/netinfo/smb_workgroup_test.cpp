// Workgroup browsing through the libsmbclient provider on a small LAN of
// namespaces: one host becomes the master browser, a member joins, and the
// client sees the workgroup and both computers. Browse lists take about half
// a minute to form, so the test polls with a deadline instead of sleeping.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <thread>

#include "netresources.h"
#include "smb_test_env.h"

namespace {

using Clock = std::chrono::steady_clock;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

constexpr const char* kWorkgroup = "MIRELKAWG";
constexpr auto kDeadline = std::chrono::seconds(75);

class WorkgroupLan : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = smbtest::WhyNoServers(); !why.empty()) GTEST_SKIP() << why;
    dir_ = smbtest::MakeTempDir("mirelka-lan");
    ASSERT_FALSE(dir_.empty());
    smbtest::UsePrivateClientConfig(dir_);
    started_ = true;
    std::string a, b;
    ASSERT_EQ(smbtest::RunFixture("workgroup_fixture.sh start " + dir_ + " " + kWorkgroup + " HOSTA", &a), 0);
    ASSERT_EQ(smbtest::RunFixture("workgroup_fixture.sh add " + dir_ + " " + kWorkgroup + " HOSTB", &b), 0);
    // The provider's owner resolves names; here it knows the two hosts.
    const std::map<std::string, std::string> hosts = {{"HOSTA", Line(a)}, {"HOSTB", Line(b)}};
    provider_ = netinfo::MakePlatformNetProvider();
    provider_->SetHostLookup({[hosts](const std::string& name) -> std::optional<netinfo::ResolvedHost> {
                                const auto it = hosts.find(name);
                                if (it == hosts.end()) return std::nullopt;
                                return netinfo::ResolvedHost{it->second, netinfo::NameSource::kNetbios};
                              },
                              {}});
  }
  static std::string Line(const std::string& text) { return text.substr(0, text.find('\n')); }
  void TearDown() override {
    if (started_) smbtest::RunFixture("workgroup_fixture.sh stop " + dir_);
    smbtest::RemoveTree(dir_);
  }

  // Polls until done() holds or the deadline passes; true when it held.
  template <typename Done>
  bool PollUntil(Clock::time_point deadline, Done done) {
    while (Clock::now() < deadline) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    return done();
  }

  std::string dir_;
  bool started_ = false;
  std::unique_ptr<netinfo::NetProvider> provider_;
};

TEST_F(WorkgroupLan, FindsTheWorkgroupAndListsItsComputers) {
  const auto deadline = Clock::now() + kDeadline;
  std::string workgroup;
  const bool found = PollUntil(deadline, [&] {
    workgroup = netinfo::FindWorkgroupName(*provider_, 255).value_or("");
    return workgroup == kWorkgroup;
  });
  ASSERT_TRUE(found) << "no master browser answered; last name \"" << workgroup << "\"";

  // The top level with an empty name is the same request: the workgroups.
  const auto workgroups = netinfo::EnumNetResources(*provider_, "", "Microsoft Windows Network");
  ASSERT_TRUE(workgroups);
  EXPECT_THAT(*workgroups, ElementsAre(kWorkgroup));

  netinfo::ResourceList computers;
  PollUntil(deadline, [&] {
    computers = netinfo::EnumNetResources(*provider_, kWorkgroup, "Microsoft Windows Network").value_or({});
    return computers.size() >= 2;
  });
  EXPECT_THAT(computers, UnorderedElementsAre("\\\\HOSTA", "\\\\HOSTB"));

  // A computer of the list answers with its shares under its NetBIOS name.
  const auto shares = netinfo::EnumNetResources(*provider_, "\\\\HOSTB", "");
  ASSERT_TRUE(shares);
  EXPECT_THAT(*shares, UnorderedElementsAre("\\\\HOSTB\\pub"));
}

}  // namespace
