#include "cp932.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp932, EveryByteSequenceRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(cp932::EncodeLossy(cp932::Decode(all)), all);
  // every lead byte followed by every possible second byte
  std::string pairs;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (!cp932::IsLeadByte(static_cast<unsigned char>(lead))) continue;
    for (int trail = 0; trail < 256; ++trail) {
      pairs.push_back(static_cast<char>(lead));
      pairs.push_back(static_cast<char>(trail));
    }
  }
  std::string back;
  ASSERT_TRUE(cp932::Encode(cp932::Decode(pairs), &back));
  EXPECT_EQ(back, pairs);
  for (const std::string& s : {std::string("abc\x83"), std::string("\x82"), std::string("\xA0\xFD\xFF")}) {
    ASSERT_TRUE(cp932::Encode(cp932::Decode(s), &back));
    EXPECT_EQ(back, s);
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
}

}  // namespace
