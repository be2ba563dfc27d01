#pragma once
// Code page 932 text as bytes: which byte starts a double-byte character, and
// the few operations that must not split one. Plain C++, no codec: shared by
// the companion library, netinfo and the window.
#include <cstddef>
#include <string>
#include <string_view>

namespace cp932 {

// First byte of a double-byte character (0x81-0x9F, 0xE0-0xFC).
bool IsLeadByte(unsigned char b);

// Length of the longest prefix of text of at most max bytes that does not end
// inside a double-byte character. A lead byte that ends the text counts as a
// character of its own.
size_t PrefixLength(std::string_view text, size_t max);

// Removes every single-byte "\" character. A 0x5C that is the second byte of
// a double-byte character belongs to that character and stays.
std::string RemoveBackslashes(std::string_view text);

// ASCII a-z to A-Z, leaving the second byte of a double-byte character alone
// (it may lie in the range of the Latin letters).
std::string UpperAscii(std::string_view text);

}  // namespace cp932
