// Sockets information from Windows Sockets 2: the interface list as the
// stack reports it (already in the INTERFACE_INFO layout) and the host name.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <array>
#include <cstring>
#include <string_view>

#include "cp932_bytes.h"
#include "sockets.h"

namespace netinfo {
namespace {

static_assert(sizeof(INTERFACE_INFO) == kInterfaceInfoSize, "the entry layout is the platform's");

class WinSockets final : public SocketsInfo {
 public:
  uint32_t GetInterfaceList(uint8_t* buffer, uint32_t length) override {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = WSASocketA(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, 0);
    DWORD byteCount = 0;
    WSAIoctl(s, SIO_GET_INTERFACE_LIST, nullptr, 0, buffer, length, &byteCount, nullptr, nullptr);
    closesocket(s);
    WSACleanup();
    return byteCount;
  }

  // gethostname fails on a buffer too small for the name and may leave it as
  // it was; the name is fetched whole and cut at a character boundary, so
  // the caller always gets a terminated text within length bytes.
  std::string GetHostName() override {
    std::array<char, kHostNameBufferSize> raw{};
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
    if (gethostname(raw.data(), static_cast<int>(raw.size() - 1)) != 0) raw[0] = '\0';
    WSACleanup();
    return std::string(raw.data(), strnlen(raw.data(), raw.size()));
  }
};

}  // namespace

std::unique_ptr<SocketsInfo> MakePlatformSockets() { return std::make_unique<WinSockets>(); }

}  // namespace netinfo
