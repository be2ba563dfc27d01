#include "cp932_codec.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "converter.h"

namespace cp932 {
namespace {

constexpr char32_t kNone = 0xFFFFFFFF;
constexpr char32_t kEscapeBase = 0xF700;  // U+F700..U+F7FF: raw bytes
constexpr char32_t kReplacement = 0xFFFD;

bool IsEscape(char32_t cp) { return cp >= kEscapeBase && cp <= kEscapeBase + 0xFF; }

// Shift_JIS text on Unix maps these JIS characters to other code points than
// code page 932 does; input methods there type them, and servers name shares
// with them. Each is written as the code page's own character. Decoding keeps
// the code page's mapping, so saved bytes come back unchanged.
constexpr struct {
  char32_t jis;
  char32_t cp932;
} kTwins[] = {
    {0x301C, 0xFF5E},  // WAVE DASH -> FULLWIDTH TILDE, 0x8160
    {0x2016, 0x2225},  // DOUBLE VERTICAL LINE -> PARALLEL TO, 0x8161
    {0x2212, 0xFF0D},  // MINUS SIGN -> FULLWIDTH HYPHEN-MINUS, 0x817C
    {0x2014, 0x2015},  // EM DASH -> HORIZONTAL BAR, 0x815C
    {0x00A2, 0xFFE0},  // CENT SIGN, 0x8191
    {0x00A3, 0xFFE1},  // POUND SIGN, 0x8192
    {0x00AC, 0xFFE2},  // NOT SIGN, 0x81CA
};

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
      if (IsLeadByte(static_cast<unsigned char>(b))) continue;
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
    if (n == 2 && IsLeadByte(bytes[0]) && Row(bytes[0])[bytes[1]] == cp) return bytes[0] << 8 | bytes[1];
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

Codec& SharedCodec() {
  static Codec c;
  return c;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | cp >> 18));
    out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// UTF-8 to code points through the platform's converter. A byte that starts
// no well-formed character (malformed, cut or overlong, a surrogate, past
// U+10FFFF) gives one U+FFFD and decoding resumes at the next byte.
//
// One converter for every thread, taken under a lock for the whole call and
// never destroyed (a thread may still convert while the process exits). Not
// a thread_local: under MinGW a thread_local's destructor runs after the
// runtime has already freed its storage, a use after free at the end of
// every thread that converted (the Windows window's workers crashed so).
std::u32string DecodeUtf8(std::string_view utf8) {
  static auto* const lock = new std::mutex;
  static auto* const shared = new textconv::Converter("UTF-32LE", "UTF-8");
  const std::lock_guard<std::mutex> hold(*lock);
  textconv::Converter& converter = *shared;
  std::u32string out(utf8.size(), U'\0');
  if (const auto n = converter.Convert(utf8.data(), utf8.size(), out.data(), out.size() * sizeof(char32_t))) {
    out.resize(*n / sizeof(char32_t));
    return out;
  }
  out.clear();
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = kReplacement;
    size_t used = 1;
    for (size_t width = 1; width <= 4 && i + width <= utf8.size(); ++width) {
      char32_t one[2];
      if (converter.Convert(utf8.data() + i, width, one, sizeof one) == sizeof(char32_t)) {
        cp = one[0];
        used = width;
        break;
      }
    }
    out.push_back(cp);
    i += used;
  }
  return out;
}

}  // namespace

bool CodecReady() { return SharedCodec().ok(); }

char32_t Twin(char32_t cp) {
  for (const auto& t : kTwins)
    if (t.jis == cp) return t.cp932;
  return cp;
}

std::u32string DecodeCodePoints(std::string_view bytes) {
  Codec& c = SharedCodec();
  std::u32string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (IsLeadByte(b) && i + 1 < bytes.size()) {
      const char32_t cp = c.Pair(b, static_cast<unsigned char>(bytes[i + 1]));
      if (cp != kNone) {
        out.push_back(cp);
        ++i;
        continue;
      }
    }
    const char32_t single = c.Single(b);
    out.push_back(single != kNone ? single : kEscapeBase + b);
  }
  return out;
}

namespace {

// Code points to bytes; the first code point that cannot be held, or
// nothing, where lossy does not put "?" in its place.
std::optional<char32_t> EncodeInto(std::u32string_view text, std::string& out, bool lossy) {
  Codec& c = SharedCodec();
  out.reserve(text.size());
  for (char32_t cp : text) {
    if (IsEscape(cp)) {
      out.push_back(static_cast<char>(cp - kEscapeBase));
    } else if (!c.Encode(Twin(cp), out)) {
      if (!lossy) return cp;
      out.push_back('?');
    }
  }
  return std::nullopt;
}

}  // namespace

base::Result<std::string> EncodeCodePoints(std::u32string_view text) {
  std::string out;
  const std::optional<char32_t> refused = EncodeInto(text, out, false);
  if (!refused) return out;
  char number[16];
  std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(*refused));
  // " はコードページ932で表せません" as bytes: right even where the platform
  // offers no code page 932 (CodecReady).
  return base::Failure{kUnencodable, number + std::string("\x20\x82\xcd\x83\x52\x81\x5b\x83\x68\x83\x79\x81\x5b\x83\x57"
                                                          "932\x82\xc5\x95\x5c\x82\xb9\x82\xdc\x82\xb9\x82\xf1")};
}

std::string EncodeCodePointsLossy(std::u32string_view text) {
  std::string out;
  EncodeInto(text, out, true);
  return out;
}

std::string ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  for (char32_t cp : DecodeCodePoints(bytes)) AppendUtf8(out, cp);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::u16string ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char32_t cp : DecodeCodePoints(bytes)) {
    if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

std::string FromUtf8Lossy(std::string_view utf8) { return EncodeCodePointsLossy(DecodeUtf8(utf8)); }

}  // namespace cp932
