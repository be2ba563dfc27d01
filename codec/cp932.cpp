#include "cp932.h"

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "iconv_text.h"

namespace cp932 {
namespace {

constexpr char32_t kNone = 0xFFFFFFFF;
constexpr char32_t kEscapeBase = 0xF700;  // U+F700..U+F7FF: raw bytes

// Decode and encode tables filled from the platform codec as they are needed:
// one row of 256 trail bytes per lead byte, and one cached answer per encoded
// character. Only byte sequences whose character encodes back to the very
// same bytes are kept; the rest (undefined codes, duplicate mappings) are
// carried as escapes.
class Codec {
 public:
  Codec() : dec_("UTF-32LE", "CP932"), enc_("CP932", "UTF-32LE"), ok_(dec_.ok() && enc_.ok()) {
    single_.fill(kNone);
    for (unsigned b = 0; b < 256; ++b) {
      if (isLeadByte(static_cast<unsigned char>(b))) continue;
      if (!ok_) {
        if (b < 0x80) single_[b] = b;  // no codec: ASCII still round-trips
        continue;
      }
      const unsigned char in[1] = {static_cast<unsigned char>(b)};
      single_[b] = RoundTrip(in, 1);
    }
  }
  Codec(const Codec&) = delete;
  Codec& operator=(const Codec&) = delete;

  bool ok() const { return ok_; }
  char32_t Single(unsigned char b) const { return single_[b]; }

  char32_t Pair(unsigned char lead, unsigned char trail) {
    std::lock_guard<std::mutex> lock(mutex_);
    return Row(lead)[trail];
  }

  // Appends the bytes of cp; false when code page 932 has none for it.
  bool Encode(char32_t cp, std::string& out) {
    if (cp < 0x80 && single_[cp] == cp) {
      out.push_back(static_cast<char>(cp));
      return true;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = encoded_.find(cp);
    if (it == encoded_.end()) it = encoded_.emplace(cp, Lookup(cp)).first;
    if (it->second < 0) return false;
    if (it->second > 0xFF) out.push_back(static_cast<char>(it->second >> 8));
    out.push_back(static_cast<char>(it->second & 0xFF));
    return true;
  }

 private:
  const std::array<char32_t, 256>& Row(unsigned char lead) {
    auto& row = rows_[lead];
    if (!row) {
      row = std::make_unique<std::array<char32_t, 256>>();
      row->fill(kNone);
      for (unsigned trail = 0x40; ok_ && trail <= 0xFC; ++trail) {
        const unsigned char in[2] = {lead, static_cast<unsigned char>(trail)};
        (*row)[trail] = RoundTrip(in, 2);
      }
    }
    return *row;
  }

  // The code of cp's bytes (1 byte, or lead << 8 | trail), or -1.
  int32_t Lookup(char32_t cp) {
    unsigned char bytes[8] = {};
    const size_t n = enc_.Convert(&cp, sizeof cp, bytes, sizeof bytes).value_or(0);
    if (n == 1 && single_[bytes[0]] == cp) return bytes[0];
    if (n == 2 && isLeadByte(bytes[0]) && Row(bytes[0])[bytes[1]] == cp) return bytes[0] << 8 | bytes[1];
    return -1;
  }

  // The character of these bytes if it encodes back to the same bytes.
  char32_t RoundTrip(const unsigned char* in, size_t n) {
    char32_t cp = 0;
    if (dec_.Convert(in, n, &cp, sizeof cp) != sizeof cp) return kNone;
    if (cp >= kEscapeBase && cp <= kEscapeBase + 0xFF) return kNone;
    unsigned char back[8] = {};
    if (enc_.Convert(&cp, sizeof cp, back, sizeof back) != n || std::memcmp(back, in, n) != 0) return kNone;
    return cp;
  }

  textconv::Converter dec_;
  textconv::Converter enc_;
  bool ok_;
  std::array<char32_t, 256> single_;
  std::array<std::unique_ptr<std::array<char32_t, 256>>, 256> rows_;
  std::unordered_map<char32_t, int32_t> encoded_;
  std::mutex mutex_;
};

Codec& codec() {
  static Codec c;
  return c;
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
bool encodeOne(char32_t cp, std::string& out) {
  if (cp >= kEscapeBase && cp <= kEscapeBase + 0xFF) {
    out.push_back(static_cast<char>(cp - kEscapeBase));
    return true;
  }
  return codec().Encode(cp, out);
}

template <typename OnMissing>
bool encodeWith(const QString& text, std::string& out, OnMissing onMissing) {
  out.clear();
  out.reserve(static_cast<size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    char32_t cp = text[i].unicode();
    if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
      ++i;
    }
    if (!encodeOne(cp, out) && !onMissing(out)) return false;
  }
  return true;
}

}  // namespace

bool codecReady() { return codec().ok(); }

QString decode(std::string_view bytes) {
  Codec& c = codec();
  QString s;
  s.reserve(static_cast<qsizetype>(bytes.size()));
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (isLeadByte(b) && i + 1 < bytes.size()) {
      const char32_t cp = c.Pair(b, static_cast<unsigned char>(bytes[i + 1]));
      if (cp != kNone) {
        appendCodePoint(s, cp);
        ++i;
        continue;
      }
    }
    const char32_t single = c.Single(b);
    appendCodePoint(s, single != kNone ? single : kEscapeBase + b);
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
