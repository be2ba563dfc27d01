#include "cp932_bytes.h"

#include "ascii.h"

namespace cp932 {
namespace {

// Bytes taken by the character that starts at text[i].
size_t CharacterWidth(std::string_view text, size_t i) {
  return IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

}  // namespace

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

size_t PrefixLength(std::string_view text, size_t max) {
  size_t end = 0;
  while (end < text.size()) {
    const size_t next = end + CharacterWidth(text, end);
    if (next > max) break;
    end = next;
  }
  return end;
}

std::string RemoveBackslashes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t width = CharacterWidth(text, i);
    if (width == 2 || text[i] != '\\') out.append(text.substr(i, width));
    i += width;
  }
  return out;
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (size_t i = 0; i < upper.size();) {
    const size_t width = CharacterWidth(upper, i);
    if (width == 1) upper[i] = mirelka::ascii::Upper(upper[i]);
    i += width;
  }
  return upper;
}

}  // namespace cp932
