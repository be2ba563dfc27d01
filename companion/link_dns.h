#pragma once
// Multicast DNS and LLMNR, one module: one-shot queries for a host name's
// address (sent to the protocol's group) and for an address's name (sent to
// that address), and their answers, which must repeat our id and our
// question. The two protocols differ only in the parameters below. No
// sockets here.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "address.h"
#include "dns_wire.h"

namespace mirelka {
namespace linkdns {

// Which names a protocol asks for.
enum class Names {
  kLocal,        // NAME.local for a name of one label, a name under "local" as it is
  kSingleLabel,  // names of one label only
};

struct Params {
  uint16_t port;
  Ipv4 group;
  int ttl;                 // hop limit of the queries sent to the group
  uint16_t questionClass;  // the class asked
  uint16_t classMask;      // the bits of a class an answer must repeat
  Names names;
};

// Multicast DNS queries come from an ordinary port and ask for a unicast
// answer (the top bit of the question's class), so responders answer to
// that port; in a record's class the same bit means "flush the cache", so
// classes are compared without it. The hop limit 255 lets a receiver tell
// the packet was not forwarded.
inline constexpr Params kMdns{5353, {224, 0, 0, 251}, 255, dns::kClassIn | 0x8000, 0x7FFF, Names::kLocal};
// LLMNR queries stay on the link with hop limit 1.
inline constexpr Params kLlmnr{5355, {224, 0, 0, 252}, 1, dns::kClassIn, 0xFFFF, Names::kSingleLabel};

// The name asked for a computer name under the protocol's rule; nothing for
// other names or names that are no DNS names.
std::optional<dns::WireName> HostName(const Params& p, std::string_view name);
dns::Question AddressQuestion(const Params& p, const dns::WireName& host);
dns::Question ReverseQuestion(const Params& p, const Ipv4& address);
std::vector<uint8_t> BuildQuery(uint16_t id, const dns::Question& question);
// The first usable address a response gives for the question.
std::optional<Ipv4> ParseAddressReply(const Params& p, const uint8_t* data, size_t size, uint16_t id,
                                      const dns::Question& asked);
// The name a response gives for a reverse question (under mDNS without
// ".local"); a reverse-mapping name is no computer name.
std::optional<std::string> ParseReverseReply(const Params& p, const uint8_t* data, size_t size, uint16_t id,
                                             const dns::Question& asked);

// One protocol's calls with its parameters bound: mdns::HostName(name).
template <const Params& P>
struct Protocol {
  static constexpr uint16_t kPort = P.port;
  static constexpr Ipv4 kGroup = P.group;
  static constexpr int kTtl = P.ttl;
  static std::optional<dns::WireName> HostName(std::string_view name) { return linkdns::HostName(P, name); }
  static dns::Question AddressQuestion(const dns::WireName& host) { return linkdns::AddressQuestion(P, host); }
  static dns::Question ReverseQuestion(const Ipv4& address) { return linkdns::ReverseQuestion(P, address); }
  static std::vector<uint8_t> BuildQuery(uint16_t id, const dns::Question& question) {
    return linkdns::BuildQuery(id, question);
  }
  static std::optional<Ipv4> ParseAddressReply(const uint8_t* data, size_t size, uint16_t id,
                                               const dns::Question& asked) {
    return linkdns::ParseAddressReply(P, data, size, id, asked);
  }
  static std::optional<std::string> ParseReverseReply(const uint8_t* data, size_t size, uint16_t id,
                                                      const dns::Question& asked) {
    return linkdns::ParseReverseReply(P, data, size, id, asked);
  }
};

}  // namespace linkdns

using mdns = linkdns::Protocol<linkdns::kMdns>;
using llmnr = linkdns::Protocol<linkdns::kLlmnr>;

}  // namespace mirelka
