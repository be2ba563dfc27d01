// POSIX backend of the TCP layer (tcp.h).
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "sock_addr.h"
#include "tcp.h"

namespace mirelka::sock {

Session::Session() : ok_(true) {}
Session::~Session() = default;

namespace tcp {
namespace {

Attempt FromError(int error) {
  return error == 0 ? Attempt::kAccepted : error == ECONNREFUSED ? Attempt::kRefused : Attempt::kFailed;
}

bool Again(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

}  // namespace

Attempt Start(const Ipv4& address, uint16_t port, intptr_t& handle) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return Attempt::kFailed;
  const sockaddr_in sa = MakeSockaddr(address, port);
  const int error = connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : errno;
  if (error == EINPROGRESS || error == 0) {
    handle = fd;
    return error == 0 ? Attempt::kAccepted : Attempt::kPending;
  }
  close(fd);
  return FromError(error);
}

bool WaitFinished(const std::vector<intptr_t>& handles, int timeoutMs, std::vector<bool>& finished) {
  std::vector<pollfd> pfds(handles.size());
  for (size_t i = 0; i < handles.size(); ++i) pfds[i] = pollfd{static_cast<int>(handles[i]), POLLOUT, 0};
  if (poll(pfds.data(), pfds.size(), std::max(timeoutMs, 0)) <= 0) return false;
  finished.assign(pfds.size(), false);
  for (size_t i = 0; i < pfds.size(); ++i) finished[i] = pfds[i].revents != 0;
  return true;
}

Attempt Result(intptr_t handle) {
  int error = 0;
  socklen_t errorLength = sizeof error;
  const bool asked = getsockopt(static_cast<int>(handle), SOL_SOCKET, SO_ERROR, &error, &errorLength) == 0;
  return FromError(asked ? error : errno);
}

void Close(intptr_t handle) { close(static_cast<int>(handle)); }

long Send(intptr_t handle, const uint8_t* data, size_t size) {
  // A peer that closed must not end the process with SIGPIPE.
  const ssize_t sent = send(static_cast<int>(handle), data, size, MSG_NOSIGNAL);
  if (sent >= 0) return static_cast<long>(sent);
  return Again(errno) ? kNotNow : kBroken;
}

long Receive(intptr_t handle, uint8_t* data, size_t size) {
  const ssize_t got = recv(static_cast<int>(handle), data, size, 0);
  if (got >= 0) return static_cast<long>(got);
  return Again(errno) ? kNotNow : kBroken;
}

bool WaitReady(intptr_t handle, bool write, int timeoutMs) {
  pollfd p{static_cast<int>(handle), static_cast<short>(write ? POLLOUT : POLLIN), 0};
  return poll(&p, 1, std::max(timeoutMs, 0)) > 0;
}

}  // namespace tcp
}  // namespace mirelka::sock
