// The merge of findings into rows, the start-up workgroup choices, and the
// names other computers announce.
#include <gtest/gtest.h>

#include <QHostAddress>

#include "merge.h"
#include "names.h"
#include "samba_conf.h"

namespace {

using discovery::Finding;
using discovery::Merge;
using discovery::Origin;

Finding F(Origin origin, const char* name, const char* address = "", const char* workgroup = "") {
  return Finding{origin, name, address, workgroup};
}
constexpr Origin B = Origin::BrowseList, W = Origin::WsDiscovery, D = Origin::DnsSd, N = Origin::NodeStatus;

TEST(Merge, ARowCarriesWhatEverySourceSaidOfItsComputer) {
  Merge merge("WG");
  Finding wsd = F(W, "PC01", "10.0.0.1", "WG");
  wsd.text = "pc01";
  wsd.details.manufacturer = "Maker";
  wsd.details.friendlyName = "first";
  Finding status = F(N, "PC01", "10.0.0.1", "WG");
  status.details.mac = "02:00:00:00:00:01";
  status.details.friendlyName = "second";  // the first to say it decides
  status.details.netbiosNames = {{"PC01", 0x20, false}};
  merge.Add(F(D, "other", "10.0.0.2"));
  merge.Add(wsd);
  merge.Add(status);
  merge.Add(F(B, "pc01"));
  merge.Finish();
  const std::vector<discovery::MergedComputer> rows = merge.Listed();
  ASSERT_EQ(rows.size(), 2u);  // in row order: the placed one first
  EXPECT_EQ(rows[0].name, "PC01");
  EXPECT_EQ(rows[0].text, "pc01");
  EXPECT_EQ(rows[0].origins, (std::vector<Origin>{W, N, B}));
  EXPECT_EQ(rows[0].details.manufacturer, "Maker");
  EXPECT_EQ(rows[0].details.friendlyName, "first");
  EXPECT_EQ(rows[0].details.mac, "02:00:00:00:00:01");
  ASSERT_EQ(rows[0].details.netbiosNames.size(), 1u);
  EXPECT_EQ(rows[1].name, "other");
  EXPECT_TRUE(rows[1].workgroup.empty());
  EXPECT_TRUE(rows[1].details.Empty());
}

TEST(Merge, OneRowPerComputerUnderItsOwnWorkgroup) {
  struct Case {
    const char* what;
    std::vector<Finding> findings;
    std::vector<std::string> now;       // rows appended while findings arrive
    std::vector<std::string> atFinish;  // rows appended when the sources are done
  };
  const std::vector<Case> cases = {
      {"browse list as it was", {F(B, "PC01"), F(B, "PC02")}, {"PC01", "PC02"}, {}},
      {"same name in another case is one row",
       {F(B, "PC01"), F(W, "pc01", "10.0.0.1", "WG"), F(D, "Pc01", "10.0.0.1")},
       {"PC01"},
       {}},
      {"same address is one row", {F(W, "WIN1", "10.0.0.5", "wg"), F(D, "win1-laptop", "10.0.0.5")}, {"WIN1"}, {}},
      {"a workgroup is compared without case", {F(W, "A", "10.0.0.1", "wg")}, {"A"}, {}},
      {"another workgroup or a domain is not listed",
       {F(W, "A", "10.0.0.1", "OTHER"), F(W, "B", "10.0.0.2", "corp.example")},
       {},
       {}},
      {"known elsewhere by WS-Discovery: its DNS-SD twin is not listed either",
       {F(D, "mac", "10.0.0.3"), F(W, "MAC", "10.0.0.3", "OTHER")},
       {},
       {}},
      {"DNS-SD only: listed at the end, under every workgroup",
       {F(D, "nas", "10.0.0.4"), F(B, "PC01")},
       {"PC01"},
       {"nas"}},
      {"a later source saying otherwise does not move a listed row",
       {F(B, "PC01"), F(W, "PC01", "10.0.0.1", "OTHER")},
       {"PC01"},
       {}},
      {"repeats of one computer add nothing", {F(D, "nas", "10.0.0.4"), F(D, "nas", "fe80::1%eth0")}, {}, {"nas"}},
      {"node status places a DNS-SD-only computer in the listed workgroup at once",
       {F(D, "nas", "10.0.0.4"), F(N, "nas", "10.0.0.4", "wg")},
       {"nas"},
       {}},
      {"node status naming another workgroup: not listed",
       {F(D, "nas", "10.0.0.4"), F(N, "nas", "10.0.0.4", "OTHER"), F(D, "nas", "fe80::1%eth0")},
       {},
       {}},
      {"node status does not override WS-Discovery",
       {F(D, "mac", "10.0.0.3"), F(W, "MAC", "10.0.0.3", "WG"), F(N, "mac", "10.0.0.3", "OTHER")},
       {"mac"},
       {}},
  };
  for (const Case& c : cases) {
    Merge merge("WG");
    std::vector<std::string> now;
    for (const Finding& f : c.findings)
      if (std::optional<std::string> row = merge.Add(f)) now.push_back(*row);
    EXPECT_EQ(now, c.now) << c.what;
    EXPECT_EQ(merge.Finish(), c.atFinish) << c.what;
    EXPECT_EQ(merge.Rows(), static_cast<int>(c.now.size() + c.atFinish.size())) << c.what;
  }
}

TEST(Merge, AnEmptyWorkgroupListsWorkgroupsNeverAComputer) {
  Merge merge("");
  std::vector<std::string> now;
  for (const Finding& f :
       {F(B, "TESTGROUP"), F(B, "OTHERGRP"), F(D, "foxtrot", "10.0.0.4"), F(W, "WSDHOST", "10.0.0.5", "testgroup"),
        F(W, "PC9", "10.0.0.9", "HOMENET"), F(W, "PC8", "10.0.0.8"), F(N, "nas", "10.0.0.6", "NASGRP"),
        F(N, "bad", "10.0.0.7", "BAD\x01")})
    if (std::optional<std::string> row = merge.Add(f)) now.push_back(*row);
  EXPECT_EQ(now, (std::vector<std::string>{"TESTGROUP", "OTHERGRP", "HOMENET", "NASGRP"}));
  EXPECT_EQ(merge.Finish(), std::vector<std::string>{});  // computers of unknown workgroup stay out
  ASSERT_EQ(merge.Listed().size(), 4u);
  EXPECT_EQ(merge.Listed()[0].origins, (std::vector<Origin>{B, W}));
}

TEST(Merge, CountsComputersOfOtherWorkgroupsPerSource) {
  Merge merge("WG");
  merge.Add(F(D, "nas", "10.0.0.4"));
  EXPECT_FALSE(merge.Placed(F(D, "nas", "10.0.0.4")));
  merge.Add(F(N, "nas", "10.0.0.4", "FAR"));
  EXPECT_TRUE(merge.Placed(F(D, "NAS", "fe80::1%eth0")));
  merge.Add(F(W, "A", "10.0.0.1", "OTHER"));
  merge.Add(F(W, "B", "10.0.0.2", "THIRD"));
  merge.Add(F(W, "C", "10.0.0.3", "WG"));
  EXPECT_EQ(merge.Elsewhere(W), 2);
  EXPECT_EQ(merge.Elsewhere(D), 1);  // placed by its node status answer
}

TEST(StartupWorkgroup, MostReportedThenSambaConfiguration) {
  EXPECT_EQ(discovery::MostReportedWorkgroup(
                {F(W, "A", "", "wga"), F(W, "B", "", "WGB"), F(W, "C", "", "WGA"), F(W, "D", "", "")}),
            "wga");
  EXPECT_EQ(discovery::MostReportedWorkgroup({F(W, "A", "", "X"), F(W, "B", "", "Y")}), "X");  // a tie: the first
  EXPECT_EQ(discovery::MostReportedWorkgroup({F(W, "A")}), "");

  struct Case {
    const char* text;
    const char* workgroup;
  };
  const Case cases[] = {
      {"[global]\n   workgroup = HOMENET\n   server string = x\n", "HOMENET"},
      {"; comment\n[Global]\n  Work Group=OFFICE\r\n", "OFFICE"},
      {"[global]\nworkgroup = FIRST\n[share]\nworkgroup = NOT\n", "FIRST"},
      {"[global]\n  netbios name = X\n", "WORKGROUP"},  // Samba's default
      {"[global]\n  workgroup = LONG\\\nER\n", "LONGER"},
  };
  for (const Case& c : cases) EXPECT_EQ(discovery::SambaWorkgroupFromText(c.text), c.workgroup) << c.text;
  EXPECT_EQ(discovery::SambaWorkgroup("/nonexistent/smb.conf"), "");
}

TEST(Names, OnlyPlausibleComputerNamesAreTaken) {
  EXPECT_EQ(discovery::DnsSdFinding("member1.local", QHostAddress("10.0.0.1"))->name, "member1");
  EXPECT_EQ(discovery::WsdFinding(QString::fromUtf8("経理PC"), "WG", QHostAddress("10.0.0.1"))->name,
            "\x8c\x6f\x97\x9d"
            "PC");
  for (const char* bad :
       {"", "a\\b", "a/b", "tab\there", "x123456789012345678901234567890123456789012345678901234567890123"})
    EXPECT_FALSE(discovery::ComputerNameBytes(QString::fromUtf8(bad))) << bad;
  EXPECT_FALSE(discovery::ComputerNameBytes(QString::fromUtf8("한국")));  // code page 932 cannot hold it
  // Such a computer is listed under its IPv4 address with the name it sent;
  // without one it cannot be listed. A WAVE DASH is the code page's own.
  const auto wsd = discovery::WsdFinding(QString::fromUtf8("写真😀PC"), "WG", QHostAddress("10.0.0.7"));
  ASSERT_TRUE(wsd);
  EXPECT_EQ(wsd->name, "10.0.0.7");
  EXPECT_EQ(wsd->text, u8"写真😀PC");
  EXPECT_FALSE(discovery::DnsSdFinding(QString::fromUtf8("한국.local"), QHostAddress("fe80::1")));
  const auto dash = discovery::DnsSdFinding(QString::fromUtf8("〜.local"), QHostAddress("10.0.0.8"));
  ASSERT_TRUE(dash);
  EXPECT_EQ(dash->name, "\x81\x60");
  EXPECT_EQ(dash->text, u8"〜");
  // A double-byte character whose second byte is a Latin letter is not folded.
  EXPECT_FALSE(discovery::SameName("\x83\x61", "\x83\x41"));
  EXPECT_TRUE(discovery::SameName("pc01", "PC01"));
}

}  // namespace
