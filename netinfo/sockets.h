#pragma once
// The sockets information seam: the IPv4 interface list in the 76-byte
// INTERFACE_INFO layout, and the host name.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace netinfo {

constexpr size_t kInterfaceInfoSize = 76;
constexpr size_t kInterfaceBufferSize = 760;  // 10 entries
constexpr size_t kHostNameBufferSize = 256;

// INTERFACE_INFO field offsets within one entry.
constexpr size_t kOffFlags = 0;
constexpr size_t kOffAddressFamily = 4;
constexpr size_t kOffAddress = 8;
constexpr size_t kOffBroadcastFamily = 28;
constexpr size_t kOffBroadcast = 32;
constexpr size_t kOffNetmaskFamily = 52;
constexpr size_t kOffNetmask = 56;

// INTERFACE_INFO flag bits.
constexpr uint32_t kIffUp = 0x1;
constexpr uint32_t kIffBroadcast = 0x2;
constexpr uint32_t kIffLoopback = 0x4;
constexpr uint32_t kIffPointToPoint = 0x8;
constexpr uint32_t kIffMulticast = 0x10;

class SocketsInfo {
 public:
  virtual ~SocketsInfo() = default;
  // Fills buffer (length bytes, already zeroed) with whole entries; returns the
  // byte count the platform reports (it may exceed what the buffer holds).
  virtual uint32_t GetInterfaceList(uint8_t* buffer, uint32_t length) = 0;
  // The host name in code page 932 as the platform gives it (at most
  // kHostNameBufferSize - 1 bytes are asked for); netinfo::HostName cuts it.
  virtual std::string GetHostName() = 0;
};

std::unique_ptr<SocketsInfo> MakePlatformSockets();

}  // namespace netinfo
