#include "smb_probe.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <iterator>
#include <optional>
#include <vector>

#include "address.h"
#include "smb_negotiate.h"
#include "tcp.h"

namespace netinfo {
namespace {

namespace tcp = mirelka::sock::tcp;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kDirectPort = 445;
constexpr uint16_t kNetbiosPort = 139;
// When 139 accepts first, 445 is given this long again as 139 took (its SYN
// left at the same moment), plus a little, before 139 is used: a 445 that is
// filtered must not cost the whole bound.
constexpr auto kPreferDirectSlack = std::chrono::milliseconds(20);
// Far more than the readers ever need (74 bytes).
constexpr size_t kReadBytes = 512;

int MsSince(Clock::time_point from, Clock::time_point to) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

// Milliseconds left until deadline, rounded up so that a wait never spins on
// zero; 0 once it has passed.
int Left(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

struct Attempt {
  uint16_t port = 0;
  intptr_t handle = 0;
  tcp::Attempt state = tcp::Attempt::kFailed;
  Clock::time_point at{};  // when it accepted
  bool Settled() const { return state == tcp::Attempt::kRefused || state == tcp::Attempt::kFailed; }
};

// Both attempts at once; the index of the one to speak on, or -1. Only the
// chosen attempt keeps its socket.
int Connect(const mirelka::Ipv4& address, std::array<Attempt, 2>& tries, Clock::time_point start,
            Clock::time_point deadline) {
  for (Attempt& a : tries) {
    a.state = tcp::Start(address, a.port, a.handle);
    if (a.state == tcp::Attempt::kAccepted) a.at = Clock::now();
  }
  int chosen = -1;
  std::vector<intptr_t> pending;
  std::vector<bool> finished;
  for (;;) {
    if (tries[0].state == tcp::Attempt::kAccepted) {
      chosen = 0;
    } else if (tries[1].state == tcp::Attempt::kAccepted &&
               (tries[0].Settled() || Clock::now() >= tries[1].at + (tries[1].at - start) + kPreferDirectSlack)) {
      chosen = 1;
    }
    if (chosen >= 0 || (tries[0].Settled() && tries[1].Settled())) break;
    auto until = deadline;
    if (tries[1].state == tcp::Attempt::kAccepted)
      until = std::min(deadline, tries[1].at + (tries[1].at - start) + kPreferDirectSlack);
    pending.clear();
    for (const Attempt& a : tries)
      if (a.state == tcp::Attempt::kPending) pending.push_back(a.handle);
    const int wait = Left(until);
    if (Left(deadline) == 0) break;
    if (pending.empty() || !tcp::WaitFinished(pending, wait, finished)) continue;
    size_t i = 0;
    for (Attempt& a : tries) {
      if (a.state != tcp::Attempt::kPending) continue;
      if (finished[i++]) {
        a.state = tcp::Result(a.handle);
        if (a.state == tcp::Attempt::kAccepted) a.at = Clock::now();
      }
    }
  }
  for (int i = 0; i < 2; ++i) {
    const Attempt& a = tries[static_cast<size_t>(i)];
    const bool open = a.state == tcp::Attempt::kPending || a.state == tcp::Attempt::kAccepted;
    if (open && i != chosen) tcp::Close(a.handle);
  }
  return chosen;
}

bool SendAll(intptr_t handle, const std::vector<uint8_t>& bytes, Clock::time_point deadline) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const long n = tcp::Send(handle, bytes.data() + sent, bytes.size() - sent);
    if (n == tcp::kBroken) return false;
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (Left(deadline) == 0) return false;
    tcp::WaitReady(handle, true, Left(deadline));
  }
  return true;
}

enum class Took { kBytes, kClosed, kBound };

// Takes more of the answer into buffer (after used bytes) by the deadline.
Took TakeMore(intptr_t handle, std::array<uint8_t, kReadBytes>& buffer, size_t& used, Clock::time_point deadline) {
  for (;;) {
    if (used == buffer.size()) return Took::kClosed;  // more than any answer of ours needs
    const long n = tcp::Receive(handle, buffer.data() + used, buffer.size() - used);
    if (n > 0) {
      used += static_cast<size_t>(n);
      return Took::kBytes;
    }
    if (n == 0 || n == tcp::kBroken) return Took::kClosed;
    if (Left(deadline) == 0) return Took::kBound;
    tcp::WaitReady(handle, false, Left(deadline));
  }
}

// Speaks on a connected socket: the session request first on 139, then the
// negotiate, each answer read with the reader as it arrives.
SmbReach Exchange(intptr_t handle, bool netbios, SmbProbe& result, Clock::time_point deadline) {
  std::array<uint8_t, kReadBytes> buffer{};
  size_t used = 0;
  size_t from = 0;  // where the negotiate answer starts in buffer
  if (netbios) {
    if (!SendAll(handle, negotiate::SessionRequest(), deadline))
      return Left(deadline) ? SmbReach::kNotSmb : SmbReach::kHung;
    negotiate::Session session;
    while ((session = negotiate::ReadSession(buffer.data(), used)) == negotiate::Session::kIncomplete) {
      const Took took = TakeMore(handle, buffer, used, deadline);
      if (took != Took::kBytes) return took == Took::kBound ? SmbReach::kHung : SmbReach::kNotSmb;
    }
    if (session != negotiate::Session::kAccepted) return SmbReach::kNotSmb;
    from = negotiate::kSessionAnswerBytes;
  }
  if (!SendAll(handle, negotiate::Request(), deadline)) return Left(deadline) ? SmbReach::kNotSmb : SmbReach::kHung;
  for (;;) {
    const negotiate::Answer answer = negotiate::Read(buffer.data() + from, used - from);
    switch (answer.kind) {
      case negotiate::Kind::kNotSmb:
        return SmbReach::kNotSmb;
      case negotiate::Kind::kSmb2:
      case negotiate::Kind::kSmb1:
        result.dialect = answer.dialect;
        result.signingRequired = answer.signingRequired;
        return answer.kind == negotiate::Kind::kSmb2 ? SmbReach::kSmb2 : SmbReach::kSmb1Only;
      case negotiate::Kind::kIncomplete:
        break;
    }
    const Took took = TakeMore(handle, buffer, used, deadline);
    if (took != Took::kBytes) return took == Took::kBound ? SmbReach::kHung : SmbReach::kNotSmb;
  }
}

}  // namespace

SmbProbe ProbeSmb(const std::string& dottedAddress, int boundMs) {
  return ProbeSmb(dottedAddress, kDirectPort, kNetbiosPort, boundMs);
}

SmbProbe ProbeSmb(const std::string& dottedAddress, uint16_t directPort, uint16_t netbiosPort, int boundMs) {
  SmbProbe result;
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::milliseconds(std::max(boundMs, 0));
  const std::optional<mirelka::Ipv4> address = mirelka::ParseDotted(dottedAddress);
  const mirelka::sock::Session session;
  if (!address || !mirelka::IsUnicastTarget(*address) || !session.ok()) return result;

  std::array<Attempt, 2> tries{};
  tries[0].port = directPort;
  tries[1].port = netbiosPort;
  const int chosen = Connect(*address, tries, start, deadline);
  result.refused445 = tries[0].state == tcp::Attempt::kRefused;
  result.refused139 = tries[1].state == tcp::Attempt::kRefused;
  if (chosen < 0) {
    result.connectMs = MsSince(start, Clock::now());
    if (result.refused445 || result.refused139) result.reach = SmbReach::kRefused;
    return result;
  }
  const Attempt& used = tries[static_cast<size_t>(chosen)];
  result.port = used.port;
  result.connectMs = MsSince(start, used.at);
  result.reach = Exchange(used.handle, chosen == 1, result, deadline);
  result.negotiateMs = MsSince(used.at, Clock::now());
  tcp::Close(used.handle);
  return result;
}

const char* ReachName(SmbReach reach) {
  // In the order of SmbReach.
  constexpr const char* kNames[] = {"no-answer", "refused", "hung", "not-smb", "smb2", "smb1-only"};
  const auto index = static_cast<size_t>(reach);
  return index < std::size(kNames) ? kNames[index] : "?";
}

}  // namespace netinfo
