#pragma once
// NetBIOS name service questions over UDP 137, asked beside the other
// questions of a lookup (exchange.h).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "address.h"
#include "exchange.h"

namespace mirelka::netbios {

// A name query broadcast on each of links (exchange.h); found receives the
// first positive answer from port 137 of an address on one of them. The name is asked with the workstation
// suffix 0x00: every computer with NetBIOS registers NAME<00>, also one that
// shares no files. Nothing when the name cannot be asked or there is no
// interface to broadcast on.
std::optional<Asking> AskName(std::string_view name, const std::vector<sock::LinkAddress>& links,
                              std::optional<Ipv4>& found);

// A node status question to the computer at address (unicast), answered only
// from port 137 of that address; found receives its computer name.
std::optional<Asking> AskComputerName(const Ipv4& address, std::optional<std::string>& found);

}  // namespace mirelka::netbios
