// The multicast DNS browse's reader and gathering, on hand-made answers:
// what is taken from a sound answer, and what a broken or hostile one costs
// (refused, or records dropped and counted).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mdns_messages.h"

namespace {

namespace mdns = discovery::mdns;
using Bytes = std::vector<uint8_t>;

void U16(Bytes& b, uint16_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}

Bytes Name(const std::string& dotted) {
  Bytes b;
  size_t start = 0;
  while (start < dotted.size()) {
    size_t dot = dotted.find('.', start);
    if (dot == std::string::npos) dot = dotted.size();
    b.push_back(uint8_t(dot - start));
    b.insert(b.end(), dotted.begin() + long(start), dotted.begin() + long(dot));
    start = dot + 1;
  }
  b.push_back(0);
  return b;
}

Bytes Header(uint16_t flags, uint16_t answers, uint16_t additional = 0, uint16_t id = 0, uint16_t questions = 0) {
  Bytes b;
  for (uint16_t v : {id, flags, questions, answers, uint16_t(0), additional}) U16(b, v);
  return b;
}

Bytes Record(const Bytes& owner, uint16_t type, const Bytes& data, uint32_t ttl = 120, uint16_t rclass = 0x8001) {
  Bytes b = owner;
  U16(b, type);
  U16(b, rclass);
  U16(b, uint16_t(ttl >> 16));
  U16(b, uint16_t(ttl));
  U16(b, uint16_t(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes Srv(const std::string& host) {
  Bytes b = {0, 0, 0, 0, 0x01, 0xBD};  // priority, weight, port 445
  const Bytes n = Name(host);
  b.insert(b.end(), n.begin(), n.end());
  return b;
}

Bytes Txt(const std::vector<std::string>& strings) {
  Bytes b;
  for (const std::string& s : strings) {
    b.push_back(uint8_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
  }
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

const std::string kType = "_smb._tcp.local";
const std::string kInstance = "MDNSHOST." + kType;
const Bytes kA31 = {10, 231, 0, 31};
constexpr uint32_t kFrom = 0x0AE7001F;  // 10.231.0.31
constexpr uint16_t kAnswer = 0x8400;

// A whole service: PTR, then SRV, TXT and A as additional records.
Bytes Service(const Bytes& address = kA31, const std::vector<std::string>& txt = {"model=Xserve"}) {
  return Cat({Header(kAnswer, 1, 3), Record(Name(kType), mdns::kTypePtr, Name(kInstance), 4500, 1),
              Record(Name(kInstance), mdns::kTypeSrv, Srv("mdnshost.local")),
              Record(Name(kInstance), mdns::kTypeTxt, Txt(txt)),
              Record(Name("mdnshost.local"), mdns::kTypeA, address)});
}

std::string Text(const mdns::Gathering::Found& f) {
  return f.instance + " " + f.host + " " + std::to_string(f.address >> 24) + "." + std::to_string(f.address & 0xFF) +
         " " + f.model;
}

TEST(MdnsReader, AnswersAreTakenRefusedOrStrippedOfForgedRecords) {
  // The PTR's target by pointer to the instance name inside the question.
  const Bytes question = Cat({Name(kInstance), {0, 33, 0, 1}});
  const Bytes compressed = Cat(
      {Header(kAnswer, 1, 2, 0, 1), question, Record(Name(kType), mdns::kTypePtr, {0xC0, 12}, 4500, 1),
       Record({0xC0, 12}, mdns::kTypeSrv, Srv("mdnshost.local")), Record(Name("mdnshost.local"), mdns::kTypeA, kA31)});
  Bytes looping = Cat({Header(kAnswer, 1), Record({0xC0, 12}, mdns::kTypeA, kA31)});
  Bytes forward = Cat({Header(kAnswer, 1), Record({0xC0, 40}, mdns::kTypeA, kA31), Bytes(20, 0)});
  const Bytes service = Service();
  Bytes truncated(service.begin(), service.end() - 3);
  Bytes oversized = service;
  oversized.resize(mdns::kMaxMessageBytes + 1);
  Bytes tooManyRecords = Service();
  tooManyRecords[10] = 1;  // 259 additional records announced
  Bytes query = Service();
  query[2] = 0;
  Bytes cutShort = Service();
  cutShort[2] |= 0x02;  // TC
  const Bytes forged =
      Cat({Header(kAnswer, 4, 1),
           Record(Name(kType), mdns::kTypePtr, Name("EVIL._http._tcp.local"), 4500, 1),  // not our type
           Record(Name(kType), mdns::kTypePtr, Cat({Name(kInstance), {0}}), 4500, 1),    // data overruns the name
           Record(Name(kInstance), mdns::kTypeSrv, {0, 0, 0}),                           // too short
           Record(Name(kInstance), mdns::kTypeTxt, {9, 'm'}),                            // string overruns
           Record(Name("mdnshost.local"), mdns::kTypeA, {10, 231, 0, 31, 0})});          // 5 bytes
  Bytes deviceInfo = Cat({Service(kA31, {"path=/"}),
                          Record(Name("MDNSHOST._device-info._tcp.local"), mdns::kTypeTxt, Txt({"model=MacSamba"}))});
  deviceInfo[11] = 4;  // one more additional record
  const Bytes withoutTxt = Cat({Header(kAnswer, 1, 2), Record(Name(kType), mdns::kTypePtr, Name(kInstance), 4500, 1),
                                Record(Name(kInstance), mdns::kTypeSrv, Srv("mdnshost.local")),
                                Record(Name("mdnshost.local"), mdns::kTypeA, kA31)});

  struct Case {
    const char* what;
    Bytes bytes;
    uint32_t from;
    mdns::Refusal refusal;
    std::vector<std::string> ready, final;  // before the search ends, and at its end
    int forged, offLink;
  };
  const std::vector<Case> cases = {
      {"whole service", service, kFrom, mdns::Refusal::None, {"MDNSHOST mdnshost.local 10.31 Xserve"}, {}, 0, 0},
      {"compressed names", compressed, kFrom, mdns::Refusal::None, {}, {"MDNSHOST mdnshost.local 10.31 "}, 0, 0},
      // clang-format off
      {"TXT without model: waits for the device information", Service(kA31, {"path=/", "MODEL"}), kFrom,
       mdns::Refusal::None, {}, {"MDNSHOST mdnshost.local 10.31 "}, 0, 0},
      {"device information's model", deviceInfo, kFrom, mdns::Refusal::None,
       {"MDNSHOST mdnshost.local 10.31 MacSamba"}, {}, 0, 0},
      {"no TXT: reported at the end", withoutTxt, kFrom, mdns::Refusal::None, {},
       {"MDNSHOST mdnshost.local 10.31 "}, 0, 0},
      // clang-format on
      {"looping pointer", looping, kFrom, mdns::Refusal::Malformed, {}, {}, 0, 0},
      {"forward pointer", forward, kFrom, mdns::Refusal::Malformed, {}, {}, 0, 0},
      {"truncated", truncated, kFrom, mdns::Refusal::Malformed, {}, {}, 0, 0},
      {"oversized", oversized, kFrom, mdns::Refusal::Oversized, {}, {}, 0, 0},
      {"too many records", tooManyRecords, kFrom, mdns::Refusal::Oversized, {}, {}, 0, 0},
      {"a query", query, kFrom, mdns::Refusal::NotResponse, {}, {}, 0, 0},
      {"truncation bit", cutShort, kFrom, mdns::Refusal::NotResponse, {}, {}, 0, 0},
      {"forged records", forged, kFrom, mdns::Refusal::None, {}, {}, 5, 0},
      {"off-link A record", Service({192, 0, 2, 9}), kFrom, mdns::Refusal::None, {}, {}, 1, 0},
      {"off-link sender", service, 0xC0000201, mdns::Refusal::None, {}, {}, 0, 1},
      {"network's own address as A", Service({10, 231, 0, 0}), kFrom, mdns::Refusal::None, {}, {}, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mdns::Refusal why = mdns::Refusal::None;
    const std::optional<mdns::Response> response = mdns::ReadResponse(c.bytes.data(), c.bytes.size(), &why);
    EXPECT_EQ(why, c.refusal);
    ASSERT_EQ(response.has_value(), c.refusal == mdns::Refusal::None);
    mdns::Gathering g({{0x0AE70001, 0xFFFFFF00}});
    if (!response) continue;
    g.Take(*response, c.from);
    std::vector<std::string> ready, final;
    for (const auto& f : g.Ready(false)) ready.push_back(Text(f));
    for (const auto& f : g.Ready(true)) final.push_back(Text(f));
    EXPECT_EQ(ready, c.ready);
    EXPECT_EQ(final, c.final);  // each service handed out once
    EXPECT_EQ(g.counts().forged, c.forged);
    EXPECT_EQ(g.counts().offLink, c.offLink);
  }
}

TEST(MdnsReader, IncompleteServicesAreAskedForTwiceAtMost) {
  mdns::Gathering g({{0x0AE70001, 0xFFFFFF00}});
  // A PTR alone: its SRV and TXT are asked for; with the SRV the host's A.
  const Bytes ptr = Cat({Header(kAnswer, 1), Record(Name(kType), mdns::kTypePtr, Name(kInstance), 4500, 1)});
  g.Take(*mdns::ReadResponse(ptr.data(), ptr.size()), kFrom);
  const auto first = g.FollowUps();
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(first[0].type, mdns::kTypeSrv);
  EXPECT_EQ(first[1].type, mdns::kTypeTxt);
  EXPECT_EQ(mdns::Dotted(first[2].name), "MDNSHOST._device-info._tcp.local");
  EXPECT_TRUE(mdns::SameName(first[0].name, mdns::WireName("\x08MDNSHOST\x04_smb\x04_tcp\x05local", 25)));
  const Bytes srv = Cat({Header(kAnswer, 2), Record(Name(kInstance), mdns::kTypeSrv, Srv("mdnshost.local")),
                         Record(Name(kInstance), mdns::kTypeTxt, Txt({"model=X"}))});
  g.Take(*mdns::ReadResponse(srv.data(), srv.size()), kFrom);
  const auto second = g.FollowUps();
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].type, mdns::kTypeA);
  EXPECT_EQ(mdns::Dotted(second[0].name), "mdnshost.local");
  EXPECT_TRUE(g.FollowUps().empty());  // asked twice: no more
  EXPECT_TRUE(g.Ready(true).empty());  // never an address: never a finding
  // A flood of instances: the browse keeps a bounded number.
  for (int i = 0; i < 300; ++i) {
    const std::string name = "H" + std::to_string(i) + "." + kType;
    const Bytes one = Cat({Header(kAnswer, 1), Record(Name(kType), mdns::kTypePtr, Name(name), 4500, 1)});
    g.Take(*mdns::ReadResponse(one.data(), one.size()), kFrom);
  }
  EXPECT_EQ(g.Services(), mdns::kMaxServices);
  size_t asked = 0;
  for (int round = 0; round < 4; ++round) asked += g.FollowUps().size();
  EXPECT_LE(asked, mdns::kMaxFollowUps);
}

TEST(MdnsReader, QueryAsksForTheServiceTypeOnce) {
  const std::vector<uint8_t> q = mdns::BuildQuery(0x1234, mdns::ServiceType(), mdns::kTypePtr);
  const Bytes expected = Cat({{0x12, 0x34, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}, Name(kType), {0, mdns::kTypePtr, 0, 1}});
  EXPECT_EQ(q, expected);
}

}  // namespace
