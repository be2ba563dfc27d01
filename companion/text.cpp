#include "text.h"

#include <cstring>

namespace mirelka {

bool IsCp932LeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (size_t i = 0; i < upper.size(); ++i) {
    const auto byte = static_cast<unsigned char>(upper[i]);
    if (IsCp932LeadByte(byte)) {
      ++i;  // the trail byte belongs to the character
    } else if (byte >= 'a' && byte <= 'z') {
      upper[i] = static_cast<char>(byte - ('a' - 'A'));
    }
  }
  return upper;
}

size_t Cp932Prefix(std::string_view text, size_t max) {
  if (text.size() <= max) return text.size();
  size_t end = 0;
  while (end < max) {
    const size_t width = IsCp932LeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1;
    if (end + width > max) break;
    end += width;
  }
  return end;
}

std::string ReadInput(const char* buf, int32_t size) {
  const void* nul = std::memchr(buf, 0, static_cast<size_t>(size));
  const size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - buf) : static_cast<size_t>(size);
  return std::string(buf, length);
}

uint16_t WriteOutcome(char* buf, int32_t size, const Outcome& outcome) noexcept {
  if (buf == nullptr || size < 0) return outcome.code == kOk ? uint16_t{kBadInput} : outcome.code;
  const auto room = static_cast<size_t>(size);
  uint16_t code = outcome.code;
  std::string_view text = outcome.text;
  if (code == kOk && text.size() > room) {
    code = kNoRoom;
    text = reason::kNoRoom;
  }
  const size_t length = code == kOk ? text.size() : Cp932Prefix(text, room);
  std::memcpy(buf, text.data(), length);
  buf[length] = '\0';
  return code;
}

}  // namespace mirelka
