#pragma once
// Ipv4 to and from the platform's sockaddr_in. Include it after the
// platform's socket headers.
#include <cstring>

#include "address.h"

namespace mirelka::sock {

inline sockaddr_in MakeSockaddr(const Ipv4& address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  std::memcpy(&sa.sin_addr, address.data(), address.size());
  return sa;
}

inline Ipv4 FromSockaddr(const sockaddr_in& sa) {
  Ipv4 address{};
  std::memcpy(address.data(), &sa.sin_addr, address.size());
  return address;
}

}  // namespace mirelka::sock
