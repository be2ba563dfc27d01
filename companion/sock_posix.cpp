#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "sock.h"
#include "sock_addr.h"

namespace mirelka::sock {
namespace {

constexpr intptr_t kNoSocket = -1;

int OpenSocket(int type) { return socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }

}  // namespace

Udp::Udp(bool broadcast) : handle_(OpenSocket(SOCK_DGRAM)) {
  const int on = 1;
  // A socket that may not broadcast cannot do its job: it is no socket.
  if (handle_ != kNoSocket && broadcast &&
      setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    close(static_cast<int>(handle_));
    handle_ = kNoSocket;
  }
}

Udp::~Udp() {
  if (handle_ != kNoSocket) close(static_cast<int>(handle_));
}

bool Udp::ok() const { return handle_ != kNoSocket; }

bool Udp::SendTo(const std::vector<uint8_t>& packet, const Ipv4& to, uint16_t port) {
  const sockaddr_in sa = MakeSockaddr(to, port);
  return sendto(static_cast<int>(handle_), packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&sa),
                sizeof sa) == static_cast<ssize_t>(packet.size());
}

bool Udp::SetMulticastTtl(int ttl) {
  const unsigned char value = static_cast<unsigned char>(ttl);
  return setsockopt(static_cast<int>(handle_), IPPROTO_IP, IP_MULTICAST_TTL, &value, sizeof value) == 0;
}

bool Udp::SetMulticastInterface(const Ipv4& address) {
  in_addr in{};
  std::memcpy(&in, address.data(), address.size());
  return setsockopt(static_cast<int>(handle_), IPPROTO_IP, IP_MULTICAST_IF, &in, sizeof in) == 0;
}

bool Udp::WaitAny(const std::vector<Udp*>& sockets, int timeoutMs) {
  std::vector<pollfd> pfds;
  for (const Udp* socket : sockets) pfds.push_back(pollfd{static_cast<int>(socket->handle_), POLLIN, 0});
  if (poll(pfds.data(), pfds.size(), std::max(timeoutMs, 0)) <= 0) return false;
  // A pending error counts too, so that Receive takes it off the socket.
  return std::any_of(pfds.begin(), pfds.end(), [](const pollfd& p) { return (p.revents & (POLLIN | POLLERR)) != 0; });
}

bool Udp::Receive(std::vector<uint8_t>& buffer, size_t& length, Ipv4& from, uint16_t& fromPort) {
  for (;;) {
    sockaddr_in sa{};
    socklen_t saLength = sizeof sa;
    const ssize_t got = recvfrom(static_cast<int>(handle_), buffer.data(), buffer.size(), MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&sa), &saLength);
    if (got < 0) {
      // An ICMP error from an earlier send surfaces here; it is not a datagram.
      if (errno == ECONNREFUSED || errno == EHOSTUNREACH || errno == ENETUNREACH || errno == EINTR) continue;
      return false;
    }
    if (static_cast<size_t>(got) > buffer.size() || sa.sin_family != AF_INET) continue;  // cut short: unreadable
    length = static_cast<size_t>(got);
    from = FromSockaddr(sa);
    fromPort = ntohs(sa.sin_port);
    return true;
  }
}

std::string HostsFilePath() { return "/etc/hosts"; }

std::vector<LinkAddress> LinkAddresses() {
  std::vector<LinkAddress> links;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return links;
  for (const ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
    const unsigned flags = ifa->ifa_flags;
    if (ifa->ifa_addr == nullptr || ifa->ifa_addr->sa_family != AF_INET || ifa->ifa_netmask == nullptr ||
        ifa->ifa_netmask->sa_family != AF_INET || (flags & IFF_UP) == 0 || (flags & IFF_LOOPBACK) != 0) {
      continue;
    }
    sockaddr_in own{};
    sockaddr_in mask{};
    std::memcpy(&own, ifa->ifa_addr, sizeof own);
    std::memcpy(&mask, ifa->ifa_netmask, sizeof mask);
    LinkAddress link{FromSockaddr(own), FromSockaddr(mask), {}, (flags & IFF_MULTICAST) != 0};
    if ((flags & IFF_BROADCAST) != 0) {
      if (ifa->ifa_broadaddr != nullptr && ifa->ifa_broadaddr->sa_family == AF_INET) {
        sockaddr_in sa{};
        std::memcpy(&sa, ifa->ifa_broadaddr, sizeof sa);
        link.broadcast = FromSockaddr(sa);
      }
      // An address configured without a broadcast address still has one:
      // the host part all ones.
      if (link.broadcast == Ipv4{}) {
        for (size_t i = 0; i < link.broadcast.size(); ++i) {
          link.broadcast[i] = static_cast<uint8_t>(link.address[i] | ~link.mask[i]);
        }
      }
    }
    links.push_back(link);
  }
  freeifaddrs(list);
  return links;
}

}  // namespace mirelka::sock
