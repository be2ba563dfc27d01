// Code page 932 through the platform's own converter (iconv on Linux,
// MultiByteToWideChar/WideCharToMultiByte under Windows): one table, which
// both platforms must give alike, and the round trip of every byte string.
#include "cp932_codec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "round_trip_samples.h"

namespace {

std::string Hex(std::u32string_view cps) {
  std::string out;
  for (char32_t cp : cps) out += "U+" + std::to_string(static_cast<unsigned long>(cp)) + " ";
  return out;
}

TEST(Cp932Codec, EveryByteSequenceRoundTrips) {
  for (const std::string& s : RoundTripSamples()) {
    EXPECT_EQ(cp932::EncodeCodePoints(cp932::DecodeCodePoints(s)).value_or("<refused>"), s);
  }
}

// Characters where code page 932 differs from plain Shift_JIS, its extension
// rows, half-width katakana and the user-defined area, in both directions.
TEST(Cp932Codec, KnownCharactersBothWays) {
  const struct {
    const char* bytes;
    char32_t cp;
  } table[] = {
      {"\x5C", 0x5C},       {"\x7E", 0x7E},       {"\x81\x5F", 0xFF3C}, {"\x81\x60", 0xFF5E}, {"\x81\x61", 0x2225},
      {"\x81\x7C", 0xFF0D}, {"\x81\x91", 0xFFE0}, {"\x81\x92", 0xFFE1}, {"\x81\xCA", 0xFFE2}, {"\x81\xE0", 0x2252},
      {"\x83\x5C", 0x30BD}, {"\x87\x40", 0x2460}, {"\x87\x54", 0x2160}, {"\x88\x9F", 0x4E9C}, {"\xFA\x40", 0x2170},
      {"\xFA\x5C", 0x7E8A}, {"\xA6", 0xFF66},     {"\xDF", 0xFF9F},     {"\xF0\x40", 0xE000}, {"\xF9\xFC", 0xE757},
  };
  for (const auto& row : table) {
    const std::string bytes = row.bytes;
    EXPECT_EQ(cp932::DecodeCodePoints(bytes), std::u32string(1, row.cp)) << Hex(std::u32string(1, row.cp));
    EXPECT_EQ(cp932::EncodeCodePoints(std::u32string(1, row.cp)).value_or("<refused>"), bytes)
        << Hex(std::u32string(1, row.cp));
  }
}

// A character with two codes is written with one of them; the other is kept
// as its raw bytes, so it still comes back unchanged.
TEST(Cp932Codec, DuplicateCodesEncodeOneWayAndKeepTheOther) {
  const struct {
    char32_t cp;
    const char* chosen;
    const char* other;
  } table[] = {
      {0x2252, "\x81\xE0", "\x87\x90"},                                    // NEC row 13 against JIS
      {0x2235, "\x81\xE6", "\x87\x9A"}, {0xFFE2, "\x81\xCA", "\xEE\xF9"},  // NEC-selected IBM row against JIS
      {0x2170, "\xFA\x40", "\xEE\xEF"},                                    // NEC-selected IBM row against IBM
      {0x7E8A, "\xFA\x5C", "\xED\x40"}, {0x2160, "\x87\x54", "\xFA\x4A"},  // NEC row 13 against IBM
  };
  for (const auto& row : table) {
    EXPECT_EQ(cp932::EncodeCodePoints(std::u32string(1, row.cp)).value_or("<refused>"), row.chosen)
        << Hex(std::u32string(1, row.cp));
    const std::u32string other = cp932::DecodeCodePoints(row.other);
    EXPECT_NE(other, std::u32string(1, row.cp)) << Hex(other);
    EXPECT_EQ(cp932::EncodeCodePoints(other).value_or("<refused>"), row.other);
  }
}

TEST(Cp932Codec, NoBestFitForWhatItCannotHold) {
  // Look-alikes that a best-fit conversion would turn into "\", "~" or a
  // full-width sign are characters code page 932 does not have.
  for (char32_t cp : {char32_t{0xA5}, char32_t{0x203E}, char32_t{0xD55C}, char32_t{0x1F600}, char32_t{0xD800}}) {
    const base::Result<std::string> refused = cp932::EncodeCodePoints(std::u32string{'a', cp, 'b'});
    ASSERT_FALSE(refused) << Hex(std::u32string(1, cp));
    EXPECT_EQ(refused.failure().code, cp932::kUnencodable);
    char named[16];
    std::snprintf(named, sizeof named, "U+%04X ", static_cast<unsigned>(cp));
    EXPECT_EQ(refused.failure().text.rfind(named, 0), 0u) << refused.failure().text;
    EXPECT_EQ(cp932::EncodeCodePointsLossy(std::u32string{'a', cp, 'b'}), "a?b");
  }
}

// The JIS-mapped code points that Shift_JIS text on Unix carries are written
// as the code page's own characters; decoding keeps the code page's mapping.
TEST(Cp932Codec, TwinsEncodeAsTheCodePagesCharacter) {
  const struct {
    char32_t jis;
    const char* bytes;
    char32_t decoded;
  } table[] = {
      {0x301C, "\x81\x60", 0xFF5E}, {0x2016, "\x81\x61", 0x2225}, {0x2212, "\x81\x7C", 0xFF0D},
      {0x2014, "\x81\x5C", 0x2015}, {0x00A2, "\x81\x91", 0xFFE0}, {0x00A3, "\x81\x92", 0xFFE1},
      {0x00AC, "\x81\xCA", 0xFFE2},
  };
  for (const auto& row : table) {
    const std::string out = cp932::EncodeCodePoints(std::u32string{'a', row.jis}).value_or("<refused>");
    EXPECT_EQ(out, std::string("a") + row.bytes) << Hex(std::u32string(1, row.jis));
    EXPECT_EQ(cp932::DecodeCodePoints(out), (std::u32string{'a', row.decoded}));
  }
  EXPECT_EQ(cp932::FromUtf8Lossy(u8"資料〜2024"), cp932::FromUtf8Lossy(u8"資料～2024"));
}

TEST(Cp932Codec, Utf8BothWays) {
  EXPECT_EQ(cp932::ToUtf8("\x8B\xA4\x97\x4C\x83\x5C"), u8"共有ソ");
  EXPECT_EQ(cp932::FromUtf8Lossy(u8"共有データ"), "\x8B\xA4\x97\x4C\x83\x66\x81\x5B\x83\x5E");
  EXPECT_EQ(cp932::Text(u8"グローバルIP"),
            "\x83\x4F\x83\x8D\x81\x5B\x83\x6F\x83\x8B"
            "IP");
  // Malformed UTF-8 (a stray continuation byte, a cut sequence, an encoded
  // surrogate, an overlong "/") never passes through as bytes.
  EXPECT_EQ(cp932::FromUtf8Lossy("a\x80"
                                 "b\xE3\x81"
                                 "c\xED\xA0\x80"
                                 "d\xC0\xAF"),
            "a?b??c???d??");
  // The wide calls' text: a pair is one character, an unpaired surrogate U+FFFD.
  EXPECT_EQ(cp932::Utf16ToUtf8(u"写真\U0001F600\xD800x\xDC00"), u8"写真😀\uFFFDx\uFFFD");
  EXPECT_EQ(cp932::ToUtf16("\x8B\xA4\x81\x60\xFF"), u"共～\xF7FF");
}

}  // namespace
