#pragma once
// Multicast DNS one-shot queries (a host name's address, an address's host
// name) and their answers. The queries come from an ordinary port and ask
// for a unicast answer, so responders answer to that port with our id and
// our question repeated; anything else is no answer. No sockets here.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "address.h"
#include "dns_wire.h"

namespace mirelka::mdns {

constexpr uint16_t kPort = 5353;
constexpr Ipv4 kGroup{224, 0, 0, 251};
// Top bit of a question's class: the querier wants a unicast answer. In a
// record's class the same bit means "flush the cache"; classes are compared
// without it.
constexpr uint16_t kUnicastResponse = 0x8000;
constexpr uint16_t kClassMask = 0x7FFF;

// The host name asked for a computer name: NAME.local for a name of one
// label, a name under "local" as it is; nothing for other names or names
// that are no DNS names.
std::optional<dns::WireName> HostName(std::string_view name);

dns::Question AddressQuestion(const dns::WireName& host);
dns::Question ReverseQuestion(const Ipv4& address);
std::vector<uint8_t> BuildQuery(uint16_t id, const dns::Question& question);

// The first usable address a response gives for the question.
std::optional<Ipv4> ParseAddressReply(const uint8_t* data, size_t size, uint16_t id, const dns::Question& asked);
// The host name a response gives for a reverse question, without ".local";
// a reverse-mapping name is no host name.
std::optional<std::string> ParseReverseReply(const uint8_t* data, size_t size, uint16_t id, const dns::Question& asked);

}  // namespace mirelka::mdns
