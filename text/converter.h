#pragma once
// The one wrapper of the platform's converter: a conversion opened once and
// run over whole inputs, and code page 932 shown as UTF-8 for tools and tests.
// iconv on Linux; on Windows the system's MultiByteToWideChar and
// WideCharToMultiByte, for the encodings named here: "CP932", "UTF-8",
// "UTF-16LE" and "UTF-32LE" (converter_win.cpp).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace textconv {

class Converter {
 public:
  // Opens the conversion from the encoding `from` to `to` (iconv names).
  Converter(const char* to, const char* from);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // False when the platform offers no such conversion; every Convert then fails.
  bool ok() const { return ok_; }

  // Converts all inLength bytes of in into out, at most outLength bytes, from
  // a fresh conversion state. The length written, or nothing when a byte does
  // not convert, the input ends inside a character or out is too small.
  std::optional<size_t> Convert(const void* in, size_t inLength, void* out, size_t outLength);

 private:
  void* cd_;
  bool ok_;
};

// Code page 932 bytes as UTF-8, for a terminal or a test's message; a byte
// that does not convert becomes \xHH.
std::string Cp932ToUtf8Escaped(std::string_view bytes);

}  // namespace textconv
