#pragma once
// Questions asked over UDP at once, each on a socket of its own, under one
// time bound: the first sound answer to any of them ends them all.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "address.h"
#include "sock.h"

namespace mirelka {

struct Datagram {
  const uint8_t* data = nullptr;
  size_t size = 0;
  Ipv4 from{};
  uint16_t port = 0;
};

struct Asking {
  struct Target {
    Ipv4 to{};
    uint16_t port = 0;
    std::optional<Ipv4> via;  // multicast: the address of the interface to leave by
  };
  // The socket it goes out on, opened at the first send: broadcasts allowed,
  // or the hop limit of multicast (0: the system's).
  bool broadcast = false;
  int multicastTtl = 0;
  std::vector<uint8_t> packet;
  std::vector<Target> targets;
  // How long after the start the first send waits.
  std::chrono::milliseconds delay{0};
  // Looks at one datagram that arrived on the socket; true when it was a
  // sound answer and has been taken.
  std::function<bool(const Datagram&)> accept;
};

// How long the questions wait in all, and how often they are sent again.
struct Timing {
  std::chrono::milliseconds budget;
  std::chrono::milliseconds retry;
};

// A name is asked three times 100 ms apart and given up after 250 ms, a
// little sooner than nmblookup gives up on a name nobody holds (270 ms on the
// test LAN). Members there answer within milliseconds once they are up; the
// slow first answers seen earlier came from a LAN not yet settled.
constexpr Timing kNameTiming{std::chrono::milliseconds{250}, std::chrono::milliseconds{100}};
// Questions about an address go to one computer, which may be slow or far:
// up to 1.5 s.
constexpr Timing kAddressTiming{std::chrono::milliseconds{1500}, std::chrono::milliseconds{500}};

// A question stops being read after this many datagrams in one call, and
// is not sent again. A sound answer comes among the first few even on a LAN
// full of garbage; a flood, whatever its packets hold, costs no more.
constexpr size_t kDatagramsPerQuestion = 256;

// Sends every asking's packet, each on a socket of its own, to its targets
// after its delay and again at each retry (resends keep the transaction id),
// and hands each datagram to its asking's accept until one takes an answer or
// the budget is spent; the budget is checked before every datagram, so a
// flood of them ends the call on time. True when an answer was taken. Throws
// std::runtime_error when a socket could not be had: that is no unknown name
// but a failure of its own.
bool AskAtOnce(std::vector<Asking>& askings, Timing timing);

uint16_t NewTransactionId();

// Whether address lies in the network of one of links.
bool OnLink(const std::vector<sock::LinkAddress>& links, const Ipv4& address);
// The broadcast addresses of links, each once; never 0.x or the limited broadcast.
std::vector<Ipv4> BroadcastTargets(const std::vector<sock::LinkAddress>& links);
// The links that can send multicast from an address of their own.
std::vector<sock::LinkAddress> MulticastLinks(const std::vector<sock::LinkAddress>& links);

}  // namespace mirelka
