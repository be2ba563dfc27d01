// Sockets information from Windows Sockets 2: the interface list as the
// stack reports it (already in the INTERFACE_INFO layout) and the host name.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

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

  void GetHostName(char* buffer, int length) override {
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
    gethostname(buffer, length);
    WSACleanup();
  }
};

}  // namespace

std::unique_ptr<SocketsInfo> MakePlatformSockets() { return std::make_unique<WinSockets>(); }

}  // namespace netinfo
