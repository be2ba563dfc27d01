#pragma once
// Code page 932 text without Qt. System text is kept as CP932 bytes; these
// functions convert only at the edges and round-trip: bytes that do not form
// a character which encodes back to the same bytes become the private-use
// code points U+F700 + byte, so encoding what was decoded gives the bytes back.
#include <string>
#include <string_view>

namespace cp932 {

// First byte of a double-byte character (0x81-0x9F, 0xE0-0xFC).
bool isLeadByte(unsigned char b);

// Removes every single-byte "\" character. A 0x5C that is the second byte of
// a double-byte character belongs to that character and stays.
std::string removeBackslashes(std::string_view text);

// Bytes to code points, one per character or escaped byte.
std::u32string decodeCodePoints(std::string_view bytes);

// Code points to bytes. With lossy, a code point that code page 932 cannot
// hold becomes "?"; without, the result is false and *out unspecified.
bool encodeCodePoints(std::u32string_view text, std::string* out, bool lossy);

// Conversions for peers that speak UTF-8. Malformed UTF-8 becomes "?".
std::string toUtf8(std::string_view bytes);
std::string fromUtf8Lossy(std::string_view utf8);

// Shorthand for fixed texts written in this source as UTF-8 literals.
inline std::string text(const char* utf8) { return fromUtf8Lossy(utf8); }

}  // namespace cp932
