#pragma once
// The code page 932 codec. System text is kept as CP932 bytes; these
// functions convert only at the edges (widgets, UTF-8 peers) and round-trip.
#include <QString>
#include <string>
#include <string_view>

#include "cp932_bytes.h"

namespace cp932 {

// False when the platform cannot convert code page 932 at all. Text then
// still round-trips, but only ASCII shows as itself.
bool codecReady();

// Bytes to text for display. Bytes that do not form a character which encodes
// back to the same bytes become the private-use code points U+F700 + byte, so
// encode(decode(x)) == x for every byte string x.
QString decode(std::string_view bytes);

// Text to bytes. Returns false, leaving *out unspecified, when the text holds a
// character that code page 932 cannot hold.
bool encode(const QString& text, std::string* out);
bool canEncode(const QString& text);

// Like encode, but every character that cannot be held becomes "?".
std::string encodeLossy(const QString& text);

// Conversions for peers that speak UTF-8 (the SMB client library).
std::string toUtf8(std::string_view bytes);
std::string fromUtf8Lossy(std::string_view utf8);

// Shorthand for fixed texts written in this source as UTF-8 literals.
inline std::string text(const char* utf8) { return fromUtf8Lossy(utf8); }

}  // namespace cp932
