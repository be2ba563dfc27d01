#pragma once
// Non-blocking TCP over the platform's sockets, one backend file per platform
// (tcp_posix.cpp, tcp_win.cpp): connection attempts, a bounded wait on them,
// and the few bytes a probe sends and reads. Handles are the platform's
// sockets. The logic over them (the companion's check, netinfo's SMB
// negotiate probe) is the same on every platform.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "address.h"

namespace mirelka::sock {

// Holds the sockets interface open for one call (winsock start-up and clean-up;
// nothing on POSIX).
class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

namespace tcp {

// Where a connection attempt stands.
enum class Attempt { kAccepted, kRefused, kPending, kFailed };

// Opens a non-blocking socket and starts connecting it to address:port. A
// pending or (at once) accepted attempt keeps its socket, in handle, for the
// caller to close; the others are closed.
Attempt Start(const Ipv4& address, uint16_t port, intptr_t& handle);
// Waits up to timeoutMs until one or more of handles has finished its
// attempt, and marks those in finished; false when none did by then.
bool WaitFinished(const std::vector<intptr_t>& handles, int timeoutMs, std::vector<bool>& finished);
// How a finished attempt ended: never kPending.
Attempt Result(intptr_t handle);
void Close(intptr_t handle);

// What Send and Receive return besides a count.
constexpr long kNotNow = -1;  // the socket cannot take or give anything yet
constexpr long kBroken = -2;  // the connection failed (reset, ...)

// Sends what the socket takes of size bytes without waiting: the count taken,
// kNotNow or kBroken.
long Send(intptr_t handle, const uint8_t* data, size_t size);
// Takes up to size bytes of what has arrived without waiting: the count, 0
// when the peer has closed, kNotNow or kBroken.
long Receive(intptr_t handle, uint8_t* data, size_t size);
// Waits up to timeoutMs until handle can be written (write) or read (data,
// the peer's close, an error); false when it cannot by then.
bool WaitReady(intptr_t handle, bool write, int timeoutMs);

}  // namespace tcp
}  // namespace mirelka::sock
