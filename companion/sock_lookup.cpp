// The platform resolver, the same calls on every platform; only the headers differ.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstring>

#include "sock.h"
#include "sock_addr.h"

namespace mirelka::sock {

std::optional<Ipv4> LookupHost(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0) return std::nullopt;
  std::optional<Ipv4> address;
  for (const addrinfo* ai = result; ai != nullptr && !address; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET || ai->ai_addr == nullptr || ai->ai_addrlen < sizeof(sockaddr_in)) continue;
    sockaddr_in sa{};
    std::memcpy(&sa, ai->ai_addr, sizeof sa);
    address = FromSockaddr(sa);
  }
  freeaddrinfo(result);
  return address;
}

std::optional<std::string> LookupAddress(const Ipv4& address) {
  const sockaddr_in sa = MakeSockaddr(address, 0);
  char host[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0) {
    return std::nullopt;
  }
  return std::string(host, strnlen(host, sizeof host));
}

}  // namespace mirelka::sock
