#include "exchange.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>

namespace mirelka {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr size_t kDatagramMax = 65536;

struct SocketUnusable : std::runtime_error {
  SocketUnusable() : std::runtime_error("no UDP socket for a name query") {}
};

int MillisecondsUntil(Clock::time_point when) {
  const auto left = std::chrono::ceil<milliseconds>(when - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

std::unique_ptr<sock::Udp> OpenSocket(const Asking& asking) {
  auto socket = std::make_unique<sock::Udp>(asking.broadcast);
  if (!socket->ok() || (asking.multicastTtl > 0 && !socket->SetMulticastTtl(asking.multicastTtl))) {
    throw SocketUnusable();
  }
  return socket;
}

void SendAll(const Asking& asking, sock::Udp& socket) {
  for (const Asking::Target& target : asking.targets) {
    if (target.via) socket.SetMulticastInterface(*target.via);
    socket.SendTo(asking.packet, target.to, target.port);
  }
}

}  // namespace

uint16_t NewTransactionId() {
  try {
    // Made once: making one costs tens of microseconds (it probes the CPU),
    // more than a whole answer takes on a LAN. One for the process under a
    // lock, as the entry points may run on several threads at once; not a
    // thread_local, whose destructor MinGW runs after freeing its storage.
    // A static, freed when the library is unloaded or the process exits
    // (a heap copy kept for ever is a leak of every unload); the library's
    // callers end their calls before either.
    static std::mutex lock;
    const std::lock_guard<std::mutex> hold(lock);
    static std::random_device device;
    return static_cast<uint16_t>(device());
  } catch (...) {
    // No entropy source: the clock still varies the id from call to call.
    return static_cast<uint16_t>(Clock::now().time_since_epoch().count());
  }
}

bool OnLink(const std::vector<sock::LinkAddress>& links, const Ipv4& address) {
  return std::any_of(links.begin(), links.end(), [&](const sock::LinkAddress& link) {
    for (size_t i = 0; i < address.size(); ++i) {
      if ((address[i] & link.mask[i]) != (link.address[i] & link.mask[i])) return false;
    }
    return true;
  });
}

std::vector<Ipv4> BroadcastTargets(const std::vector<sock::LinkAddress>& links) {
  std::vector<Ipv4> targets;
  for (const sock::LinkAddress& link : links) {
    if (IsUnicastTarget(link.broadcast) && std::find(targets.begin(), targets.end(), link.broadcast) == targets.end()) {
      targets.push_back(link.broadcast);
    }
  }
  return targets;
}

std::vector<sock::LinkAddress> MulticastLinks(const std::vector<sock::LinkAddress>& links) {
  std::vector<sock::LinkAddress> out;
  for (const sock::LinkAddress& link : links) {
    const bool seen =
        std::any_of(out.begin(), out.end(), [&](const sock::LinkAddress& l) { return l.address == link.address; });
    if (link.multicast && IsUnicastTarget(link.address) && !seen) out.push_back(link);
  }
  return out;
}

bool AskAtOnce(std::vector<Asking>& askings, Timing timing) {
  if (askings.empty()) return false;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + timing.budget;
  std::vector<Clock::time_point> nextSends;
  for (const Asking& asking : askings) nextSends.push_back(start + asking.delay);
  // Sockets open with their first send, so a question that waits for its
  // turn costs nothing when an answer comes before it.
  std::vector<std::unique_ptr<sock::Udp>> sockets(askings.size());
  std::vector<size_t> received(askings.size(), 0);
  std::vector<uint8_t> buffer(kDatagramMax);
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    Clock::time_point wakeUp = deadline;
    std::vector<sock::Udp*> open;
    for (size_t i = 0; i < askings.size(); ++i) {
      if (received[i] >= kDatagramsPerQuestion) continue;  // flooded: given up
      if (now >= nextSends[i]) {
        if (!sockets[i]) sockets[i] = OpenSocket(askings[i]);
        SendAll(askings[i], *sockets[i]);
        nextSends[i] = now + timing.retry;
      }
      wakeUp = std::min(wakeUp, nextSends[i]);
      if (sockets[i]) open.push_back(sockets[i].get());
    }
    // Every question so far flooded: with nothing to wait for, it is over;
    // else the wait below only sleeps until the next question's turn.
    if (open.empty() && wakeUp == deadline) return false;
    if (!sock::Udp::WaitAny(open, MillisecondsUntil(wakeUp))) continue;
    for (size_t i = 0; i < askings.size(); ++i) {
      if (!sockets[i]) continue;
      Datagram datagram;
      size_t length = 0;
      // A flood must not hold the call past its bound: the deadline is
      // checked before every datagram, and a question stops being read
      // after its share of them.
      while (received[i] < kDatagramsPerQuestion && Clock::now() < deadline &&
             sockets[i]->Receive(buffer, length, datagram.from, datagram.port)) {
        ++received[i];
        datagram.data = buffer.data();
        datagram.size = length;
        if (askings[i].accept(datagram)) return true;
      }
    }
  }
}

}  // namespace mirelka
