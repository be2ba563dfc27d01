// Windows backend: winsock, with the interface list from the IP helper.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cstring>

#include "sock.h"
#include "sock_addr.h"

namespace mirelka::sock {
namespace {

constexpr intptr_t kNoSocket = static_cast<intptr_t>(INVALID_SOCKET);

SOCKET AsSocket(intptr_t handle) { return static_cast<SOCKET>(handle); }

SOCKET OpenSocket(int type, int protocol) {
  const SOCKET s = socket(AF_INET, type, protocol);
  if (s != INVALID_SOCKET) {
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
  }
  return s;
}

}  // namespace

Udp::Udp(bool broadcast) : handle_(static_cast<intptr_t>(OpenSocket(SOCK_DGRAM, IPPROTO_UDP))) {
  const BOOL on = TRUE;
  // A socket that may not broadcast cannot do its job: it is no socket.
  if (handle_ != kNoSocket && broadcast &&
      setsockopt(AsSocket(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
    closesocket(AsSocket(handle_));
    handle_ = kNoSocket;
  }
}

Udp::~Udp() {
  if (handle_ != kNoSocket) closesocket(AsSocket(handle_));
}

bool Udp::ok() const { return handle_ != kNoSocket; }

bool Udp::SendTo(const std::vector<uint8_t>& packet, const Ipv4& to, uint16_t port) {
  const sockaddr_in sa = MakeSockaddr(to, port);
  return sendto(AsSocket(handle_), reinterpret_cast<const char*>(packet.data()), static_cast<int>(packet.size()), 0,
                reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == static_cast<int>(packet.size());
}

bool Udp::SetMulticastTtl(int ttl) {
  const DWORD value = static_cast<DWORD>(ttl);
  return setsockopt(AsSocket(handle_), IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&value),
                    sizeof value) == 0;
}

bool Udp::SetMulticastInterface(const Ipv4& address) {
  in_addr in{};
  std::memcpy(&in, address.data(), address.size());
  return setsockopt(AsSocket(handle_), IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&in), sizeof in) == 0;
}

bool Udp::WaitAny(const std::vector<Udp*>& sockets, int timeoutMs) {
  if (sockets.empty()) {  // WSAPoll fails at once on no sockets, where poll sleeps
    Sleep(static_cast<DWORD>(std::max(timeoutMs, 0)));
    return false;
  }
  std::vector<WSAPOLLFD> pfds;
  for (const Udp* socket : sockets) pfds.push_back(WSAPOLLFD{AsSocket(socket->handle_), POLLRDNORM, 0});
  if (WSAPoll(pfds.data(), static_cast<ULONG>(pfds.size()), std::max(timeoutMs, 0)) <= 0) return false;
  return std::any_of(pfds.begin(), pfds.end(),
                     [](const WSAPOLLFD& p) { return (p.revents & (POLLRDNORM | POLLERR)) != 0; });
}

bool Udp::Receive(std::vector<uint8_t>& buffer, size_t& length, Ipv4& from, uint16_t& fromPort) {
  for (;;) {
    sockaddr_in sa{};
    int saLength = sizeof sa;
    const int got = recvfrom(AsSocket(handle_), reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()),
                             0, reinterpret_cast<sockaddr*>(&sa), &saLength);
    if (got == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      // ICMP errors of earlier sends and oversized datagrams are no answer.
      if (error == WSAECONNRESET || error == WSAEMSGSIZE || error == WSAENETRESET) continue;
      return false;
    }
    if (sa.sin_family != AF_INET) continue;
    length = static_cast<size_t>(got);
    from = FromSockaddr(sa);
    fromPort = ntohs(sa.sin_port);
    return true;
  }
}

std::string HostsFilePath() {
  char system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(system, length) + "\\drivers\\etc\\hosts";
}

std::vector<LinkAddress> LinkAddresses() {
  std::vector<LinkAddress> links;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> storage;
  ULONG status = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
    storage.resize(size);
    status = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                  nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data()), &size);
  }
  if (status != NO_ERROR) return links;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data()); adapter; adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
      const SOCKADDR* sa = unicast->Address.lpSockaddr;
      if (sa == nullptr || sa->sa_family != AF_INET || unicast->OnLinkPrefixLength > 32) continue;
      sockaddr_in in{};
      std::memcpy(&in, sa, sizeof in);
      LinkAddress link{FromSockaddr(in), {}, {}, (adapter->Flags & IP_ADAPTER_NO_MULTICAST) == 0};
      const uint32_t host = ntohl(in.sin_addr.s_addr);
      const uint32_t mask = unicast->OnLinkPrefixLength == 0 ? 0u : ~0u << (32 - unicast->OnLinkPrefixLength);
      in.sin_addr.s_addr = htonl(mask);
      link.mask = FromSockaddr(in);
      // Point-to-point links (/31, /32) have no broadcast address.
      if (unicast->OnLinkPrefixLength <= 30) {
        in.sin_addr.s_addr = htonl(host | ~mask);
        link.broadcast = FromSockaddr(in);
      }
      links.push_back(link);
    }
  }
  return links;
}

}  // namespace mirelka::sock
