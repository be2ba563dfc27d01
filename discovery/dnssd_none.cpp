// Platforms without an mDNS daemon to ask: no DNS-SD source.
#include "source.h"

namespace discovery {
std::unique_ptr<Source> MakeDnsSd() { return nullptr; }
}  // namespace discovery
