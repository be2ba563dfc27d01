#pragma once
// Code page 932 text at the widget boundary: QString in and out. The codec
// itself, with the UTF-8 conversions, needs no Qt (cp932_codec.h).
#include <QString>
#include <string>
#include <string_view>

#include "cp932_codec.h"

namespace cp932 {

// Bytes to text for display; Encode(Decode(x)) == x for every byte string x.
QString Decode(std::string_view bytes);

// Text to bytes. Fails (kUnencodable) when the text holds a character that
// code page 932 cannot hold, naming the first one (EncodeCodePoints).
base::Result<std::string> Encode(const QString& text);
bool CanEncode(const QString& text);

// The text with each JIS-mapped twin (U+301C WAVE DASH and the few like it)
// replaced by the code page's own character: what its bytes decode to. Same
// length, so a cursor position stays valid.
QString FoldTwins(const QString& text);

// The first character of text that code page 932 cannot hold, even through
// its twin (a surrogate pair stays whole); empty when there is none.
QString FirstUnencodable(const QString& text);

// Like encode, but every character that cannot be held becomes "?".
std::string EncodeLossy(const QString& text);

}  // namespace cp932
