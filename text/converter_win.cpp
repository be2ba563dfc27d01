// The converter on Windows: every conversion goes through UTF-16 with the
// system's MultiByteToWideChar and WideCharToMultiByte. Strict both ways, as
// iconv is: bytes that are no character, and characters the target cannot
// hold, fail the whole conversion instead of becoming a best-fit look-alike
// or the default character.
#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>

#include "converter.h"

namespace textconv {
namespace {

// A code page number, or one of the two Unicode forms handled here.
constexpr int kUtf16 = -16;
constexpr int kUtf32 = -32;
constexpr int kUnknown = 0;

int Encoding(const char* name) {
  const std::string_view n = name ? name : "";
  if (n == "CP932" || n == "SHIFT_JIS" || n == "WINDOWS-31J") return 932;
  if (n == "UTF-8") return CP_UTF8;
  if (n == "UTF-16LE") return kUtf16;
  if (n == "UTF-32LE") return kUtf32;
  return kUnknown;
}

struct Pair {
  int to;
  int from;
};

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

bool ToWide(int from, const void* in, size_t inLength, std::wstring* wide) {
  wide->clear();
  if (inLength == 0) return true;
  if (from == kUtf16) {
    if (inLength % 2 != 0) return false;
    wide->resize(inLength / 2);
    std::memcpy(wide->data(), in, inLength);
    return true;
  }
  if (from == kUtf32) {
    if (inLength % 4 != 0) return false;
    const auto* bytes = static_cast<const unsigned char*>(in);
    for (size_t i = 0; i < inLength; i += 4) {
      const char32_t c = bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 | static_cast<char32_t>(bytes[i + 3]) << 24;
      if (c > 0x10FFFF || IsSurrogate(c)) return false;
      if (c < 0x10000) {
        wide->push_back(static_cast<wchar_t>(c));
      } else {
        wide->push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
        wide->push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
      }
    }
    return true;
  }
  if (inLength > 0x7FFFFFFF) return false;
  const auto* src = static_cast<const char*>(in);
  const int n = static_cast<int>(inLength);
  const int units = MultiByteToWideChar(static_cast<UINT>(from), MB_ERR_INVALID_CHARS, src, n, nullptr, 0);
  if (units <= 0) return false;
  wide->resize(static_cast<size_t>(units));
  return MultiByteToWideChar(static_cast<UINT>(from), MB_ERR_INVALID_CHARS, src, n, wide->data(), units) == units;
}

// The length written to out, or nothing.
std::optional<size_t> FromWide(int to, const std::wstring& wide, void* out, size_t outLength) {
  if (wide.empty()) return 0;
  if (to == kUtf16) {
    const size_t bytes = wide.size() * 2;
    if (bytes > outLength) return std::nullopt;
    std::memcpy(out, wide.data(), bytes);
    return bytes;
  }
  if (to == kUtf32) {
    auto* dst = static_cast<unsigned char*>(out);
    size_t written = 0;
    for (size_t i = 0; i < wide.size(); ++i) {
      char32_t c = static_cast<char16_t>(wide[i]);
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(wide[++i]) - 0xDC00);
      } else if (IsSurrogate(c)) {
        return std::nullopt;
      }
      if (written + 4 > outLength) return std::nullopt;
      for (int k = 0; k < 4; ++k) dst[written++] = static_cast<unsigned char>(c >> (8 * k));
    }
    return written;
  }
  if (wide.size() > 0x7FFFFFFF || outLength == 0) return std::nullopt;
  const int units = static_cast<int>(wide.size());
  const int room = static_cast<int>(outLength > 0x7FFFFFFF ? 0x7FFFFFFF : outLength);
  auto* dst = static_cast<char*>(out);
  int length = 0;
  if (to == static_cast<int>(CP_UTF8)) {
    length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), units, dst, room, nullptr, nullptr);
  } else {
    BOOL usedDefault = FALSE;
    length = WideCharToMultiByte(static_cast<UINT>(to), WC_NO_BEST_FIT_CHARS, wide.data(), units, dst, room, nullptr,
                                 &usedDefault);
    if (usedDefault) return std::nullopt;
  }
  if (length <= 0) return std::nullopt;
  return static_cast<size_t>(length);
}

bool Available(int encoding) {
  return encoding == kUtf16 || encoding == kUtf32 || (encoding > 0 && IsValidCodePage(static_cast<UINT>(encoding)));
}

}  // namespace

Converter::Converter(const char* to, const char* from) : cd_(nullptr), ok_(false) {
  const Pair pair{Encoding(to), Encoding(from)};
  if (Available(pair.to) && Available(pair.from)) {
    cd_ = new Pair(pair);
    ok_ = true;
  }
}

Converter::~Converter() { delete static_cast<Pair*>(cd_); }

std::optional<size_t> Converter::Convert(const void* in, size_t inLength, void* out, size_t outLength) {
  if (!ok_) return std::nullopt;
  const Pair& pair = *static_cast<const Pair*>(cd_);
  std::wstring wide;
  if (!ToWide(pair.from, in, inLength, &wide)) return std::nullopt;
  return FromWide(pair.to, wide, out, outLength);
}

}  // namespace textconv
