#pragma once
// Host and interface information as plain rows, ready for the window.
#include <cstdint>
#include <string>
#include <vector>

#include "sockets.h"

namespace netinfo {

// The address label of a dotted address, in code page 932.
std::string ClassifyAddress(const std::string& dotted);

struct InterfaceRow {
  std::string address;
  std::string mask;
  std::string label;
};

// Rows of a filled interface buffer: byteCount / 76 whole entries, at most 10.
std::vector<InterfaceRow> ParseInterfaceList(const uint8_t* buffer, uint32_t byteCount);

// The platform's interfaces through the seam, as rows.
std::vector<InterfaceRow> ListInterfaceRows(SocketsInfo& sockets);

// The host name up to its first NUL, at most 256 bytes.
std::string HostName(SocketsInfo& sockets);

}  // namespace netinfo
