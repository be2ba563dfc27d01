#include "cp932.h"

namespace cp932 {
namespace {

// Code points of a text; a lone surrogate stays a code point of its own, which
// code page 932 cannot hold.
std::u32string CodePoints(const QString& text) {
  std::u32string out;
  out.reserve(static_cast<size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    char32_t cp = text[i].unicode();
    if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
      ++i;
    }
    out.push_back(cp);
  }
  return out;
}

}  // namespace

QString Decode(std::string_view bytes) {
  const std::u32string cps = DecodeCodePoints(bytes);
  return QString::fromUcs4(cps.data(), static_cast<qsizetype>(cps.size()));
}

base::Result<std::string> Encode(const QString& text) { return EncodeCodePoints(CodePoints(text)); }

bool CanEncode(const QString& text) { return Encode(text).ok(); }

QString FoldTwins(const QString& text) {
  QString out = text;
  for (QChar& c : out) c = QChar(static_cast<char16_t>(Twin(c.unicode())));
  return out;
}

QString FirstUnencodable(const QString& text) {
  for (char32_t cp : CodePoints(text)) {
    if (!EncodeCodePoints(std::u32string_view(&cp, 1))) return QString::fromUcs4(&cp, 1);
  }
  return {};
}

std::string EncodeLossy(const QString& text) { return EncodeCodePointsLossy(CodePoints(text)); }

}  // namespace cp932
