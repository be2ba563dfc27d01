#pragma once
// Byte strings every code page 932 conversion must give back unchanged: every
// single byte, every lead byte before every possible second byte, and lead
// bytes cut off at the end or followed by bytes that are no character.
#include <string>
#include <vector>

#include "cp932_bytes.h"

inline std::vector<std::string> RoundTripSamples() {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::string pairs;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (!cp932::IsLeadByte(static_cast<unsigned char>(lead))) continue;
    for (int trail = 0; trail < 256; ++trail) {
      pairs.push_back(static_cast<char>(lead));
      pairs.push_back(static_cast<char>(trail));
    }
  }
  return {all, pairs, "abc\x83", "\x82", "\xA0\xFD\xFF"};
}
