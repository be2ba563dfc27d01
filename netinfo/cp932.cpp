#include "cp932.h"

#include <iconv.h>

#include <array>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace cp932 {
namespace {

constexpr char32_t kNone = 0xFFFFFFFF;
constexpr char32_t kEscapeBase = 0xF700;  // U+F700..U+F7FF: raw bytes

// Decode and encode tables made once from the platform codec. Only byte
// sequences whose character encodes back to the very same bytes are kept;
// the rest (undefined codes, duplicate mappings) are carried as escapes.
struct Tables {
  std::array<char32_t, 256> single;
  std::vector<char32_t> pair;  // index (lead << 8) | trail
  std::unordered_map<char32_t, uint16_t> encode;  // value: 1 byte, or lead << 8 | trail

  Tables() : pair(65536, kNone) {
    single.fill(kNone);
    iconv_t dec = iconv_open("UTF-32LE", "CP932");
    iconv_t enc = iconv_open("CP932", "UTF-32LE");
    if (dec == reinterpret_cast<iconv_t>(-1) || enc == reinterpret_cast<iconv_t>(-1)) {
      // No codec: ASCII still round-trips, everything else is escaped.
      for (char32_t b = 0; b < 0x80; ++b) {
        single[b] = b;
        encode[b] = static_cast<uint16_t>(b);
      }
      return;
    }
    for (unsigned b = 0; b < 256; ++b) {
      if (isLeadByte(static_cast<unsigned char>(b))) continue;
      const unsigned char in[1] = {static_cast<unsigned char>(b)};
      char32_t cp = roundTrip(dec, enc, in, 1);
      if (cp != kNone) {
        single[b] = cp;
        encode[cp] = static_cast<uint16_t>(b);
      }
    }
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
      if (!isLeadByte(static_cast<unsigned char>(lead))) continue;
      for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
        const unsigned char in[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
        char32_t cp = roundTrip(dec, enc, in, 2);
        if (cp != kNone) {
          const auto code = static_cast<uint16_t>(lead << 8 | trail);
          pair[code] = cp;
          encode.emplace(cp, code);
        }
      }
    }
    iconv_close(dec);
    iconv_close(enc);
  }

  static char32_t roundTrip(iconv_t dec, iconv_t enc, const unsigned char* in, size_t n) {
    char32_t cp = 0;
    {
      iconv(dec, nullptr, nullptr, nullptr, nullptr);
      char* src = const_cast<char*>(reinterpret_cast<const char*>(in));
      size_t srcLeft = n;
      char* dst = reinterpret_cast<char*>(&cp);
      size_t dstLeft = sizeof cp;
      if (iconv(dec, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0 ||
          dstLeft != 0)
        return kNone;
    }
    if (cp >= kEscapeBase && cp <= kEscapeBase + 0xFF) return kNone;
    unsigned char back[8] = {};
    iconv(enc, nullptr, nullptr, nullptr, nullptr);
    char* src = reinterpret_cast<char*>(&cp);
    size_t srcLeft = sizeof cp;
    char* dst = reinterpret_cast<char*>(back);
    size_t dstLeft = sizeof back;
    if (iconv(enc, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0) return kNone;
    if (sizeof back - dstLeft != n || std::memcmp(back, in, n) != 0) return kNone;
    return cp;
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

void appendCodePoint(QString& s, char32_t cp) {
  if (cp < 0x10000) {
    s.append(QChar(static_cast<char16_t>(cp)));
  } else {
    s.append(QChar(QChar::highSurrogate(cp)));
    s.append(QChar(QChar::lowSurrogate(cp)));
  }
}

// Encodes one code point; false when code page 932 has no bytes for it.
bool encodeOne(const Tables& t, char32_t cp, std::string& out) {
  if (cp >= kEscapeBase && cp <= kEscapeBase + 0xFF) {
    out.push_back(static_cast<char>(cp - kEscapeBase));
    return true;
  }
  auto it = t.encode.find(cp);
  if (it == t.encode.end()) return false;
  if (it->second > 0xFF) out.push_back(static_cast<char>(it->second >> 8));
  out.push_back(static_cast<char>(it->second & 0xFF));
  return true;
}

template <typename OnMissing>
bool encodeWith(const QString& text, std::string& out, OnMissing onMissing) {
  const Tables& t = tables();
  out.clear();
  out.reserve(static_cast<size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    char32_t cp = text[i].unicode();
    if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
      ++i;
    }
    if (!encodeOne(t, cp, out) && !onMissing(out)) return false;
  }
  return true;
}

}  // namespace

bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

std::string removeBackslashes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (isLeadByte(b) && i + 1 < text.size()) {
      out.push_back(text[i]);
      out.push_back(text[++i]);
    } else if (b != '\\') {
      out.push_back(text[i]);
    }
  }
  return out;
}

QString decode(std::string_view bytes) {
  const Tables& t = tables();
  QString s;
  s.reserve(static_cast<qsizetype>(bytes.size()));
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (isLeadByte(b) && i + 1 < bytes.size()) {
      const auto code = static_cast<uint16_t>(b << 8 | static_cast<unsigned char>(bytes[i + 1]));
      if (t.pair[code] != kNone) {
        appendCodePoint(s, t.pair[code]);
        ++i;
        continue;
      }
    }
    appendCodePoint(s, t.single[b] != kNone ? t.single[b] : kEscapeBase + b);
  }
  return s;
}

bool encode(const QString& text, std::string* out) {
  return encodeWith(text, *out, [](std::string&) { return false; });
}

bool canEncode(const QString& text) {
  std::string scratch;
  return encode(text, &scratch);
}

std::string encodeLossy(const QString& text) {
  std::string out;
  encodeWith(text, out, [](std::string& o) {
    o.push_back('?');
    return true;
  });
  return out;
}

std::string toUtf8(std::string_view bytes) { return decode(bytes).toStdString(); }

std::string fromUtf8Lossy(std::string_view utf8) {
  return encodeLossy(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

}  // namespace cp932
