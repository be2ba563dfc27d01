#include "address.h"

namespace mirelka {

std::optional<Ipv4> ParseDotted(std::string_view text) {
  Ipv4 address{};
  size_t pos = 0;
  for (size_t part = 0; part < address.size(); ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    const size_t start = pos;
    unsigned value = 0;
    while (pos < text.size() && pos - start < 3 && text[pos] >= '0' && text[pos] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
    }
    const size_t digits = pos - start;
    if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return std::nullopt;
    address[part] = static_cast<uint8_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  return address;
}

std::string FormatDotted(const Ipv4& address) {
  std::string text;
  for (size_t i = 0; i < address.size(); ++i) {
    if (i > 0) text += '.';
    text += std::to_string(address[i]);
  }
  return text;
}

bool IsUnicastTarget(const Ipv4& address) { return address[0] != 0 && address[0] < 224; }

}  // namespace mirelka
