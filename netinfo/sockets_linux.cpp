// Sockets information from the Linux kernel: getifaddrs for the IPv4
// interfaces, gethostname for the name.
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "cp932_codec.h"
#include "sockets.h"

namespace netinfo {
namespace {

constexpr uint16_t kFamilyInet = 2;  // AF_INET as the INTERFACE_INFO layout stores it

uint32_t MapFlags(unsigned int flags) {
  uint32_t mapped = 0;
  if (flags & IFF_UP) mapped |= kIffUp;
  if (flags & IFF_BROADCAST) mapped |= kIffBroadcast;
  if (flags & IFF_LOOPBACK) mapped |= kIffLoopback;
  if (flags & IFF_POINTOPOINT) mapped |= kIffPointToPoint;
  if (flags & IFF_MULTICAST) mapped |= kIffMulticast;
  return mapped;
}

// One padded socket address: family, zero port, the four address bytes.
void PutAddress(uint8_t* entry, size_t familyOffset, size_t addressOffset, const sockaddr* address) {
  std::memcpy(entry + familyOffset, &kFamilyInet, sizeof kFamilyInet);
  if (address && address->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    std::memcpy(entry + addressOffset, &in->sin_addr.s_addr, 4);
  }
}

void PutEntry(uint8_t* entry, const ifaddrs& ifa) {
  std::memset(entry, 0, kInterfaceInfoSize);
  const uint32_t flags = MapFlags(ifa.ifa_flags);
  std::memcpy(entry + kOffFlags, &flags, sizeof flags);
  PutAddress(entry, kOffAddressFamily, kOffAddress, ifa.ifa_addr);
  PutAddress(entry, kOffBroadcastFamily, kOffBroadcast, (ifa.ifa_flags & IFF_BROADCAST) ? ifa.ifa_broadaddr : nullptr);
  PutAddress(entry, kOffNetmaskFamily, kOffNetmask, ifa.ifa_netmask);
}

class LinuxSockets final : public SocketsInfo {
 public:
  uint32_t GetInterfaceList(uint8_t* buffer, uint32_t length) override {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return 0;
    uint32_t written = 0;
    for (const ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
      if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET) continue;
      if (length - written < kInterfaceInfoSize) break;
      PutEntry(buffer + written, *ifa);
      written += static_cast<uint32_t>(kInterfaceInfoSize);
    }
    freeifaddrs(list);
    return written;
  }

  std::string GetHostName() override {
    std::array<char, kHostNameBufferSize> raw{};
    gethostname(raw.data(), raw.size() - 1);  // the last byte stays NUL even if the name is cut
    return cp932::FromUtf8Lossy(std::string_view(raw.data(), strnlen(raw.data(), raw.size())));
  }
};

}  // namespace

std::unique_ptr<SocketsInfo> MakePlatformSockets() { return std::make_unique<LinuxSockets>(); }

}  // namespace netinfo
