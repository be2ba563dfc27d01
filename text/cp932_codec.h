#pragma once
// The code page 932 codec without Qt. System text is kept as CP932 bytes;
// these functions convert only at the edges and round-trip: bytes that do not
// form a character which encodes back to the same bytes become the
// private-use code points U+F700 + byte, so encoding what was decoded gives
// the bytes back. The tables come from the platform's own converter (iconv on
// Linux, the system's code page 932 on Windows) and are the same on both.
#include <string>
#include <string_view>

#include "cp932_bytes.h"
#include "result.h"

namespace cp932 {

// False when the platform cannot convert code page 932 at all. Text then
// still round-trips, but only ASCII shows as itself.
bool CodecReady();

// Bytes to code points, one per character or escaped byte.
std::u32string DecodeCodePoints(std::string_view bytes);

// The code page's own character for a JIS-mapped twin (U+301C WAVE DASH ->
// U+FF5E, and the few like it); any other code point as it is. Encoding
// applies it to every code point.
char32_t Twin(char32_t cp);

// The code of a text that code page 932 cannot hold (base::Failure::code).
constexpr int kUnencodable = 1;

// Code points to bytes. Fails (kUnencodable) at the first code point that
// code page 932 cannot hold, naming it: "U+1F600 はコードページ932で表せません".
base::Result<std::string> EncodeCodePoints(std::u32string_view text);
// The same, with each code point that code page 932 cannot hold as "?".
std::string EncodeCodePointsLossy(std::u32string_view text);

// Conversions for peers that speak UTF-8 (the SMB client library). Malformed
// UTF-8 becomes "?".
std::string ToUtf8(std::string_view bytes);
std::string FromUtf8Lossy(std::string_view utf8);

// Conversions for the platform's wide-character calls (UTF-16). An unpaired
// surrogate, which a broken peer may send, becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
std::u16string ToUtf16(std::string_view bytes);

// Shorthand for fixed texts written in this source as UTF-8 literals.
inline std::string Text(const char* utf8) { return FromUtf8Lossy(utf8); }

}  // namespace cp932
