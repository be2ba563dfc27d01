#pragma once
// The system's own code page 932 converter, one character at a time: iconv
// ("CP932") on Linux, MultiByteToWideChar/WideCharToMultiByte with code page
// 932 on Windows. Strict in both directions: bytes that are no character and
// characters without bytes are failures, never best-fit or replacement
// characters. The tables built on top of it (cp932_codec.cpp) are the same on
// both platforms.
#include <cstddef>

namespace cp932 {

class PlatformConverter {
 public:
  PlatformConverter();
  ~PlatformConverter();
  PlatformConverter(const PlatformConverter&) = delete;
  PlatformConverter& operator=(const PlatformConverter&) = delete;

  // False when the system has no code page 932 converter.
  bool ok() const { return ok_; }
  // The one code point that the n bytes (1 or 2) stand for; false when they
  // are not exactly one character.
  bool Decode(const unsigned char* in, size_t n, char32_t* cp);
  // Writes the bytes of cp (at most 4) to out and returns their count; 0 when
  // code page 932 has no bytes for it.
  size_t Encode(char32_t cp, unsigned char* out);

 private:
  bool ok_ = false;
  void* decoder_ = nullptr;
  void* encoder_ = nullptr;
};

}  // namespace cp932
