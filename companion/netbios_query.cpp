#include "netbios_query.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

#include "netbios.h"
#include "sock.h"

namespace mirelka::netbios {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long an exchange waits in all, and how often it sends again.
struct Timing {
  milliseconds budget;
  milliseconds retry;
};
// A broadcast is sent three times 100 ms apart and given up after 250 ms, a
// little sooner than nmblookup gives up on a name nobody holds (270 ms on the
// test LAN). Members there answer within milliseconds once they are up; the
// slow first answers seen earlier came from a LAN not yet settled.
constexpr Timing kBroadcastTiming{milliseconds{250}, milliseconds{100}};
// A node status goes to one computer, which may be slow or far: up to 1.5 s.
constexpr Timing kUnicastTiming{milliseconds{1500}, milliseconds{500}};
constexpr size_t kDatagramMax = 65536;

uint16_t NewTransactionId() {
  try {
    std::random_device device;
    return static_cast<uint16_t>(device());
  } catch (...) {
    // No entropy source: the clock still varies the id from call to call.
    return static_cast<uint16_t>(Clock::now().time_since_epoch().count());
  }
}

// A query that cannot even be sent is no unknown name: the entry point
// reports it as the internal failure it is.
struct SocketUnusable : std::runtime_error {
  SocketUnusable() : std::runtime_error("no UDP socket for the name service") {}
};

int MillisecondsUntil(Clock::time_point when) {
  const auto left = std::chrono::ceil<milliseconds>(when - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Sends packet to every target now and again at each retry interval, and
// hands each datagram that arrives to accept until it returns true or the
// budget is spent. Retransmissions keep the transaction id, as the protocol wants.
template <typename Accept>
bool Exchange(sock::Udp& socket, const std::vector<uint8_t>& packet, const std::vector<Ipv4>& targets,
              Timing timing, Accept&& accept) {
  const Clock::time_point deadline = Clock::now() + timing.budget;
  Clock::time_point nextSend = Clock::now();
  std::vector<uint8_t> buffer(kDatagramMax);
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    if (now >= nextSend) {
      for (const Ipv4& target : targets) socket.SendTo(packet, target, kPort);
      nextSend = now + timing.retry;
    }
    if (!socket.WaitReadable(MillisecondsUntil(std::min(nextSend, deadline)))) continue;
    size_t length = 0;
    Ipv4 from{};
    while (socket.Receive(buffer, length, from)) {
      if (accept(buffer.data(), length, from)) return true;
    }
  }
}

}  // namespace

std::optional<Ipv4> QueryName(std::string_view name) {
  const std::optional<Name> wanted = MakeName(name, kWorkstation);
  if (!wanted) return std::nullopt;
  const std::vector<Ipv4> targets = sock::BroadcastAddresses();
  if (targets.empty()) return std::nullopt;
  sock::Udp socket(true);
  if (!socket.ok()) throw SocketUnusable();
  const uint16_t id = NewTransactionId();
  std::optional<Ipv4> found;
  Exchange(socket, BuildNameQuery(id, *wanted, true), targets, kBroadcastTiming, [&](const uint8_t* data, size_t size, const Ipv4&) {
    const std::vector<Ipv4> addresses = ParseNameQueryReply(data, size, id, *wanted);
    if (addresses.empty()) return false;
    found = addresses.front();
    return true;
  });
  return found;
}

std::optional<std::string> QueryComputerName(const Ipv4& address) {
  if (!IsUnicastTarget(address)) return std::nullopt;
  sock::Udp socket(false);
  if (!socket.ok()) throw SocketUnusable();
  const uint16_t id = NewTransactionId();
  std::optional<std::string> found;
  Exchange(socket, BuildNodeStatusQuery(id), {address}, kUnicastTiming, [&](const uint8_t* data, size_t size, const Ipv4& from) {
    if (from != address) return false;  // only the asked computer speaks for itself
    found = PickComputerName(ParseNodeStatusReply(data, size, id));
    return found.has_value();
  });
  return found;
}

}  // namespace mirelka::netbios
