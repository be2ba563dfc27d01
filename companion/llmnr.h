#pragma once
// Link-local multicast name resolution: queries for a single-label name's
// address (sent to the group) and for an address's name (sent to that
// address), and their answers, which must repeat our id and question. No
// sockets here.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "address.h"
#include "dns_wire.h"

namespace mirelka::llmnr {

constexpr uint16_t kPort = 5355;
constexpr Ipv4 kGroup{224, 0, 0, 252};

// The name asked for a computer name: names of one label only.
std::optional<dns::WireName> HostName(std::string_view name);

dns::Question AddressQuestion(const dns::WireName& host);
dns::Question ReverseQuestion(const Ipv4& address);
std::vector<uint8_t> BuildQuery(uint16_t id, const dns::Question& question);

// The first usable address a response gives for the question.
std::optional<Ipv4> ParseAddressReply(const uint8_t* data, size_t size, uint16_t id, const dns::Question& asked);
// The name a response gives for a reverse question; a reverse-mapping name
// is no computer name.
std::optional<std::string> ParseReverseReply(const uint8_t* data, size_t size, uint16_t id, const dns::Question& asked);

}  // namespace mirelka::llmnr
