// The connection probe over the backend's TCP attempts (tcp/tcp.h): the
// same logic on every platform.
#include <algorithm>
#include <chrono>

#include "sock.h"
#include "tcp.h"

namespace mirelka::sock {

Probe ProbeTcp(const Ipv4& address, const std::vector<uint16_t>& ports, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  std::vector<intptr_t> pending;
  Probe answer = Probe::kNoAnswer;
  // What a finished attempt says: an answer, or nothing from this port.
  auto settle = [&answer](tcp::Attempt attempt) {
    if (attempt == tcp::Attempt::kAccepted) answer = Probe::kAccepted;
    if (attempt == tcp::Attempt::kRefused) answer = Probe::kRefused;
  };
  for (uint16_t port : ports) {
    intptr_t handle = 0;
    const tcp::Attempt attempt = tcp::Start(address, port, handle);
    if (attempt == tcp::Attempt::kPending) {
      pending.push_back(handle);
      continue;
    }
    if (attempt == tcp::Attempt::kAccepted) tcp::Close(handle);
    settle(attempt);
    if (answer != Probe::kNoAnswer) break;
  }
  std::vector<bool> finished;
  while (answer == Probe::kNoAnswer && !pending.empty()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !tcp::WaitFinished(pending, static_cast<int>(left.count()), finished)) break;
    std::vector<intptr_t> still;
    for (size_t i = 0; i < pending.size(); ++i) {
      if (!finished[i]) {
        still.push_back(pending[i]);
        continue;
      }
      settle(tcp::Result(pending[i]));
      tcp::Close(pending[i]);
    }
    pending.swap(still);
  }
  for (intptr_t handle : pending) tcp::Close(handle);
  return answer;
}

}  // namespace mirelka::sock
