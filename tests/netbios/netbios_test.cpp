// Packet building and strict reading of NetBIOS name service replies.
#include "netbios.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirelka::netbios {
namespace {

using Bytes = std::vector<uint8_t>;

// Replies are put together here by hand, independently of the library's builder.
class Packet {
 public:
  Packet& U8(uint8_t v) {
    bytes.push_back(v);
    return *this;
  }
  Packet& U16(uint16_t v) { return U8(static_cast<uint8_t>(v >> 8)).U8(static_cast<uint8_t>(v)); }
  Packet& U32(uint32_t v) { return U16(static_cast<uint16_t>(v >> 16)).U16(static_cast<uint16_t>(v)); }
  Packet& Raw(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
  }
  Packet& Header(uint16_t id, uint16_t flags, uint16_t qd, uint16_t an, uint16_t ns = 0, uint16_t ar = 0) {
    return U16(id).U16(flags).U16(qd).U16(an).U16(ns).U16(ar);
  }
  // 15 name bytes blank-padded plus suffix, encoded as 32 letters, no scope.
  Packet& EncodedName(const std::string& name, uint8_t suffix, const std::string& scope = "") {
    std::string raw = name;
    raw.resize(15, ' ');
    raw.push_back(static_cast<char>(suffix));
    U8(32);
    for (unsigned char c : raw) U8(static_cast<uint8_t>('A' + (c >> 4))).U8(static_cast<uint8_t>('A' + (c & 15)));
    if (!scope.empty()) U8(static_cast<uint8_t>(scope.size())).Raw(scope);
    return U8(0);
  }
  Packet& RecordTail(uint16_t type, uint16_t rdlength) { return U16(type).U16(1).U32(300000).U16(rdlength); }
  Packet& Address(uint16_t flags, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return U16(flags).U8(a).U8(b).U8(c).U8(d);
  }
  Bytes bytes;
};

constexpr uint16_t kId = 0x4D21;
constexpr uint16_t kPositive = 0x8500;  // response, authoritative, recursion desired

Packet PositiveReply(uint16_t id = kId, uint16_t flags = kPositive) {
  Packet p;
  p.Header(id, flags, 0, 1).EncodedName("MLKPEER", 0x00).RecordTail(0x20, 6).Address(0x0000, 10, 77, 0, 2);
  return p;
}

Name Wanted() { return *MakeName("mlkpeer", kWorkstation); }

std::vector<Ipv4> ParseQuery(const Bytes& b, uint16_t id = kId) {
  return ParseNameQueryReply(b.data(), b.size(), id, Wanted());
}

TEST(NetbiosBuild, NameQueryIsUpperCasedBlankPaddedWithSuffix) {
  const Bytes packet = BuildNameQuery(0x1234, *MakeName("pc01", kWorkstation), true);
  Packet expected;
  expected.Header(0x1234, 0x0110, 1, 0).U8(32).Raw("FAEDDADB");  // "PC01"
  for (int i = 0; i < 11; ++i) expected.Raw("CA");               // blanks
  expected.Raw("AA").U8(0).U16(0x0020).U16(0x0001);              // suffix 0x00, NB, IN
  EXPECT_EQ(packet, expected.bytes);
}

TEST(NetbiosBuild, UnicastNameQueryHasNoBroadcastFlag) {
  const Bytes packet = BuildNameQuery(1, *MakeName("A", kFileServer), false);
  ASSERT_GE(packet.size(), 12u);
  EXPECT_EQ(packet[2], 0);
  EXPECT_EQ(packet[3], 0);
  ASSERT_GE(packet.size(), 45u);
  EXPECT_EQ(packet[43], 'C');  // suffix 0x20 encodes as "CA"
  EXPECT_EQ(packet[44], 'A');
}

TEST(NetbiosBuild, NodeStatusAsksStarWithNulPadding) {
  Packet expected;
  expected.Header(0xBEEF, 0x0000, 1, 0).U8(32).Raw("CK");
  for (int i = 0; i < 15; ++i) expected.Raw("AA");
  expected.U8(0).U16(0x0021).U16(0x0001);
  EXPECT_EQ(BuildNodeStatusQuery(0xBEEF), expected.bytes);
}

TEST(NetbiosBuild, MakeNameTable) {
  struct Case {
    std::string input;
    bool valid;
    std::string padded;  // 15 bytes when valid
  };
  const Case cases[] = {
      {"pc01", true, "PC01           "},
      {"Mixed-Case_9", true, "MIXED-CASE_9   "},
      {"ABCDEFGHIJKLMNO", true, "ABCDEFGHIJKLMNO"},
      {"ABCDEFGHIJKLMNOP", false, ""},
      {"", false, ""},
      // Second bytes of double-byte characters in the a-z range stay as they are.
      {"\x83\x61x\x96\x7a", true, "\x83\x61X\x96\x7a" + std::string(10, ' ')},
  };
  for (const Case& c : cases) {
    const std::optional<Name> name = MakeName(c.input, 0x20);
    ASSERT_EQ(name.has_value(), c.valid) << c.input;
    if (!name) continue;
    EXPECT_EQ(std::string(name->begin(), name->begin() + 15), c.padded) << c.input;
    EXPECT_EQ((*name)[15], 0x20) << c.input;
  }
}

TEST(NetbiosNameQuery, GoodPositiveReplyGivesTheAddress) {
  EXPECT_EQ(ParseQuery(PositiveReply().bytes), (std::vector<Ipv4>{{10, 77, 0, 2}}));
}

TEST(NetbiosNameQuery, RejectedReplies) {
  struct Case {
    const char* what;
    Bytes bytes;
  };
  const auto withAnswer = [](Packet p) {
    return p.EncodedName("MLKPEER", 0).RecordTail(0x20, 6).Address(0, 10, 77, 0, 2).bytes;
  };
  const Case cases[] = {
      {"negative reply with ANCOUNT 1", withAnswer(Packet().Header(kId, kPositive | 0x0003, 0, 1))},
      {"server failure", withAnswer(Packet().Header(kId, kPositive | 0x0002, 0, 1))},
      {"other transaction id", PositiveReply(kId + 1).bytes},
      {"a query, not a reply", withAnswer(Packet().Header(kId, 0x0110, 0, 1))},
      {"truncation flag", PositiveReply(kId, kPositive | 0x0200).bytes},
      {"registration opcode", PositiveReply(kId, 0x8000 | (5 << 11)).bytes},
      {"WACK opcode", PositiveReply(kId, 0x8000 | (7 << 11)).bytes},
      {"ANCOUNT 2, one answer", withAnswer(Packet().Header(kId, kPositive, 0, 2))},
      {"QDCOUNT 1, no question", withAnswer(Packet().Header(kId, kPositive, 1, 1))},
      {"ARCOUNT 1, no record", withAnswer(Packet().Header(kId, kPositive, 0, 1, 0, 1))},
      {"RDLENGTH beyond the end", Packet()
                                      .Header(kId, kPositive, 0, 1)
                                      .EncodedName("MLKPEER", 0)
                                      .RecordTail(0x20, 12)
                                      .Address(0, 10, 77, 0, 2)
                                      .bytes},
      {"RDLENGTH not whole entries", Packet()
                                         .Header(kId, kPositive, 0, 1)
                                         .EncodedName("MLKPEER", 0)
                                         .RecordTail(0x20, 5)
                                         .U16(0)
                                         .U8(10)
                                         .U16(77)
                                         .U16(2)
                                         .bytes},
      {"RDLENGTH zero", Packet().Header(kId, kPositive, 0, 1).EncodedName("MLKPEER", 0).RecordTail(0x20, 0).bytes},
      {"answer for another name", Packet()
                                      .Header(kId, kPositive, 0, 1)
                                      .EncodedName("OTHER", 0)
                                      .RecordTail(0x20, 6)
                                      .Address(0, 10, 77, 0, 2)
                                      .bytes},
      {"answer for another suffix", Packet()
                                        .Header(kId, kPositive, 0, 1)
                                        .EncodedName("MLKPEER", 0x20)
                                        .RecordTail(0x20, 6)
                                        .Address(0, 10, 77, 0, 2)
                                        .bytes},
      {"group name", Packet()
                         .Header(kId, kPositive, 0, 1)
                         .EncodedName("MLKPEER", 0)
                         .RecordTail(0x20, 6)
                         .Address(0x8000, 10, 77, 0, 2)
                         .bytes},
      {"unusable addresses", Packet()
                                 .Header(kId, kPositive, 0, 1)
                                 .EncodedName("MLKPEER", 0)
                                 .RecordTail(0x20, 12)
                                 .Address(0, 0, 0, 0, 0)
                                 .Address(0, 255, 255, 255, 255)
                                 .bytes},
      {"wrong record type", Packet()
                                .Header(kId, kPositive, 0, 1)
                                .EncodedName("MLKPEER", 0)
                                .RecordTail(0x21, 6)
                                .Address(0, 10, 77, 0, 2)
                                .bytes},
      {"name label not 32", Packet()
                                .Header(kId, kPositive, 0, 1)
                                .U8(31)
                                .Raw(std::string(31, 'A'))
                                .U8(0)
                                .RecordTail(0x20, 6)
                                .Address(0, 10, 77, 0, 2)
                                .bytes},
      {"letter outside A-P", Packet()
                                 .Header(kId, kPositive, 0, 1)
                                 .U8(32)
                                 .Raw(std::string(31, 'A') + "Z")
                                 .U8(0)
                                 .RecordTail(0x20, 6)
                                 .Address(0, 10, 77, 0, 2)
                                 .bytes},
      {"pointer to itself",
       Packet().Header(kId, kPositive, 0, 1).U16(0xC00C).RecordTail(0x20, 6).Address(0, 10, 77, 0, 2).bytes},
      {"pointer forward",
       Packet().Header(kId, kPositive, 0, 1).U16(0xC020).RecordTail(0x20, 6).Address(0, 10, 77, 0, 2).bytes},
      {"empty", {}},
  };
  for (const Case& c : cases) EXPECT_TRUE(ParseQuery(c.bytes).empty()) << c.what;
}

TEST(NetbiosNameQuery, AcceptedVariants) {
  struct Case {
    const char* what;
    Bytes bytes;
    std::vector<Ipv4> expected;
  };
  Packet withQuestion;
  withQuestion.Header(kId, kPositive, 1, 1).EncodedName("MLKPEER", 0).U16(0x20).U16(1);
  withQuestion.U16(0xC00C).RecordTail(0x20, 6).Address(0, 10, 77, 0, 2);
  const Case cases[] = {
      {"echoed lower-case name",
       Packet()
           .Header(kId, kPositive, 0, 1)
           .EncodedName("mlkpeer", 0)
           .RecordTail(0x20, 6)
           .Address(0, 10, 77, 0, 2)
           .bytes,
       {{10, 77, 0, 2}}},
      {"multi-homed, repeated, group entry skipped",
       Packet()
           .Header(kId, kPositive, 0, 1)
           .EncodedName("MLKPEER", 0)
           .RecordTail(0x20, 24)
           .Address(0, 10, 77, 0, 2)
           .Address(0x8000, 10, 77, 0, 9)
           .Address(0, 10, 77, 0, 2)
           .Address(0, 10, 78, 0, 2)
           .bytes,
       {{10, 77, 0, 2}, {10, 78, 0, 2}}},
      {"question echoed, answer name by pointer", withQuestion.bytes, {{10, 77, 0, 2}}},
      {"scope label",
       Packet()
           .Header(kId, kPositive, 0, 1)
           .EncodedName("MLKPEER", 0, "LAN")
           .RecordTail(0x20, 6)
           .Address(0, 10, 77, 0, 2)
           .bytes,
       {{10, 77, 0, 2}}},
      {"trailing padding", PositiveReply().U32(0).bytes, {{10, 77, 0, 2}}},
      {"positive, no answers", Packet().Header(kId, kPositive, 0, 0).bytes, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseQuery(c.bytes), c.expected) << c.what;
}

TEST(NetbiosNameQuery, TruncatedAtEveryLengthGivesNothing) {
  const Bytes whole = PositiveReply().bytes;
  ASSERT_FALSE(ParseQuery(whole).empty());
  for (size_t length = 0; length < whole.size(); ++length) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_TRUE(ParseQuery(cut).empty()) << "length " << length;
  }
}

struct Entry {
  std::string name;  // up to 15 bytes, padded with blanks by the builder
  uint8_t suffix;
  uint16_t flags;
};

Packet StatusReply(const std::vector<Entry>& entries, uint16_t id = kId, int countDelta = 0,
                   const std::vector<uint8_t>& unit = {}) {
  Packet p;
  p.Header(id, 0x8400, 0, 1).U8(32).Raw("CK");
  for (int i = 0; i < 15; ++i) p.Raw("AA");
  p.U8(0).RecordTail(0x21, static_cast<uint16_t>(1 + entries.size() * 18 + 46));
  p.U8(static_cast<uint8_t>(static_cast<int>(entries.size()) + countDelta));
  for (const Entry& e : entries) {
    std::string raw = e.name;
    raw.resize(15, ' ');
    p.Raw(raw).U8(e.suffix).U16(e.flags);
  }
  for (size_t i = 0; i < 46; ++i) p.U8(i < unit.size() ? unit[i] : 0);  // statistics, the unit id first
  return p;
}

std::vector<NodeName> ParseStatus(const Bytes& b, uint16_t id = kId) {
  return ParseNodeStatusReply(b.data(), b.size(), id);
}

constexpr uint16_t kActive = 0x0400;
constexpr uint16_t kGroup = 0x8000 | kActive;

TEST(NetbiosNodeStatus, SeveralNamesAreReadInOrder) {
  const std::vector<Entry> table = {
      {"MLKPEER", 0x00, kActive}, {"MLKPEER", 0x03, kActive}, {"MLKPEER", 0x20, kActive},
      {"MLKGROUP", 0x00, kGroup}, {"MLKGROUP", 0x1E, kGroup},
  };
  const std::vector<NodeName> names = ParseStatus(StatusReply(table).bytes);
  ASSERT_EQ(names.size(), table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(names[i].name, table[i].name);
    EXPECT_EQ(names[i].suffix, table[i].suffix);
    EXPECT_EQ(names[i].flags, table[i].flags);
  }
  EXPECT_EQ(PickComputerName(names), "MLKPEER");
}

TEST(NetbiosNodeStatus, ComputerAndWorkgroupNameChoice) {
  struct Case {
    const char* what;
    std::vector<Entry> entries;
    std::optional<std::string> computer, workgroup;
  };
  const Case cases[] = {
      {"unique <00> wins over an earlier <20> and a group <00>",
       {{"GROUPNAME", 0x00, kGroup}, {"SERVERNAME", 0x20, kActive}, {"WORKST", 0x00, kActive}},
       "WORKST",
       "GROUPNAME"},
      {"only <20> unique", {{"GROUPNAME", 0x00, kGroup}, {"FILESRV", 0x20, kActive}}, "FILESRV", "GROUPNAME"},
      {"only <03>", {{"MSGONLY", 0x03, kActive}}, std::nullopt, std::nullopt},
      {"only groups", {{"G1", 0x00, kGroup}, {"G1", 0x20, kGroup}}, std::nullopt, "G1"},
      {"name in conflict skipped",
       {{"CLASH", 0x00, kActive | 0x0800}, {"OTHER", 0x20, kActive}},
       "OTHER",
       std::nullopt},
      {"a workgroup is a <00> group not in conflict; the browse group is not one",
       {{"\x01\x02__MSBROWSE__\x02", 0x01, kGroup},
        {"OLD", 0x00, kGroup | 0x0800},
        {"MLKGROUP", 0x1E, kGroup},
        {"MLKGROUP", 0x00, kGroup}},
       std::nullopt,
       "MLKGROUP"},
      {"no names", {}, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    const std::vector<NodeName> names = ParseStatus(StatusReply(c.entries).bytes);
    EXPECT_EQ(PickComputerName(names), c.computer) << c.what;
    EXPECT_EQ(PickWorkgroupName(names), c.workgroup) << c.what;
  }
}

TEST(NetbiosNodeStatus, NameBytesAreTrimmedAndFiltered) {
  struct Case {
    const char* what;
    std::string raw;  // exactly as it stands in the reply, padded to 15 by the builder
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"trailing blanks", "PC01           ", "PC01"},
      {"inner blank kept", "MY PC", "MY PC"},
      {"NUL padding", std::string("NULPAD\0\0\0\0\0\0\0\0\0", 15), "NULPAD"},
      {"double-byte name", "\x83\x5C\x83\x74\x83\x67", "\x83\x5C\x83\x74\x83\x67"},
      {"all blanks", "", std::nullopt},
      {"control byte inside", "BAD\x01NAME", std::nullopt},
      {"NUL inside", std::string("AB\0CD", 5), std::nullopt},
  };
  for (const Case& c : cases) {
    const std::vector<NodeName> names = ParseStatus(StatusReply({{c.raw, 0x00, kActive}}).bytes);
    if (!c.expected) {
      EXPECT_TRUE(names.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(names.size(), 1u) << c.what;
    EXPECT_EQ(names[0].name, *c.expected) << c.what;
  }
}

TEST(NetbiosNodeStatus, RepeatedEntriesAppearOnce) {
  const std::vector<NodeName> names =
      ParseStatus(StatusReply({{"PC", 0x00, kActive}, {"PC  ", 0x00, kActive}, {"PC", 0x20, kActive}}).bytes);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[1].suffix, 0x20);
}

TEST(NetbiosNodeStatus, RejectedReplies) {
  const std::vector<Entry> two = {{"PC", 0x00, kActive}, {"PC", 0x20, kActive}};
  Packet negative = StatusReply(two);
  negative.bytes[3] |= 0x03;
  Packet lyingRdlength;  // claims 3 names, holds 2, statistics left out
  lyingRdlength.Header(kId, 0x8400, 0, 1).EncodedName("*", 0).RecordTail(0x21, 1 + 2 * 18).U8(3);
  for (const Entry& e : two) lyingRdlength.Raw(e.name + std::string(13, ' ')).U8(e.suffix).U16(e.flags);
  Packet empty;
  empty.Header(kId, 0x8400, 0, 1).EncodedName("*", 0).RecordTail(0x21, 0);
  struct Case {
    const char* what;
    Bytes bytes;
    uint16_t id;
  };
  const Case cases[] = {
      {"negative reply", negative.bytes, kId},
      {"other transaction id", StatusReply(two).bytes, kId ^ 0xFFFF},
      {"NUM_NAMES beyond RDLENGTH", lyingRdlength.bytes, kId},
      {"RDLENGTH zero", empty.bytes, kId},
      {"NUM_NAMES 200 with statistics room only", StatusReply(two, kId, 198).bytes, kId},
  };
  for (const Case& c : cases) EXPECT_TRUE(ParseStatus(c.bytes, c.id).empty()) << c.what;
}

TEST(NetbiosNodeStatus, TruncatedAtEveryLengthGivesNothing) {
  const Bytes whole = StatusReply({{"PC", 0x00, kActive}}).bytes;
  // RDLENGTH covers the statistics too, so every cut leaves it overrunning.
  for (size_t length = 0; length < whole.size(); ++length) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_TRUE(ParseStatus(cut).empty()) << "length " << length;
  }
  EXPECT_EQ(ParseStatus(whole).size(), 1u);
}

TEST(NetbiosNodeStatus, UnitIdIsTheAdapterAddressUnlessZero) {
  const std::vector<uint8_t> mac = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
  const Bytes whole = StatusReply({{"PC", 0x00, kActive}}, kId, 0, mac).bytes;
  const auto unit = ParseNodeStatusUnitId(whole.data(), whole.size(), kId);
  ASSERT_TRUE(unit);
  EXPECT_TRUE(std::equal(mac.begin(), mac.end(), unit->begin()));
  EXPECT_FALSE(ParseNodeStatusUnitId(whole.data(), whole.size(), kId + 1));  // another question's
  const Bytes zeros = StatusReply({{"PC", 0x00, kActive}}).bytes;            // as Samba sends it
  EXPECT_FALSE(ParseNodeStatusUnitId(zeros.data(), zeros.size(), kId));
  // A name count that leaves no room for the unit id.
  const Bytes overrun = StatusReply({{"PC", 0x00, kActive}}, kId, 3, mac).bytes;
  EXPECT_FALSE(ParseNodeStatusUnitId(overrun.data(), overrun.size(), kId));
}

}  // namespace
}  // namespace mirelka::netbios
