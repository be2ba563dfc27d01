#pragma once
// The platform's sockets and resolver, behind one small interface; one
// backend file per platform (sock_posix.cpp, sock_win.cpp). TCP itself is
// the shared layer's (tcp/tcp.h).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "address.h"
#include "tcp.h"  // Session

namespace mirelka::sock {

// A non-blocking UDP socket on an ephemeral port; not ok() when the socket,
// or for broadcasts the permission to send them, could not be had.
class Udp {
 public:
  explicit Udp(bool broadcast);
  ~Udp();
  Udp(const Udp&) = delete;
  Udp& operator=(const Udp&) = delete;
  bool ok() const;

  bool SendTo(const std::vector<uint8_t>& packet, const Ipv4& to, uint16_t port);
  // For multicast: the hop limit of what is sent, and the interface (given
  // by its address) the following sends leave by. A namespace or host
  // without a default route needs the interface, or sending fails.
  bool SetMulticastTtl(int ttl);
  bool SetMulticastInterface(const Ipv4& address);
  // Waits up to timeoutMs until one of sockets has a datagram (or an error);
  // with no sockets it sleeps that long.
  static bool WaitAny(const std::vector<Udp*>& sockets, int timeoutMs);
  // Takes the next waiting datagram into buffer; false when none is waiting.
  bool Receive(std::vector<uint8_t>& buffer, size_t& length, Ipv4& from, uint16_t& fromPort);

 private:
  intptr_t handle_;
};

enum class Probe { kAccepted, kRefused, kNoAnswer };

// A TCP connection attempt to each port at once, all bounded by timeoutMs;
// the first port that answers (accepted or refused) decides. Connections
// that are made are closed at once.
Probe ProbeTcp(const Ipv4& address, const std::vector<uint16_t>& ports, int timeoutMs);

// An IPv4 address of an interface that is up.
struct LinkAddress {
  Ipv4 address{};
  Ipv4 mask{};
  Ipv4 broadcast{};  // zero when the interface cannot broadcast
  bool multicast = false;
};
// The addresses of the IPv4 interfaces that are up, loopback excluded.
std::vector<LinkAddress> LinkAddresses();

// The first IPv4 address the hosts file gives name (names compared without
// regard to ASCII case); the file is read up to a bounded size.
std::optional<Ipv4> HostsFileAddress(const std::string& name);
// Where this platform keeps the hosts file.
std::string HostsFilePath();
// The resolver's first IPv4 address for name.
std::optional<Ipv4> LookupHost(const std::string& name);
// The resolver's name for address; nothing when it has none.
std::optional<std::string> LookupAddress(const Ipv4& address);

}  // namespace mirelka::sock
