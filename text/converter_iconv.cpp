#include "converter.h"

#include <iconv.h>

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

}  // namespace textconv
