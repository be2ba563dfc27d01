#include "cp932.h"

#include <gtest/gtest.h>

#include "round_trip_samples.h"

namespace {

TEST(Cp932, EveryByteSequenceRoundTrips) {
  for (const std::string& s : RoundTripSamples()) {
    EXPECT_EQ(cp932::EncodeLossy(cp932::Decode(s)), s);
    EXPECT_EQ(cp932::Encode(cp932::Decode(s)).value_or("<refused>"), s);
  }
}

TEST(Cp932, DecodesKnownCharacters) {
  EXPECT_EQ(cp932::Decode("\x83\x5C"), QString::fromUtf8(u8"ソ"));
  EXPECT_EQ(cp932::Decode("\x8B\xA4\x97\x4C"), QString::fromUtf8(u8"共有"));
  EXPECT_EQ(cp932::ToUtf8("\x83\x5C"), u8"ソ");
  EXPECT_EQ(cp932::FromUtf8Lossy(u8"共有データ"), "\x8B\xA4\x97\x4C\x83\x66\x81\x5B\x83\x5E");
}

TEST(Cp932, RemovesOnlySingleByteBackslashes) {
  EXPECT_EQ(cp932::RemoveBackslashes("\\\\PC\\SHARE"), "PCSHARE");
  EXPECT_EQ(cp932::RemoveBackslashes("\\\x83\x5C\\"), "\x83\x5C");
  EXPECT_EQ(cp932::RemoveBackslashes("\x83\x5C\x83\x5C"), "\x83\x5C\x83\x5C");
  EXPECT_EQ(cp932::RemoveBackslashes("A\x83"), "A\x83");  // lone lead byte at the end
  EXPECT_EQ(cp932::RemoveBackslashes(""), "");
}

TEST(Cp932, CannotEncodeWhatCodePage932LacksAndSaysSo) {
  EXPECT_TRUE(cp932::CanEncode(QString::fromUtf8(u8"共有データ abc")));
  EXPECT_FALSE(cp932::CanEncode(QString::fromUtf8(u8"😀")));
  EXPECT_FALSE(cp932::CanEncode(QString::fromUtf8(u8"한")));
  EXPECT_EQ(cp932::FromUtf8Lossy(u8"a한b"), "a?b");
  // The failure names the first character that cannot be held.
  const base::Result<std::string> refused = cp932::Encode(QString::fromUtf8(u8"a😀b한"));
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.failure().code, cp932::kUnencodable);
  EXPECT_EQ(cp932::ToUtf8(refused.failure().text), u8"U+1F600 はコードページ932で表せません");
}

}  // namespace
