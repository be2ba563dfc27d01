#pragma once
// What the three conversion entry points do, on input already taken from the
// caller's buffer.
#include <cstdint>
#include <optional>
#include <string_view>

#include "address.h"
#include "answer_buffer.h"

namespace mirelka {

// How NameToIp found an address; the values of MIRELKA_FROM_* (mirelka.h
// says which count as naming the computer with authority, and why).
enum class Source : int32_t { kDotted = 0, kDns = 1, kNetbios = 2, kMdns = 3, kLlmnr = 4, kSystem = 5 };

// Name to dotted address: a dotted address as it is, else the hosts file,
// else the platform resolver, else NetBIOS, multicast DNS and LLMNR asked at
// once (link_query.h). On success *source (when not null) says which answered.
Outcome NameToIp(std::string_view name, Source* source = nullptr);

// Dotted address to name: reverse lookup by the resolver, else NetBIOS node
// status, multicast DNS and LLMNR reverse lookups asked at once.
Outcome IpToName(std::string_view dotted);

// Resolves as NameToIp and checks the computer answers on TCP 445, then 139;
// a refused connection proves it is up as well as an accepted one. On success
// roundTripMs receives the time the answer took.
Outcome ConnectPc(std::string_view name, int32_t& roundTripMs);

}  // namespace mirelka
