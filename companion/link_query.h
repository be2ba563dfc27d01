#pragma once
// Names asked of the local link when DNS has no answer: NetBIOS, multicast
// DNS and LLMNR questions go out together (NetBIOS a millisecond ahead), and
// the first sound answer wins within one bound (exchange.h: 250 ms for a
// name, 1.5 s for an address).
// Multicast leaves by every up, multicast-capable interface, and its answers
// must come from the protocol's port and from an address on one of those
// links. Questions about an address go to that address alone, and only it
// may answer.
#include <optional>
#include <string>
#include <string_view>

#include "address.h"

namespace mirelka {

enum class LinkProtocol { kNetbios, kMdns, kLlmnr };

// The address of a computer name: NetBIOS for names of up to 15 bytes,
// multicast DNS for NAME.local (or a name under .local), LLMNR for names of
// one label. *answeredBy (when not null) receives the protocol that answered.
std::optional<Ipv4> AskLinkForAddress(std::string_view name, LinkProtocol* answeredBy = nullptr);

// The name of the computer at address: its NetBIOS node status, its
// multicast DNS host name (without ".local", asked of the computer directly
// on port 5353) or its LLMNR name.
std::optional<std::string> AskLinkForName(const Ipv4& address);

}  // namespace mirelka
