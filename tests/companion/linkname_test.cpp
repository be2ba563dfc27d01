// Multicast DNS and LLMNR packets: the queries built, answers captured from
// avahi-daemon and llmnrd on the test LAN, and hand-made broken or forged
// answers that must yield nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dns_wire.h"
#include "link_dns.h"

namespace mirelka {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr Ipv4 kMdnsHost{10, 231, 0, 31};
constexpr Ipv4 kLlmnrPc{10, 231, 0, 32};

// Captured: avahi-daemon's unicast answers to one-shot queries (from an
// ordinary port) for MDNSHOST.local and for 10.231.0.31, ids 0x1234, 0x2345.
const Bytes kAvahiAddress =
    Hex("123484000001000100000000084d444e53484f5354056c6f63616c0000018001086d646e73686f7374c015000100010000000a00040ae7"
        "001f");
const Bytes kAvahiReverse = Hex(
    "23458400000100010000000002333101300332333102313007696e2d61646472046172706100000c8001c00c000c00010000000a0010086d"
    "646e73686f7374056c6f63616c00");
// Captured: llmnrd's answer to "wsdhost" (id 0x3456), naming itself WSDHOST.
const Bytes kLlmnrdAddress =
    Hex("34568000000100010000000007777364686f7374000001000107575344484f535400000100010000001e00040ae7001e");
// The test LAN's LLMNR peer answering the reverse question for 10.231.0.32 (id 0x4567).
const Bytes kLlmnrReverse = Hex(
    "45678000000100010000000002333201300332333102313007696e2d61646472046172706100000c0001c00c000c00010000001e0009074c"
    "4c4d4e52504300");

dns::Question MdnsQuestion() { return mdns::AddressQuestion(*mdns::HostName("MDNSHOST")); }
dns::Question LlmnrQuestion() { return llmnr::AddressQuestion(*llmnr::HostName("wsdhost")); }

TEST(LinkNameQueries, AreBuiltAsOneQuestionAskingForAUnicastAnswerInMdns) {
  EXPECT_EQ(mdns::BuildQuery(0x1234, MdnsQuestion()),
            Hex("123400000001000000000000084d444e53484f5354056c6f63616c0000018001"));
  EXPECT_EQ(mdns::BuildQuery(0x2345, mdns::ReverseQuestion(kMdnsHost)),
            Hex("23450000000100000000000002333101300332333102313007696e2d61646472046172706100000c8001"));
  EXPECT_EQ(llmnr::BuildQuery(0x3456, LlmnrQuestion()), Hex("34560000000100000000000007777364686f7374000001"
                                                            "0001"));
  EXPECT_EQ(llmnr::BuildQuery(0x4567, llmnr::ReverseQuestion(kLlmnrPc)),
            Hex("45670000000100000000000002333201300332333102313007696e2d61646472046172706100000c0001"));
}

TEST(LinkNameQueries, AskOnlyForNamesEachProtocolServes) {
  EXPECT_EQ(mdns::HostName("pc"), std::optional<dns::WireName>("\x02pc\x05local"));
  EXPECT_EQ(mdns::HostName("pc.LOCAL."), std::optional<dns::WireName>("\x02pc\x05LOCAL"));
  EXPECT_EQ(llmnr::HostName("pc"), std::optional<dns::WireName>("\x02pc"));
  const std::string neither[] = {"", ".", "a..b", "\x8b\xa4\x97\x4c", "tab\tname", std::string(64, 'x')};
  for (const std::string& name : neither) {
    EXPECT_FALSE(mdns::HostName(name)) << name;
    EXPECT_FALSE(llmnr::HostName(name)) << name;
  }
  EXPECT_FALSE(mdns::HostName("pc.example.org"));  // another domain is DNS's
  EXPECT_FALSE(llmnr::HostName("pc.local"));
  EXPECT_TRUE(mdns::HostName(std::string(63, 'x')));
  // 255 bytes in wire form at most, with the final zero byte
  const auto under = [](size_t labelSize) {
    std::string name;
    for (int i = 0; i < 4; ++i) name += std::string(labelSize, static_cast<char>('a' + i)) + ".";
    return name + "local";
  };
  EXPECT_TRUE(mdns::HostName(under(61)));
  EXPECT_FALSE(mdns::HostName(under(62)));
}

TEST(LinkNameAnswers, CapturedAnswersGiveTheAddressAndTheName) {
  EXPECT_EQ(mdns::ParseAddressReply(kAvahiAddress.data(), kAvahiAddress.size(), 0x1234, MdnsQuestion()), kMdnsHost);
  EXPECT_EQ(
      mdns::ParseReverseReply(kAvahiReverse.data(), kAvahiReverse.size(), 0x2345, mdns::ReverseQuestion(kMdnsHost)),
      "mdnshost");
  EXPECT_EQ(llmnr::ParseAddressReply(kLlmnrdAddress.data(), kLlmnrdAddress.size(), 0x3456, LlmnrQuestion()),
            (Ipv4{10, 231, 0, 30}));
  EXPECT_EQ(
      llmnr::ParseReverseReply(kLlmnrReverse.data(), kLlmnrReverse.size(), 0x4567, llmnr::ReverseQuestion(kLlmnrPc)),
      "LLMNRPC");
}

TEST(LinkNameAnswers, EveryCutOfASoundAnswerYieldsNothing) {
  for (const Bytes* packet : {&kAvahiAddress, &kAvahiReverse, &kLlmnrdAddress, &kLlmnrReverse}) {
    for (size_t size = 0; size < packet->size(); ++size) {
      const Bytes cut(packet->begin(), packet->begin() + static_cast<std::ptrdiff_t>(size));
      const uint16_t id = static_cast<uint16_t>((*packet)[0] << 8 | (*packet)[1]);
      EXPECT_FALSE(dns::ParseResponse(cut.data(), cut.size(), id)) << size;
    }
  }
}

// Hand-made answers for "pc.local" (id 0x0102): the header, the question
// and an answer record whose name is a pointer to the question.
const Bytes kHeader = Hex("010284000001000100000000");
const Bytes kQuestion = Hex("027063056c6f63616c0000018001");
const Bytes kRecordTail = Hex("000180010000000a0004");  // A, IN with cache flush, TTL 10, 4 bytes

std::optional<Ipv4> ParsePc(const Bytes& packet) {
  return mdns::ParseAddressReply(packet.data(), packet.size(), 0x0102, mdns::AddressQuestion(*mdns::HostName("PC")));
}

TEST(LinkNameAnswers, SoundHandMadeAnswerIsTaken) {
  EXPECT_EQ(ParsePc(Cat(Cat(Cat(kHeader, kQuestion), Hex("c00c")), Cat(kRecordTail, Hex("0ae70005")))),
            (Ipv4{10, 231, 0, 5}));
}

TEST(LinkNameAnswers, ForgedOrBrokenAnswersYieldNothing) {
  const Bytes address = Hex("0ae70005");
  struct Case {
    const char* what;
    Bytes packet;
  };
  const Case cases[] = {
      {"another transaction",
       Cat(Cat(Cat(Hex("999984000001000100000000"), kQuestion), Hex("c00c")), Cat(kRecordTail, address))},
      {"a query", Cat(Cat(Cat(Hex("010200000001000100000000"), kQuestion), Hex("c00c")), Cat(kRecordTail, address))},
      {"an error code",
       Cat(Cat(Cat(Hex("010284030001000100000000"), kQuestion), Hex("c00c")), Cat(kRecordTail, address))},
      {"truncated", Cat(Cat(Cat(Hex("010286000001000100000000"), kQuestion), Hex("c00c")), Cat(kRecordTail, address))},
      {"no question repeated", Cat(Cat(Hex("010284000000000100000000027063056c6f63616c00"), kRecordTail), address)},
      {"another question",
       Cat(Cat(Cat(kHeader, Hex("027164056c6f63616c0000018001")), Hex("c00c")), Cat(kRecordTail, address))},
      {"another name answered", Cat(Cat(Cat(kHeader, kQuestion), Hex("027164c00f")), Cat(kRecordTail, address))},
      {"pointer to itself", Cat(Cat(Cat(kHeader, kQuestion), Hex("c01a")), Cat(kRecordTail, address))},
      {"pointer forward", Cat(Cat(Cat(kHeader, kQuestion), Hex("c01c")), Cat(kRecordTail, address))},
      {"pointers in a loop",
       Cat(Cat(Cat(Hex("010284000001000200000000"), kQuestion), Hex("c01cc01a")), Cat(kRecordTail, address))},
      {"pointer past the end", Cat(Cat(Cat(kHeader, kQuestion), Hex("ffff")), Cat(kRecordTail, address))},
      {"record longer than the packet", Cat(Cat(Cat(kHeader, kQuestion), Hex("c00c000180010000000aff00")), address)},
      {"three-byte address", Cat(Cat(Cat(kHeader, kQuestion), Hex("c00c000180010000000a0003")), Hex("0ae700"))},
      {"announced records missing",
       Cat(Cat(Cat(Hex("010284000001000200000000"), kQuestion), Hex("c00c")), Cat(kRecordTail, address))},
      {"extended label type", Cat(Cat(Cat(kHeader, kQuestion), Hex("4170c00c")), Cat(kRecordTail, address))},
      {"multicast address", Cat(Cat(Cat(kHeader, kQuestion), Hex("c00c")), Cat(kRecordTail, Hex("e00000fb")))},
  };
  for (const Case& c : cases) EXPECT_FALSE(ParsePc(c.packet)) << c.what;
  // The cache-flush bit is multicast DNS's own: LLMNR wants the class exactly.
  const Bytes flushed = Cat(Cat(Cat(Hex("010280000001000100000000"), Hex("02706300"
                                                                         "00010001")),
                                Hex("c00c")),
                            Cat(kRecordTail, address));
  EXPECT_FALSE(
      llmnr::ParseAddressReply(flushed.data(), flushed.size(), 0x0102, llmnr::AddressQuestion(*llmnr::HostName("pc"))));
}

// An answer whose name is a chain of compression pointers: a record of
// another type holds `links` pointers, each to the one before it (the first
// to the question), and the A record's name points to the last.
Bytes PointerChain(size_t links) {
  Bytes chain;
  for (size_t k = 0; k < links; ++k) {
    const size_t to = k == 0 ? 12 : 12 + kQuestion.size() + 12 + 2 * (k - 1);
    chain.push_back(static_cast<uint8_t>(0xC0 | to >> 8));
    chain.push_back(static_cast<uint8_t>(to & 0xFF));
  }
  const size_t last = 12 + kQuestion.size() + 12 + 2 * (links - 1);
  const Bytes txt = Cat(Hex("c00c001000010000000a"),
                        Bytes{static_cast<uint8_t>(chain.size() >> 8), static_cast<uint8_t>(chain.size() & 0xFF)});
  const Bytes name{static_cast<uint8_t>(0xC0 | last >> 8), static_cast<uint8_t>(last & 0xFF)};
  return Cat(Cat(Cat(Hex("010284000001000200000000"), kQuestion), Cat(txt, chain)),
             Cat(name, Cat(kRecordTail, Hex("0ae70005"))));
}

TEST(LinkNameAnswers, ANameFollowsAtMostItsShareOfCompressionPointers) {
  // The A record's own pointer and the chain's: links + 1 jumps.
  EXPECT_EQ(ParsePc(PointerChain(dns::kMaxPointerJumps - 1)), (Ipv4{10, 231, 0, 5}));
  EXPECT_FALSE(ParsePc(PointerChain(dns::kMaxPointerJumps)));
  EXPECT_FALSE(ParsePc(PointerChain(8000)));
}

TEST(LinkNameAnswers, NamesPastTheirLimitOrWithControlBytesYieldNothing) {
  // Four labels of 63 bytes are 257 bytes in wire form; so are three in the
  // question and one before a pointer to them.
  const Bytes label = Cat(Hex("3f"), Bytes(63, 'a'));
  const Bytes four = Cat(Cat(label, label), Cat(label, label));
  const Bytes direct = Cat(Cat(Cat(kHeader, kQuestion), Cat(four, Hex("00"))), Cat(kRecordTail, Hex("0ae70005")));
  EXPECT_FALSE(dns::ParseResponse(direct.data(), direct.size(), 0x0102));
  const Bytes three = Cat(Cat(label, label), Cat(label, Hex("00")));
  const Bytes pointed =
      Cat(Cat(Cat(kHeader, three), Cat(Hex("00018001"), label)), Cat(Hex("c00c"), Cat(kRecordTail, Hex("0ae70005"))));
  EXPECT_FALSE(dns::ParseResponse(pointed.data(), pointed.size(), 0x0102));
  // One label less before the pointer fits.
  const Bytes fits = Cat(Cat(kHeader, three), Cat(Hex("00018001c00c"), Cat(kRecordTail, Hex("0ae70005"))));
  EXPECT_TRUE(dns::ParseResponse(fits.data(), fits.size(), 0x0102));

  const Bytes evil =
      Hex("45678000000100010000000002333201300332333102313007696e2d61646472046172706100000c0001c00c000c00010000001e0009"
          "084556"
          "494c01504300");  // "EVIL\x01PC"
  EXPECT_FALSE(llmnr::ParseReverseReply(evil.data(), evil.size(), 0x4567, llmnr::ReverseQuestion(kLlmnrPc)));
  const Bytes itself = Hex(
      "45678000000100010000000002333201300332333102313007696e2d61646472046172706100000c0001c00c000c00010000001e0002c0"
      "0c");  // the reverse name itself
  EXPECT_FALSE(llmnr::ParseReverseReply(itself.data(), itself.size(), 0x4567, llmnr::ReverseQuestion(kLlmnrPc)));
}

}  // namespace
}  // namespace mirelka
