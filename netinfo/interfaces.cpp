#include "interfaces.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "address.h"
#include "cp932_bytes.h"
#include "cp932_codec.h"

namespace netinfo {
namespace {

constexpr size_t kMaxEntries = kInterfaceBufferSize / kInterfaceInfoSize;

// The first four "."-separated parts as decimal numbers, each kept as an
// unsigned 8-bit value; a missing part or a non-digit counts as nothing.
std::array<uint8_t, 4> AddressParts(const std::string& dotted) {
  std::array<uint8_t, 4> parts{};
  size_t part = 0;
  for (char c : dotted) {
    if (c == '.') {
      if (++part == parts.size()) break;
    } else if (c >= '0' && c <= '9') {
      parts[part] = static_cast<uint8_t>(parts[part] * 10 + (c - '0'));
    }
  }
  return parts;
}

}  // namespace

std::string ClassifyAddress(const std::string& dotted) {
  const auto [first, second, third, fourth] = AddressParts(dotted);
  const char* label = u8"グローバルIP";
  if (first == 10) label = "class A";
  if (first == 172 && second >= 16 && second <= 31) label = "class B";
  if (first == 192 && second == 168) label = "class C";
  if (first == 127 && second == 0 && third == 0 && fourth == 1) label = "loopback";
  return cp932::Text(label);
}

std::vector<InterfaceRow> ParseInterfaceList(const uint8_t* buffer, uint32_t byteCount) {
  const size_t entries = std::min<size_t>(byteCount / kInterfaceInfoSize, kMaxEntries);
  std::vector<InterfaceRow> rows;
  rows.reserve(entries);
  for (size_t i = 0; i < entries; ++i) {
    const uint8_t* entry = buffer + i * kInterfaceInfoSize;
    InterfaceRow row;
    row.address = mirelka::FormatDotted(mirelka::Ipv4At(entry + kOffAddress));
    row.mask = mirelka::FormatDotted(mirelka::Ipv4At(entry + kOffNetmask));
    row.label = ClassifyAddress(row.address);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<InterfaceRow> ListInterfaceRows(SocketsInfo& sockets) {
  std::array<uint8_t, kInterfaceBufferSize> buffer{};
  const uint32_t byteCount = sockets.GetInterfaceList(buffer.data(), static_cast<uint32_t>(buffer.size()));
  return ParseInterfaceList(buffer.data(), byteCount);
}

std::string HostName(SocketsInfo& sockets) {
  // Cut where the name's field is full, never inside a double-byte character.
  std::string name = sockets.GetHostName();
  name.resize(cp932::PrefixLength(name, kHostNameBufferSize - 1));
  return name;
}

}  // namespace netinfo
