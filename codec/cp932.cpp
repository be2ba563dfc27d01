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

QString decode(std::string_view bytes) {
  const std::u32string cps = decodeCodePoints(bytes);
  return QString::fromUcs4(cps.data(), static_cast<qsizetype>(cps.size()));
}

bool encode(const QString& text, std::string* out) { return encodeCodePoints(CodePoints(text), out, false); }

bool canEncode(const QString& text) {
  std::string scratch;
  return encode(text, &scratch);
}

QString foldTwins(const QString& text) {
  QString out = text;
  for (QChar& c : out) c = QChar(static_cast<char16_t>(twin(c.unicode())));
  return out;
}

QString firstUnencodable(const QString& text) {
  std::string scratch;
  for (char32_t cp : CodePoints(text)) {
    if (!encodeCodePoints(std::u32string_view(&cp, 1), &scratch, false)) return QString::fromUcs4(&cp, 1);
  }
  return {};
}

std::string encodeLossy(const QString& text) {
  std::string out;
  encodeCodePoints(CodePoints(text), &out, true);
  return out;
}

}  // namespace cp932
