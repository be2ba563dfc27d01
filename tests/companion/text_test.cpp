// The buffer contract helpers, code page 932 cuts and dotted addresses.
#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "address.h"
#include "cp932_bytes.h"

namespace mirelka {
namespace {

TEST(Cp932Text, UpperAsciiLeavesTrailBytes) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"pc01", "PC01"},
      {"Already UP", "ALREADY UP"},
      {"\x83\x61\x83\x7a", "\x83\x61\x83\x7a"},  // trail bytes 'a' and 'z' belong to their characters
      {"a\x96\x62"
       "b",
       "A\x96\x62"
       "B"},
      {"\xb1z", "\xb1Z"},  // half-width katakana is single-byte
      {"\x83", "\x83"},    // a lone lead byte at the end
  };
  for (const auto& c : cases) EXPECT_EQ(cp932::upperAscii(c.in), c.out) << c.in;
}

TEST(Cp932Text, PrefixNeverSplitsACharacter) {
  const std::string mixed =
      "A\x83\x5C"
      "B\x96\xbc";  // A, ソ, B, 名
  const struct { size_t max, expected; } cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 3}, {4, 4}, {5, 4}, {6, 6}, {100, 6}};
  for (const auto& c : cases) EXPECT_EQ(cp932::prefixLength(mixed, c.max), c.expected) << c.max;
}

TEST(BufferContract, ReadInputStopsAtNulOrSize) {
  const char text[] = {'a', 'b', 'c', 'd', 'e'};  // no NUL at all
  EXPECT_EQ(ReadInput(text, 5), "abcde");
  EXPECT_EQ(ReadInput(text, 3), "abc");
  EXPECT_EQ(ReadInput(text, 0), "");
  const char early[] = {'x', 0, 'y', 'z'};
  EXPECT_EQ(ReadInput(early, 4), "x");
}

// Writes into a buffer with guard bytes after buf[size] and checks them.
struct Written {
  uint16_t code;
  std::string text;
  bool guardsIntact;
};

Written Write(int32_t size, const Outcome& outcome) {
  std::vector<char> buf(static_cast<size_t>(size) + 1 + 16, '\x5A');
  const uint16_t code = WriteOutcome(buf.data(), size, outcome);
  bool intact = true;
  for (size_t i = static_cast<size_t>(size) + 1; i < buf.size(); ++i) intact = intact && buf[i] == '\x5A';
  const size_t length = std::string(buf.data(), static_cast<size_t>(size) + 1).find('\0');
  return {code, length == std::string::npos ? "<no NUL>" : std::string(buf.data(), length), intact};
}

TEST(BufferContract, WriteOutcomeTable) {
  const std::string noRoom = reason::kNoRoom;
  const std::string unknown = reason::kNameUnknown;
  const struct {
    const char* what;
    int32_t size;
    Outcome outcome;
    uint16_t code;
    std::string text;
  } cases[] = {
      {"fits exactly", 9, {kOk, "127.0.0.1"}, kOk, "127.0.0.1"},
      {"room to spare", 255, {kOk, "10.0.0.1"}, kOk, "10.0.0.1"},
      {"success one byte too long", 8, {kOk, "127.0.0.1"}, kNoRoom, noRoom.substr(0, 8)},
      {"success into size 0", 0, {kOk, "1.2.3.4"}, kNoRoom, ""},
      {"reason cut before a lead byte", 3, {kNotFound, unknown}, kNotFound, unknown.substr(0, 2)},
      {"reason in full", 64, {kNotFound, unknown}, kNotFound, unknown},
      {"empty success", 0, {kOk, ""}, kOk, ""},
  };
  for (const auto& c : cases) {
    const Written w = Write(c.size, c.outcome);
    EXPECT_EQ(w.code, c.code) << c.what;
    EXPECT_EQ(w.text, c.text) << c.what;
    EXPECT_TRUE(w.guardsIntact) << c.what;
  }
}

TEST(BufferContract, NoBufferOrNegativeSizeIsFailure) {
  EXPECT_NE(WriteOutcome(nullptr, 10, Outcome{kOk, "x"}), kOk);
  char one = '\x5A';
  EXPECT_NE(WriteOutcome(&one, -1, Outcome{kOk, "x"}), kOk);
  EXPECT_EQ(one, '\x5A');
}

TEST(DottedAddress, ParseTable) {
  const struct {
    const char* text;
    bool valid;
    Ipv4 address;
  } cases[] = {
      {"127.0.0.1", true, {127, 0, 0, 1}},
      {"0.0.0.0", true, {0, 0, 0, 0}},
      {"255.255.255.255", true, {255, 255, 255, 255}},
      {"10.77.0.2", true, {10, 77, 0, 2}},
      {"256.0.0.1", false, {}},
      {"01.2.3.4", false, {}},
      {"1.2.3", false, {}},
      {"1.2.3.4.", false, {}},
      {"1.2.3.4 ", false, {}},
      {" 1.2.3.4", false, {}},
      {"1..3.4", false, {}},
      {"1.2.3.1000", false, {}},
      {"a.b.c.d", false, {}},
      {"+1.2.3.4", false, {}},
      {"1.2.3.-4", false, {}},
      {"1.2.3.0004", false, {}},
      {"", false, {}},
  };
  for (const auto& c : cases) {
    const std::optional<Ipv4> parsed = ParseDotted(c.text);
    ASSERT_EQ(parsed.has_value(), c.valid) << c.text;
    if (parsed) {
      EXPECT_EQ(*parsed, c.address) << c.text;
      EXPECT_EQ(FormatDotted(*parsed), c.text);
    }
  }
}

}  // namespace
}  // namespace mirelka
