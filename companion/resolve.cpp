#include "resolve.h"

#include <chrono>
#include <optional>
#include <string>

#include "address.h"
#include "link_query.h"
#include "sock.h"

namespace mirelka {
namespace {

constexpr int kProbeTimeoutMs = 1000;
constexpr uint16_t kProbePorts[] = {445, 139};

Outcome Failure(uint16_t code, const char* text) { return Outcome{code, text}; }

std::optional<Ipv4> Resolve(std::string_view name) {
  if (std::optional<Ipv4> dotted = ParseDotted(name)) return dotted;
  if (std::optional<Ipv4> address = sock::LookupHost(std::string(name))) return address;
  return AskLinkForAddress(name);
}

}  // namespace

Outcome NameToIp(std::string_view name) {
  if (name.empty()) return Failure(kBadInput, reason::kEmpty);
  if (ParseDotted(name)) return Outcome{kOk, std::string(name)};
  const sock::Session session;
  if (!session.ok()) return Failure(kInternal, reason::kInternal);
  const std::optional<Ipv4> address = Resolve(name);
  if (!address) return Failure(kNotFound, reason::kNameUnknown);
  return Outcome{kOk, FormatDotted(*address)};
}

Outcome IpToName(std::string_view dotted) {
  if (dotted.empty()) return Failure(kBadInput, reason::kEmpty);
  const std::optional<Ipv4> address = ParseDotted(dotted);
  if (!address) return Failure(kBadInput, reason::kNotAddress);
  const sock::Session session;
  if (!session.ok()) return Failure(kInternal, reason::kInternal);
  if (std::optional<std::string> name = sock::LookupAddress(*address)) return Outcome{kOk, *name};
  if (std::optional<std::string> name = AskLinkForName(*address)) return Outcome{kOk, *name};
  return Failure(kNotFound, reason::kNoName);
}

Outcome ConnectPc(std::string_view name, int32_t& roundTripMs) {
  if (name.empty()) return Failure(kBadInput, reason::kEmpty);
  const sock::Session session;
  if (!session.ok()) return Failure(kInternal, reason::kInternal);
  const std::optional<Ipv4> address = Resolve(name);
  if (!address) return Failure(kNotFound, reason::kNameUnknown);
  if (!IsUnicastTarget(*address)) return Failure(kNoAnswer, reason::kNoAnswer);
  for (uint16_t port : kProbePorts) {
    const auto start = std::chrono::steady_clock::now();
    if (sock::ProbeTcp(*address, port, kProbeTimeoutMs) == sock::Probe::kNoAnswer) continue;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    roundTripMs = static_cast<int32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
    return Outcome{kOk, FormatDotted(*address)};
  }
  return Failure(kNoAnswer, reason::kNoAnswer);
}

}  // namespace mirelka
