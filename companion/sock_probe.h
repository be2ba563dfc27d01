#pragma once
// What each sockets backend gives the connection probe (sock_probe.cpp, the
// same on every platform): non-blocking TCP connection attempts and a
// bounded wait on them. Handles are the platform's sockets.
#include <cstdint>
#include <vector>

#include "address.h"

namespace mirelka::sock::tcp {

// Where a connection attempt stands.
enum class Attempt { kAccepted, kRefused, kPending, kFailed };

// Opens a non-blocking socket and starts connecting it to address:port. Only
// a pending attempt keeps its socket, in handle; the others are closed.
Attempt Start(const Ipv4& address, uint16_t port, intptr_t& handle);
// Waits up to timeoutMs until one or more of handles has finished its
// attempt, and marks those in finished; false when none did by then.
bool WaitFinished(const std::vector<intptr_t>& handles, int timeoutMs, std::vector<bool>& finished);
// How a finished attempt ended: never kPending.
Attempt Result(intptr_t handle);
void Close(intptr_t handle);

}  // namespace mirelka::sock::tcp
