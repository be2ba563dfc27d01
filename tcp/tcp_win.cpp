// Windows backend of the TCP layer (tcp.h): winsock.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "sock_addr.h"
#include "tcp.h"

namespace mirelka::sock {

Session::Session() {
  WSADATA data;
  ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Session::~Session() {
  if (ok_) WSACleanup();
}

namespace tcp {
namespace {

SOCKET AsSocket(intptr_t handle) { return static_cast<SOCKET>(handle); }

Attempt FromError(int error) {
  return error == 0 ? Attempt::kAccepted : error == WSAECONNREFUSED ? Attempt::kRefused : Attempt::kFailed;
}

// What a failed send or recv means for the probe.
long Failure() { return WSAGetLastError() == WSAEWOULDBLOCK ? kNotNow : kBroken; }

}  // namespace

Attempt Start(const Ipv4& address, uint16_t port, intptr_t& handle) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return Attempt::kFailed;
  u_long nonBlocking = 1;
  const sockaddr_in sa = MakeSockaddr(address, port);
  int error = ioctlsocket(s, FIONBIO, &nonBlocking) == 0 ? 0 : WSAGetLastError();
  if (error == 0 && connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK || error == 0) {
    handle = static_cast<intptr_t>(s);
    return error == 0 ? Attempt::kAccepted : Attempt::kPending;
  }
  closesocket(s);
  return FromError(error);
}

bool WaitFinished(const std::vector<intptr_t>& handles, int timeoutMs, std::vector<bool>& finished) {
  std::vector<WSAPOLLFD> pfds;
  for (intptr_t handle : handles) pfds.push_back(WSAPOLLFD{AsSocket(handle), POLLWRNORM, 0});
  if (WSAPoll(pfds.data(), static_cast<ULONG>(pfds.size()), static_cast<INT>(std::max(timeoutMs, 0))) <= 0) {
    return false;
  }
  finished.clear();
  for (const WSAPOLLFD& p : pfds) finished.push_back(p.revents != 0);
  return true;
}

Attempt Result(intptr_t handle) {
  int error = 0;
  int errorLength = sizeof error;
  if (getsockopt(AsSocket(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &errorLength) != 0) {
    error = WSAGetLastError();
  }
  return FromError(error);
}

void Close(intptr_t handle) { closesocket(AsSocket(handle)); }

long Send(intptr_t handle, const uint8_t* data, size_t size) {
  const int sent = send(AsSocket(handle), reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
  return sent == SOCKET_ERROR ? Failure() : static_cast<long>(sent);
}

long Receive(intptr_t handle, uint8_t* data, size_t size) {
  const int got = recv(AsSocket(handle), reinterpret_cast<char*>(data), static_cast<int>(size), 0);
  return got == SOCKET_ERROR ? Failure() : static_cast<long>(got);
}

bool WaitReady(intptr_t handle, bool write, int timeoutMs) {
  WSAPOLLFD p{AsSocket(handle), static_cast<SHORT>(write ? POLLWRNORM : POLLRDNORM), 0};
  return WSAPoll(&p, 1, static_cast<INT>(std::max(timeoutMs, 0))) > 0;
}

}  // namespace tcp
}  // namespace mirelka::sock
