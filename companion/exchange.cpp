#include "exchange.h"

#include <algorithm>
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

void SendAll(Asking& asking) {
  for (const Asking::Target& target : asking.targets) {
    if (target.via) asking.socket->SetMulticastInterface(*target.via);
    asking.socket->SendTo(asking.packet, target.to, target.port);
  }
}

}  // namespace

uint16_t NewTransactionId() {
  try {
    std::random_device device;
    return static_cast<uint16_t>(device());
  } catch (...) {
    // No entropy source: the clock still varies the id from call to call.
    return static_cast<uint16_t>(Clock::now().time_since_epoch().count());
  }
}

std::unique_ptr<sock::Udp> AskingSocket(bool broadcast, int multicastTtl) {
  auto socket = std::make_unique<sock::Udp>(broadcast);
  if (!socket->ok() || (multicastTtl > 0 && !socket->SetMulticastTtl(multicastTtl))) throw SocketUnusable();
  return socket;
}

bool OnLink(const std::vector<sock::LinkAddress>& links, const Ipv4& address) {
  return std::any_of(links.begin(), links.end(), [&](const sock::LinkAddress& link) {
    for (size_t i = 0; i < address.size(); ++i) {
      if ((address[i] & link.mask[i]) != (link.address[i] & link.mask[i])) return false;
    }
    return true;
  });
}

bool AskAtOnce(std::vector<Asking>& askings, Timing timing) {
  std::vector<sock::Udp*> sockets;
  for (const Asking& asking : askings) {
    if (!asking.socket || !asking.socket->ok()) throw SocketUnusable();
    sockets.push_back(asking.socket.get());
  }
  if (askings.empty()) return false;
  const Clock::time_point deadline = Clock::now() + timing.budget;
  Clock::time_point nextSend = Clock::now();
  std::vector<uint8_t> buffer(kDatagramMax);
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    if (now >= nextSend) {
      for (Asking& asking : askings) SendAll(asking);
      nextSend = now + timing.retry;
    }
    if (!sock::Udp::WaitAny(sockets, MillisecondsUntil(std::min(nextSend, deadline)))) continue;
    for (Asking& asking : askings) {
      Datagram datagram;
      size_t length = 0;
      while (asking.socket->Receive(buffer, length, datagram.from, datagram.port)) {
        datagram.data = buffer.data();
        datagram.size = length;
        if (asking.accept(datagram)) return true;
      }
    }
  }
}

}  // namespace mirelka
