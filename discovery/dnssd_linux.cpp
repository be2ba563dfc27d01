// Linux: avahi-daemon, where it answers on the system bus, is the DNS-SD
// source; without it Mirelka browses over multicast DNS itself.
#include "dnssd.h"

namespace discovery {
std::unique_ptr<Source> MakeDnsSd() { return MakeDnsSdFallback(MakeAvahiDnsSd(), MakeMdnsBrowse()); }
}  // namespace discovery
