#include "iconv_text.h"

#include <iconv.h>

#include <cstdio>

namespace textconv {
namespace {

const auto kFailed = reinterpret_cast<iconv_t>(-1);

iconv_t Handle(void* cd) { return static_cast<iconv_t>(cd); }

}  // namespace

Converter::Converter(const char* to, const char* from) : cd_(iconv_open(to, from)), ok_(cd_ != kFailed) {}

Converter::~Converter() {
  if (ok_) iconv_close(Handle(cd_));
}

std::optional<size_t> Converter::Convert(const void* in, size_t inLength, void* out, size_t outLength) {
  if (!ok_) return std::nullopt;
  iconv(Handle(cd_), nullptr, nullptr, nullptr, nullptr);
  // iconv's prototype takes a non-const input pointer; it never writes through it.
  char* src = const_cast<char*>(static_cast<const char*>(in));
  char* dst = static_cast<char*>(out);
  size_t srcLeft = inLength;
  size_t dstLeft = outLength;
  if (iconv(Handle(cd_), &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0)
    return std::nullopt;
  // Shift sequences that end the output count as output too.
  if (iconv(Handle(cd_), nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1)) return std::nullopt;
  return outLength - dstLeft;
}

std::string Cp932ToUtf8Escaped(std::string_view bytes) {
  Converter converter("UTF-8", "CP932");
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    // One character at a time: a double-byte one first, else a single byte.
    char utf8[8];
    bool done = false;
    for (size_t width = 2; width >= 1 && !done; --width) {
      if (i + width > bytes.size()) continue;
      if (const auto n = converter.Convert(bytes.data() + i, width, utf8, sizeof utf8)) {
        out.append(utf8, *n);
        i += width;
        done = true;
      }
    }
    if (!done) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(bytes[i]));
      out += escaped;
      ++i;
    }
  }
  return out;
}

}  // namespace textconv
