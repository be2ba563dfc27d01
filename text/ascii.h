#pragma once
// Case folding of ASCII letters, one byte at a time: every other byte is left
// as it is. For code page 932 text use cp932::UpperAscii, which also leaves
// the trail bytes of double-byte characters alone.
namespace mirelka::ascii {

template <typename Byte>
constexpr Byte Upper(Byte c) {
  return c >= 'a' && c <= 'z' ? static_cast<Byte>(c - ('a' - 'A')) : c;
}

template <typename Byte>
constexpr Byte Lower(Byte c) {
  return c >= 'A' && c <= 'Z' ? static_cast<Byte>(c + ('a' - 'A')) : c;
}

}  // namespace mirelka::ascii
