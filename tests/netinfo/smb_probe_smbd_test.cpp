// ProbeSmb against a real smbd on 127.0.0.1 (smbd_fixture.sh), configured
// as a current server, one that requires signing, an SMB1-only one, and one
// listening on 139 alone (the NetBIOS session first).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "smb_probe.h"
#include "smb_test_env.h"

namespace {

using netinfo::SmbReach;

TEST(SmbProbeSmbd, SaysWhatTheServerSpeaks) {
  if (const std::string why = smbtest::WhyNoServers(); !why.empty()) GTEST_SKIP() << why;
  const struct {
    const char* global;
    SmbReach reach;
    uint16_t port;
    uint16_t dialect;
    bool signing;
  } cases[] = {
      {"", SmbReach::kSmb2, 445, 0x02FF, false},
      {"server signing = mandatory", SmbReach::kSmb2, 445, 0x02FF, true},
      {"server min protocol = NT1\nserver max protocol = NT1", SmbReach::kSmb1Only, 445, 0x0100, false},
      {"server min protocol = NT1\nserver max protocol = NT1\nserver signing = mandatory", SmbReach::kSmb1Only, 445,
       0x0100, true},
      {"smb ports = 139", SmbReach::kSmb2, 139, 0x02FF, false},
  };
  for (const auto& c : cases) {
    const std::string dir = smbtest::MakeTempDir("mirelka-probe");
    ASSERT_FALSE(dir.empty());
    std::filesystem::create_directories(dir + "/server");
    std::ofstream(dir + "/server/extra-global") << c.global << "\n";
    const smbtest::StopOnExit stop("smbd_fixture.sh stop " + dir + "/server", dir);
    ASSERT_EQ(smbtest::RunFixture("smbd_fixture.sh start " + dir + "/server"), 0) << c.global;
    const netinfo::SmbProbe probe = netinfo::ProbeSmb("127.0.0.1");
    EXPECT_STREQ(netinfo::ReachName(probe.reach), netinfo::ReachName(c.reach)) << c.global;
    EXPECT_EQ(probe.port, c.port) << c.global;
    EXPECT_EQ(probe.dialect, c.dialect) << c.global;
    EXPECT_EQ(probe.signingRequired, c.signing) << c.global;
    EXPECT_EQ(probe.refused445, c.port == 139) << c.global;
  }
}

}  // namespace
