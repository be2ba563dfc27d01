#include <winsock2.h>

#include "platform.h"
#include "samba_conf.h"

namespace discovery {

// No Samba configuration on Windows.
const char* const kSambaConfigPath = "";

void RefuseBroadcast(qintptr socket) {
  BOOL off = FALSE;
  setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&off), sizeof off);
}

}  // namespace discovery
