// Code page 932 through the system's own conversion functions.
#include <windows.h>

#include "cp932_platform.h"

namespace cp932 {
namespace {

constexpr UINT kCodePage = 932;

}  // namespace

PlatformConverter::PlatformConverter() { ok_ = IsValidCodePage(kCodePage) != 0; }

PlatformConverter::~PlatformConverter() = default;

bool PlatformConverter::Decode(const unsigned char* in, size_t n, char32_t* cp) {
  if (!ok_ || n == 0 || n > 2) return false;
  wchar_t wide[4] = {};
  const int units = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(in),
                                        static_cast<int>(n), wide, 4);
  if (units == 1 && (wide[0] < 0xD800 || wide[0] > 0xDFFF)) {
    *cp = wide[0];
    return true;
  }
  if (units == 2 && IS_SURROGATE_PAIR(wide[0], wide[1])) {
    *cp = 0x10000 + ((static_cast<char32_t>(wide[0]) - 0xD800) << 10) + (static_cast<char32_t>(wide[1]) - 0xDC00);
    return true;
  }
  return false;
}

size_t PlatformConverter::Encode(char32_t cp, unsigned char* out) {
  if (!ok_ || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  wchar_t wide[2];
  int units = 1;
  if (cp < 0x10000) {
    wide[0] = static_cast<wchar_t>(cp);
  } else {
    wide[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
    wide[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    units = 2;
  }
  // No best-fit mapping: a character without bytes of its own must fail, not
  // become a look-alike or the default character.
  BOOL usedDefault = FALSE;
  const int length = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, units,
                                         reinterpret_cast<char*>(out), 4, nullptr, &usedDefault);
  if (length <= 0 || usedDefault) return 0;
  return static_cast<size_t>(length);
}

}  // namespace cp932
