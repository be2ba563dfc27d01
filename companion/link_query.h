#pragma once
// Names asked of the local link when DNS has no answer: NetBIOS, multicast
// DNS and LLMNR questions go out at once, and the first sound answer wins
// within one bound (kLinkTiming, 1.5 s). Multicast leaves by every up,
// multicast-capable interface; answers must come from the protocol's port
// and from an address on one of those links (reverse LLMNR and node status:
// from the asked address itself).
#include <optional>
#include <string>
#include <string_view>

#include "address.h"

namespace mirelka {

// The address of a computer name: NetBIOS for names of up to 15 bytes,
// multicast DNS for NAME.local (or a name under .local), LLMNR for names of
// one label.
std::optional<Ipv4> AskLinkForAddress(std::string_view name);

// The name of the computer at address: its NetBIOS node status, the
// multicast DNS host name of the address (without ".local") or its LLMNR name.
std::optional<std::string> AskLinkForName(const Ipv4& address);

}  // namespace mirelka
