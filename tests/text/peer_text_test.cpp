// Peer text as the window and the command line show it.
#include "peer_text.h"

#include <gtest/gtest.h>

namespace {

TEST(PeerText, WhatMayDriveOrReorderALineNeverPasses) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"PC\x1b[2J\x07", "PC\uFFFD[2J\uFFFD"},          // ESC, BEL
      {"a\x7f\u009B31m", "a\uFFFD\uFFFD31m"},          // DEL, C1 CSI
      {"ab\u200Fcd\u200E", "ab\uFFFDcd\uFFFD"},        // right-to-left and left-to-right marks
      {"x\u202Egpj.exe", "x\uFFFDgpj.exe"},            // override
      {"\u2067a\u2069\u061C", "\uFFFDa\uFFFD\uFFFD"},  // isolate, Arabic letter mark
      {"a\u2028b\u2029\tc\n", "a\uFFFDb\uFFFD\uFFFDc\uFFFD"},
      {"z\uFEFF\u200B\U000E0041", "z\uFFFD\uFFFD\uFFFD"},  // format characters, a tag beyond the BMP
      {"\xff\xc3(", "\uFFFD\uFFFD("},                      // not UTF-8
      {"ｻｰﾊﾞ サーバー 😀 x<b>", "ｻｰﾊﾞ サーバー 😀 x<b>"},    // passes as it is
  };
  for (const auto& c : cases) EXPECT_EQ(peertext::Line(c.in, 64), c.out) << c.in;
}

TEST(PeerText, CutCountsCodePoints) {
  EXPECT_EQ(peertext::Line("abcd", 4), "abcd");
  EXPECT_EQ(peertext::Line("abcde", 4), "abc\u2026");
  EXPECT_EQ(peertext::Line("😀😀😀", 2), "😀\u2026");
  EXPECT_EQ(peertext::Line("abc", 0), "");
}

}  // namespace
