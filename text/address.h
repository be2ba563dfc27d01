#pragma once
// IPv4 addresses as four bytes in network order, and their dotted text.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mirelka {

using Ipv4 = std::array<uint8_t, 4>;

// Strict dotted form: four decimal parts 0..255, no leading zeros, nothing else.
std::optional<Ipv4> ParseDotted(std::string_view text);
// Each byte in decimal without leading zeros, joined by ".".
std::string FormatDotted(const Ipv4& address);
// The four bytes starting at bytes, in the order they lie there.
Ipv4 Ipv4At(const uint8_t* bytes);

// Addresses a datagram or connection must never go to: "this network" (0/8),
// multicast and the limited broadcast.
bool IsUnicastTarget(const Ipv4& address);

}  // namespace mirelka
