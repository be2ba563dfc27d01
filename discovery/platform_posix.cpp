#include "platform.h"

#include <sys/socket.h>

#include "samba_conf.h"

namespace discovery {

const char* const kSambaConfigPath = "/etc/samba/smb.conf";

void RefuseBroadcast(qintptr socket) {
  int off = 0;
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_BROADCAST, &off, sizeof off);
}

}  // namespace discovery
