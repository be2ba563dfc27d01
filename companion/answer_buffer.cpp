#include "answer_buffer.h"

#include <cstring>

#include "cp932_bytes.h"

namespace mirelka {

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
  const size_t length = code == kOk ? text.size() : cp932::PrefixLength(text, room);
  std::memcpy(buf, text.data(), length);
  buf[length] = '\0';
  return code;
}

}  // namespace mirelka
