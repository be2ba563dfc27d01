// Share listing through the libsmbclient provider against a real smbd on
// 127.0.0.1:445, which each test starts and stops itself.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "companion.h"
#include "cp932_codec.h"
#include "netresources.h"
#include "smb_test_env.h"

namespace {

using ::testing::ElementsAre;

class LoopbackSmbd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = smbtest::WhyNoServers(); !why.empty()) GTEST_SKIP() << why;
    dir_ = smbtest::MakeTempDir("mirelka-smbd");
    ASSERT_FALSE(dir_.empty());
    smbtest::UsePrivateClientConfig(dir_);
    ASSERT_EQ(smbtest::RunFixture("smbd_fixture.sh start " + dir_ + "/server"), 0) << "smbd did not start";
    started_ = true;
    provider_ = netinfo::MakePlatformNetProvider();
  }
  void TearDown() override {
    if (started_) smbtest::RunFixture("smbd_fixture.sh stop " + dir_ + "/server");
    smbtest::RemoveTree(dir_);
  }

  std::string dir_;
  bool started_ = false;
  std::unique_ptr<netinfo::NetProvider> provider_;
};

TEST_F(LoopbackSmbd, ListsTheVisibleSharesInServerOrderAsCodePage932) {
  const auto list = netinfo::EnumNetResources(*provider_, "\\\\127.0.0.1", "");
  ASSERT_TRUE(list);
  EXPECT_THAT(*list, ElementsAre(cp932::Text(u8"\\\\127.0.0.1\\公開"), cp932::Text(u8"\\\\127.0.0.1\\共有データ"),
                                 "\\\\127.0.0.1\\my docs", "\\\\127.0.0.1\\printer1"));
  // A second listing gives the same, and each open was closed.
  const auto again = netinfo::EnumNetResources(*provider_, "\\\\127.0.0.1", "");
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *list);
}

TEST_F(LoopbackSmbd, ShareListingStillSpeaksSmb2AfterABrowse) {
  // Browsing allows only SMB1, and the server here refuses SMB1.
  static_cast<void>(netinfo::EnumNetResources(*provider_, "", "Microsoft Windows Network"));
  const auto list = netinfo::EnumNetResources(*provider_, "\\\\127.0.0.1", "");
  ASSERT_TRUE(list);
  EXPECT_EQ(list->size(), 4u);
}

TEST_F(LoopbackSmbd, RecordsCarryTheShareKindAndTheProvider) {
  netinfo::NetProvider::Handle handle = nullptr;
  std::string remote = "\\\\127.0.0.1";
  std::string none;
  netinfo::NetResource request;
  request.lpRemoteName = remote.data();
  request.lpProvider = none.data();
  ASSERT_EQ(provider_->OpenEnum(2, 0, 0, request, &handle), netinfo::kNoError);
  alignas(netinfo::NetResource) unsigned char buffer[1600];
  std::vector<uint32_t> types;
  uint32_t count = 1;
  uint32_t size = 1600;
  while (provider_->EnumResource(handle, &count, buffer, &size) == netinfo::kNoError) {
    netinfo::NetResource r;
    std::memcpy(&r, buffer, sizeof r);
    types.push_back(r.dwType);
    EXPECT_STREQ(r.lpProvider, "Microsoft Windows Network");
  }
  uint32_t tiny = 10;
  EXPECT_EQ(provider_->EnumResource(handle, &count, buffer, &tiny), netinfo::kErrorNoMoreItems);
  provider_->CloseEnum(handle);
  EXPECT_THAT(types, ElementsAre(1u, 1u, 1u, 2u));
}

TEST_F(LoopbackSmbd, RecordTooLargeForTheBufferReportsTheSizeNeeded) {
  netinfo::NetProvider::Handle handle = nullptr;
  std::string remote = "\\\\127.0.0.1";
  netinfo::NetResource request;
  request.lpRemoteName = remote.data();
  ASSERT_EQ(provider_->OpenEnum(2, 0, 0, request, &handle), netinfo::kNoError);
  alignas(netinfo::NetResource) unsigned char buffer[1600];
  uint32_t count = 1;
  uint32_t size = 20;
  EXPECT_EQ(provider_->EnumResource(handle, &count, buffer, &size), netinfo::kErrorMoreData);
  EXPECT_GT(size, 20u);
  // the same record is handed out once the buffer is large enough
  EXPECT_EQ(provider_->EnumResource(handle, &count, buffer, &size), netinfo::kNoError);
  netinfo::NetResource r;
  std::memcpy(&r, buffer, sizeof r);
  EXPECT_EQ(std::string(r.lpRemoteName), cp932::Text(u8"\\\\127.0.0.1\\公開"));
  provider_->CloseEnum(handle);
}

TEST_F(LoopbackSmbd, UnknownProviderAndAnAddressWithoutServerFailToOpen) {
  EXPECT_FALSE(netinfo::EnumNetResources(*provider_, "\\\\127.0.0.1", "Other Network"));
  EXPECT_FALSE(netinfo::EnumNetResources(*provider_, "\\\\127.0.0.2", ""));
  EXPECT_FALSE(netinfo::EnumNetResources(*provider_, "\\\\127.0.0.1\\my docs", ""));
}

// An address whose packets vanish: a veth pair in this namespace with a static
// neighbour entry, so nothing ever answers. The open gives up on the owner's
// bound (ctest's timeout catches a hang).
TEST(SilentHost, OpenFailsInsteadOfHanging) {
  if (const std::string why = smbtest::WhyNoServers(); !why.empty()) GTEST_SKIP() << why;
  const std::string setup =
      "ip link add mlni-s0 type veth peer name mlni-s1 && ip addr add 10.250.0.1/24 dev mlni-s0 && "
      "ip link set mlni-s0 up && ip link set mlni-s1 up && "
      "ip neigh add 10.250.0.2 lladdr 02:00:00:00:00:02 dev mlni-s0";
  const int status = std::system(setup.c_str());
  // The owner's check of the SMB ports, as the window wires it: the
  // companion library's connectpc, bounded by the library.
  auto dynlib = netlib::MakePlatformDynamicLibrary();
  netlib::CompanionLibrary library(*dynlib);
  ASSERT_TRUE(library.Load(netlib::LibraryFileName()));
  ASSERT_TRUE(library.BindEntryPoints().empty());
  auto provider = netinfo::MakePlatformNetProvider();
  provider->SetHostLookup({{}, [&](const std::string& address) { return netlib::Reaches(library, address).ok(); }});
  const bool opened = status == 0 && netinfo::EnumNetResources(*provider, "\\\\10.250.0.2", "").ok();
  std::system("ip link del mlni-s0 2>/dev/null");
  ASSERT_EQ(status, 0) << "could not make the veth pair";
  EXPECT_FALSE(opened);
}

}  // namespace
