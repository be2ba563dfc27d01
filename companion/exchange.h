#pragma once
// Questions asked over UDP at once, each on a socket of its own, under one
// time bound: the first sound answer to any of them ends them all.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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
  std::unique_ptr<sock::Udp> socket;
  std::vector<uint8_t> packet;
  std::vector<Target> targets;
  // Looks at one datagram that arrived on the socket; true when it was a
  // sound answer and has been taken.
  std::function<bool(const Datagram&)> accept;
};

// How long the questions wait in all, and how often they are sent again.
struct Timing {
  std::chrono::milliseconds budget;
  std::chrono::milliseconds retry;
};

// A name is asked three times 500 ms apart and given up after 1.5 s: on the
// test LAN a member that answers in a millisecond otherwise once in a few
// runs let a whole 750 ms pass unanswered right after start-up.
constexpr Timing kLinkTiming{std::chrono::milliseconds{1500}, std::chrono::milliseconds{500}};

// Sends every asking's packet to its targets now and again at each retry
// (resends keep the transaction id), and hands each datagram to its asking's
// accept until one takes an answer or the budget is spent. True when an
// answer was taken. Throws std::runtime_error when a socket could not be had:
// that is no unknown name but a failure of its own.
bool AskAtOnce(std::vector<Asking>& askings, Timing timing = kLinkTiming);

uint16_t NewTransactionId();

// A new socket for an asking; multicast ones leave with the given hop limit.
std::unique_ptr<sock::Udp> AskingSocket(bool broadcast, int multicastTtl = 0);

// Whether address lies in the network of one of links.
bool OnLink(const std::vector<sock::LinkAddress>& links, const Ipv4& address);

}  // namespace mirelka
