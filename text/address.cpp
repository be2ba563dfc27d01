#include "address.h"

#include <charconv>
#include <cstring>

namespace mirelka {

std::optional<Ipv4> ParseDotted(std::string_view text) {
  Ipv4 address{};
  const char* cursor = text.data();
  const char* const end = text.data() + text.size();
  for (size_t part = 0; part < address.size(); ++part) {
    if (part > 0) {
      if (cursor == end || *cursor != '.') return std::nullopt;
      ++cursor;
    }
    // from_chars alone would take a sign or more digits; the form wants 1-3 digits.
    const char* digitsEnd = cursor;
    while (digitsEnd != end && digitsEnd - cursor < 4 && *digitsEnd >= '0' && *digitsEnd <= '9') ++digitsEnd;
    const auto digits = digitsEnd - cursor;
    if (digits == 0 || digits > 3 || (digits > 1 && *cursor == '0')) return std::nullopt;
    unsigned value = 0;
    std::from_chars(cursor, digitsEnd, value);
    if (value > 255) return std::nullopt;
    address[part] = static_cast<uint8_t>(value);
    cursor = digitsEnd;
  }
  if (cursor != end) return std::nullopt;
  return address;
}

std::string FormatDotted(const Ipv4& address) {
  std::string text;
  text.reserve(15);
  for (size_t i = 0; i < address.size(); ++i) {
    if (i > 0) text += '.';
    text += std::to_string(address[i]);
  }
  return text;
}

Ipv4 Ipv4At(const uint8_t* bytes) {
  Ipv4 address{};
  std::memcpy(address.data(), bytes, address.size());
  return address;
}

bool IsUnicastTarget(const Ipv4& address) { return address[0] != 0 && address[0] < 224; }

}  // namespace mirelka
