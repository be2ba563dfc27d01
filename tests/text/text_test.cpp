// Code page 932 cuts and dotted addresses.
#include <gtest/gtest.h>

#include <optional>
#include <string>

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
  for (const auto& c : cases) EXPECT_EQ(cp932::UpperAscii(c.in), c.out) << c.in;
}

TEST(Cp932Text, PrefixNeverSplitsACharacter) {
  const std::string mixed =
      "A\x83\x5C"
      "B\x96\xbc";  // A, ソ, B, 名
  const struct { size_t max, expected; } cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 3}, {4, 4}, {5, 4}, {6, 6}, {100, 6}};
  for (const auto& c : cases) EXPECT_EQ(cp932::PrefixLength(mixed, c.max), c.expected) << c.max;
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
