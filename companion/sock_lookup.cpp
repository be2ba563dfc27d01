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
#include <fstream>
#include <sstream>

#include "ascii.h"
#include "sock.h"
#include "sock_addr.h"

namespace mirelka::sock {
namespace {

// A hosts file is a few kilobytes; a larger one is read no further.
constexpr std::streamsize kHostsFileLimit = 1 << 20;

bool SameNameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii::Lower(a[i]) != ascii::Lower(b[i])) return false;
  return true;
}

}  // namespace

std::optional<Ipv4> HostsFileAddress(const std::string& name) {
  std::ifstream file(HostsFilePath(), std::ios::binary);
  if (!file || name.empty()) return std::nullopt;
  std::string text(static_cast<size_t>(kHostsFileLimit), '\0');
  file.read(text.data(), kHostsFileLimit);
  text.resize(static_cast<size_t>(file.gcount()));
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string first, alias;
    if (!(words >> first)) continue;
    const std::optional<Ipv4> address = ParseDotted(first);  // IPv6 lines are not ours
    if (!address) continue;
    while (words >> alias)
      if (SameNameNoCase(alias, name)) return address;
  }
  return std::nullopt;
}

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
