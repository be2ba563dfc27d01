#pragma once
// NetBIOS name service exchanges over UDP 137, each bounded in time.
#include <optional>
#include <string>
#include <string_view>

#include "address.h"

namespace mirelka::netbios {

// Broadcasts a name query on every up, non-loopback IPv4 interface; the first
// positive answer wins. Both exchanges throw std::runtime_error when no
// socket can be had for them. The name is asked with the workstation suffix 0x00:
// every computer with NetBIOS registers NAME<00>, also one that shares no files.
std::optional<Ipv4> QueryName(std::string_view name);

// Asks the computer at address for its name table (unicast node status) and
// picks its computer name.
std::optional<std::string> QueryComputerName(const Ipv4& address);

}  // namespace mirelka::netbios
