// Code page 932 through iconv.
#include <iconv.h>

#include "cp932_platform.h"

namespace cp932 {
namespace {

const iconv_t kBad = reinterpret_cast<iconv_t>(-1);

iconv_t Cd(void* p) { return static_cast<iconv_t>(p); }

// Converts the whole input; the output length, or 0 on any failure.
size_t Convert(iconv_t cd, const void* in, size_t inLength, void* out, size_t outLength) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(static_cast<const char*>(in));
  char* dst = static_cast<char*>(out);
  size_t srcLeft = inLength;
  size_t dstLeft = outLength;
  if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0) return 0;
  return outLength - dstLeft;
}

}  // namespace

PlatformConverter::PlatformConverter() {
  const iconv_t dec = iconv_open("UTF-32LE", "CP932");
  const iconv_t enc = iconv_open("CP932", "UTF-32LE");
  decoder_ = dec == kBad ? nullptr : dec;
  encoder_ = enc == kBad ? nullptr : enc;
  ok_ = decoder_ != nullptr && encoder_ != nullptr;
}

PlatformConverter::~PlatformConverter() {
  if (decoder_) iconv_close(Cd(decoder_));
  if (encoder_) iconv_close(Cd(encoder_));
}

bool PlatformConverter::Decode(const unsigned char* in, size_t n, char32_t* cp) {
  if (!ok_) return false;
  unsigned char out[8] = {};
  if (Convert(Cd(decoder_), in, n, out, sizeof out) != 4) return false;
  *cp = static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | static_cast<char32_t>(out[3]) << 24);
  return true;
}

size_t PlatformConverter::Encode(char32_t cp, unsigned char* out) {
  if (!ok_) return 0;
  const unsigned char in[4] = {static_cast<unsigned char>(cp), static_cast<unsigned char>(cp >> 8),
                               static_cast<unsigned char>(cp >> 16), static_cast<unsigned char>(cp >> 24)};
  return Convert(Cd(encoder_), in, sizeof in, out, 4);
}

}  // namespace cp932
