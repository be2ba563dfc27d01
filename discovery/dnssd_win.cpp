// Windows: no mDNS daemon to ask; Mirelka browses over multicast DNS itself.
#include "dnssd.h"

namespace discovery {
std::unique_ptr<Source> MakeDnsSd() { return MakeMdnsBrowse(); }
}  // namespace discovery
