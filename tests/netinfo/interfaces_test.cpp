#include "interfaces.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "address.h"
#include "cp932_codec.h"
#include "fake_sockets.h"

namespace {

using fakes::FakeSockets;
using netinfo::ClassifyAddress;

const std::string kGlobal = cp932::Text(u8"グローバルIP");

TEST(ClassifyAddress, LabelsTheRangesAtTheirBoundaries) {
  const struct {
    const char* address;
    std::string label;
  } cases[] = {
      {"10.0.0.0", "class A"},       {"10.255.255.255", "class A"}, {"11.0.0.1", kGlobal},
      {"9.255.255.255", kGlobal},    {"172.15.255.255", kGlobal},   {"172.16.0.0", "class B"},
      {"172.31.255.255", "class B"}, {"172.32.0.0", kGlobal},       {"192.168.0.1", "class C"},
      {"192.169.0.1", kGlobal},      {"193.168.0.1", kGlobal},      {"192.167.255.255", kGlobal},
      {"127.0.0.1", "loopback"},     {"127.0.0.2", kGlobal},        {"127.1.0.1", kGlobal},
      {"127.0.1.1", kGlobal},        {"0.0.0.0", kGlobal},          {"169.254.1.1", kGlobal},
      {"255.255.255.255", kGlobal},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassifyAddress(c.address), c.label) << c.address;
}

TEST(ClassifyAddress, GlobalLabelIsCodePage932) {
  EXPECT_EQ(kGlobal,
            "\x83\x4F\x83\x8D\x81\x5B\x83\x6F\x83\x8B"
            "IP");
}

TEST(DottedText, WritesBytesWithoutLeadingZeros) {
  const uint8_t a[4] = {0, 7, 255, 10};
  EXPECT_EQ(mirelka::FormatDotted(mirelka::Ipv4At(a)), "0.7.255.10");
  const uint8_t b[4] = {192, 168, 1, 5};
  EXPECT_EQ(mirelka::FormatDotted(mirelka::Ipv4At(b)), "192.168.1.5");
}

// A 760-byte buffer of ten distinct entries 10.0.0.i / 255.0.0.i.
std::array<uint8_t, 760> TenEntries() {
  std::array<uint8_t, 760> buffer{};
  for (uint8_t i = 0; i < 10; ++i) {
    uint8_t* e = buffer.data() + 76 * i;
    const uint8_t address[4] = {10, 0, 0, i};
    const uint8_t mask[4] = {255, 0, 0, i};
    std::memcpy(e + 8, address, 4);
    std::memcpy(e + 56, mask, 4);
  }
  return buffer;
}

TEST(ParseInterfaceList, TakesWholeEntriesUpToTen) {
  const auto buffer = TenEntries();
  const struct {
    uint32_t byteCount;
    size_t rows;
  } cases[] = {{0, 0}, {75, 0}, {76, 1}, {151, 1}, {152, 2}, {760, 10}, {900, 10}, {0xFFFFFFFF, 10}};
  for (const auto& c : cases) {
    const auto rows = netinfo::ParseInterfaceList(buffer.data(), c.byteCount);
    ASSERT_EQ(rows.size(), c.rows) << c.byteCount;
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].address, "10.0.0." + std::to_string(i));
      EXPECT_EQ(rows[i].mask, "255.0.0." + std::to_string(i));
      EXPECT_EQ(rows[i].label, "class A");
    }
  }
}

TEST(ListInterfaceRows, BuildsRowsFromTheSeamInBufferOrder) {
  FakeSockets s;
  s.AddInterface({192, 168, 0, 1}, {255, 255, 255, 0}).AddInterface({127, 0, 0, 1}, {255, 0, 0, 0});
  const auto rows = netinfo::ListInterfaceRows(s);
  EXPECT_EQ(s.lastLength(), 760u);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].address, "192.168.0.1");
  EXPECT_EQ(rows[0].mask, "255.255.255.0");
  EXPECT_EQ(rows[0].label, "class C");
  EXPECT_EQ(rows[1].label, "loopback");
}

TEST(ListInterfaceRows, ReadsNoEntryBeyondTheTenthWhateverTheCount) {
  FakeSockets s;
  for (uint8_t i = 0; i < 12; ++i) s.AddInterface({172, 16, 0, i}, {255, 240, 0, 0});
  s.ReportByteCount(12 * 76);
  const auto rows = netinfo::ListInterfaceRows(s);
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_EQ(rows[9].address, "172.16.0.9");
}

TEST(ListInterfaceRows, ZeroCountGivesNoRowEvenWithBytes) {
  FakeSockets s;
  s.AddInterface({10, 1, 1, 1}, {255, 0, 0, 0}).ReportByteCount(0);
  EXPECT_TRUE(netinfo::ListInterfaceRows(s).empty());
}

TEST(HostName, ReadsUpToTheFirstNulAndAtMost256Bytes) {
  FakeSockets s;
  s.SetHostName(std::string("PC\x83\x5C", 4));
  EXPECT_EQ(netinfo::HostName(s), "PC\x83\x5C");
  // Cut to the field's 255 bytes, a double-byte character across the cut left out whole.
  s.SetHostName(std::string(300, 'h'));
  EXPECT_EQ(netinfo::HostName(s), std::string(255, 'h'));
  s.SetHostName(std::string(254, 'h') + "\x83\x5C" + "tail");
  EXPECT_EQ(netinfo::HostName(s), std::string(254, 'h'));
}

}  // namespace
