#include "resolve.h"

#include <chrono>
#include <optional>
#include <string>

#include "address.h"
#include "ascii.h"
#include "link_query.h"
#include "sock.h"

namespace mirelka {
namespace {

constexpr int kProbeTimeoutMs = 1000;
constexpr uint16_t kProbePorts[] = {445, 139};

Outcome Failure(uint16_t code, const char* text) { return Outcome{code, text}; }

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  if (text.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i)
    if (ascii::Lower(text[text.size() - tail.size() + i]) != tail[i]) return false;
  return true;
}

// What the system resolver's answer for name counts as (mirelka.h): DNS for
// a name with a dot inside that is not under .local; otherwise the resolver
// may have asked the link itself.
Source SystemAnswerSource(std::string_view name) {
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);
  if (name.find('.') == std::string_view::npos) return Source::kSystem;
  return EndsWithNoCase(name, ".local") ? Source::kMdns : Source::kDns;
}

Source FromLink(LinkProtocol protocol) {
  switch (protocol) {
    case LinkProtocol::kMdns:
      return Source::kMdns;
    case LinkProtocol::kLlmnr:
      return Source::kLlmnr;
    case LinkProtocol::kNetbios:
      break;
  }
  return Source::kNetbios;
}

std::optional<Ipv4> Resolve(std::string_view name, Source& source) {
  if (std::optional<Ipv4> dotted = ParseDotted(name)) {
    source = Source::kDotted;
    return dotted;
  }
  const std::string text(name);
  if (std::optional<Ipv4> address = sock::HostsFileAddress(text)) {
    source = Source::kDns;
    return address;
  }
  if (std::optional<Ipv4> address = sock::LookupHost(text)) {
    source = SystemAnswerSource(name);
    return address;
  }
  LinkProtocol protocol = LinkProtocol::kNetbios;
  std::optional<Ipv4> address = AskLinkForAddress(name, &protocol);
  source = FromLink(protocol);
  return address;
}

}  // namespace

Outcome NameToIp(std::string_view name, Source* source) {
  if (name.empty()) return Failure(kBadInput, reason::kEmpty);
  Source found = Source::kDotted;
  if (ParseDotted(name)) {
    if (source) *source = found;
    return Outcome{kOk, std::string(name)};
  }
  const sock::Session session;
  if (!session.ok()) return Failure(kInternal, reason::kInternal);
  const std::optional<Ipv4> address = Resolve(name, found);
  if (!address) return Failure(kNotFound, reason::kNameUnknown);
  if (source) *source = found;
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
  Source source = Source::kDotted;
  const std::optional<Ipv4> address = Resolve(name, source);
  if (!address) return Failure(kNotFound, reason::kNameUnknown);
  if (!IsUnicastTarget(*address)) return Failure(kNoAnswer, reason::kNoAnswer);
  // Both ports at once: a silent computer costs one bound, not one per port.
  const auto start = std::chrono::steady_clock::now();
  if (sock::ProbeTcp(*address, {kProbePorts[0], kProbePorts[1]}, kProbeTimeoutMs) == sock::Probe::kNoAnswer)
    return Failure(kNoAnswer, reason::kNoAnswer);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  roundTripMs = static_cast<int32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  return Outcome{kOk, FormatDotted(*address)};
}

}  // namespace mirelka
