// The negotiate answer readers over hand-made answers, each in a buffer of
// its exact size (the sanitizer run sees any read past it).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "negotiate_answers.h"
#include "smb_negotiate.h"

namespace {

namespace ng = netinfo::negotiate;
using negotiate_answers::Bytes;
using negotiate_answers::Frame;
using negotiate_answers::MakeSmb1;
using negotiate_answers::MakeSmb2;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Case {
  const char* name;
  Bytes bytes;
  ng::Kind kind;
  uint16_t dialect = 0;
  bool signing = false;
};

TEST(NegotiateReader, DecidesEachAnswerByItsHeaderAndFields) {
  Bytes tooLong = Frame(MakeSmb2({}), 64 * 1024 + 1);
  Bytes shortSmb2Frame = Frame(MakeSmb2({}), 100);  // says less than the fixed part
  Bytes ntlmCutShort = Frame(MakeSmb1({17, 0, 0x03, 0x72, 0x98, 40}));
  const Case cases[] = {
      {"SMB2 wildcard, signing enabled", Frame(MakeSmb2({})), ng::Kind::kSmb2, ng::kSmb2Wildcard, false},
      {"SMB2 2.002, signing required", Frame(MakeSmb2({ng::kSmb2002, 0x03})), ng::Kind::kSmb2, ng::kSmb2002, true},
      {"SMB2 3.1.1, never offered", Frame(MakeSmb2({0x0311})), ng::Kind::kNotSmb},
      {"SMB2 error status", Frame(MakeSmb2({ng::kSmb2Wildcard, 1, 0xC0000022})), ng::Kind::kNotSmb},
      {"SMB2 other command", Frame(MakeSmb2({ng::kSmb2Wildcard, 1, 0, 1})), ng::Kind::kNotSmb},
      {"SMB2 request, not response", Frame(MakeSmb2({ng::kSmb2Wildcard, 1, 0, 0, 0})), ng::Kind::kNotSmb},
      {"SMB2 frame shorter than its fixed part", shortSmb2Frame, ng::Kind::kNotSmb},
      {"SMB1 NT LM 0.12, signing required", Frame(MakeSmb1({17, 0, 0x0F})), ng::Kind::kSmb1, ng::kNtLm012, true},
      {"SMB1 NT LM 0.12, signing optional", Frame(MakeSmb1({17, 0, 0x07})), ng::Kind::kSmb1, ng::kNtLm012, false},
      {"SMB1 index of SMB 2.002", Frame(MakeSmb1({17, 1})), ng::Kind::kNotSmb},
      {"SMB1 index never offered", Frame(MakeSmb1({17, 7})), ng::Kind::kNotSmb},
      {"SMB1 none of these", Frame(MakeSmb1({1, 0xFFFF})), ng::Kind::kNotSmb},
      {"SMB1 17 words in a short frame", ntlmCutShort, ng::Kind::kNotSmb},
      {"SMB1 other command", Frame(MakeSmb1({17, 0, 0x03, 0x73})), ng::Kind::kNotSmb},
      {"SMB1 request, not reply", Frame(MakeSmb1({17, 0, 0x03, 0x72, 0x18})), ng::Kind::kNotSmb},
      {"other protocol id", Frame(Cat(Text("\xFDSMB"), Bytes(120, 0))), ng::Kind::kNotSmb},
      {"HTTP", Text("HTTP/1.1 400 Bad Request\r\n\r\n"), ng::Kind::kNotSmb},
      {"garbage after a session header",
       Frame(Text("\xFE"
                  "SMX")),
       ng::Kind::kNotSmb},
      {"keep-alive frame", Bytes{0x85, 0, 0, 0}, ng::Kind::kNotSmb},
      {"frame over the cap", tooLong, ng::Kind::kNotSmb},
      {"frame too short for any answer", Frame(Text("\xFFSMB")), ng::Kind::kNotSmb},
      {"nothing yet", Bytes{}, ng::Kind::kIncomplete},
      {"session header only", Bytes{0, 0, 0, 200}, ng::Kind::kIncomplete},
  };
  for (const Case& c : cases) {
    const Bytes exact = c.bytes;
    const ng::Answer a = ng::Read(exact.data(), exact.size());
    EXPECT_EQ(a.kind, c.kind) << c.name;
    if (c.kind == ng::Kind::kSmb2 || c.kind == ng::Kind::kSmb1) {
      EXPECT_EQ(a.dialect, c.dialect) << c.name;
      EXPECT_EQ(a.signingRequired, c.signing) << c.name;
    }
  }
}

TEST(NegotiateReader, WaitsForTheFieldsItNeedsAndNoMore) {
  for (const Bytes& whole : {Frame(MakeSmb2({})), Frame(MakeSmb1({17, 0, 0x0F}))}) {
    const ng::Kind kind = ng::Read(whole.data(), whole.size()).kind;
    size_t decidedAt = 0;
    for (size_t n = 0; n <= whole.size() && decidedAt == 0; ++n) {
      const Bytes prefix(whole.begin(), whole.begin() + static_cast<long>(n));
      const ng::Kind now = ng::Read(prefix.data(), prefix.size()).kind;
      if (now != ng::Kind::kIncomplete) {
        EXPECT_EQ(now, kind) << "decided otherwise at " << n << " bytes";
        decidedAt = n;
      }
    }
    // Decided before the whole frame (the security blob is never waited for).
    EXPECT_GT(decidedAt, 0u);
    EXPECT_LT(decidedAt, whole.size());
  }
}

TEST(SessionReader, TakesOnlyAnEmptyPositiveAnswer) {
  const struct {
    Bytes bytes;
    ng::Session session;
  } cases[] = {
      {{0x82, 0, 0, 0}, ng::Session::kAccepted},      {{0x83, 0, 0, 1, 0x82}, ng::Session::kRefused},
      {{0x82, 0, 0, 1, 0}, ng::Session::kNotNetbios}, {{0x84, 0, 0, 6}, ng::Session::kNotNetbios},
      {{0x00, 0, 0, 0}, ng::Session::kNotNetbios},    {{0x82, 0, 0}, ng::Session::kIncomplete},
  };
  for (const auto& c : cases) {
    const Bytes exact = c.bytes;
    EXPECT_EQ(ng::ReadSession(exact.data(), exact.size()), c.session) << exact.size() << " bytes";
  }
}

}  // namespace
