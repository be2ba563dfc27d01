#pragma once
// The DNS-SD sources and how the platform's one is put together (MakeDnsSd
// in source.h): where the desktop's mDNS daemon answers it is the source,
// else Mirelka browses over multicast DNS itself.
#include <memory>

#include "source.h"

namespace discovery {

// One-shot multicast DNS queries for _smb._tcp.local from a port of its own,
// on every IPv4 interface (mdns_browse.cpp); follows nothing.
std::unique_ptr<Source> MakeMdnsBrowse();

// DNS-SD through avahi-daemon on the system bus (dnssd_browser.cpp; not on
// Windows).
std::unique_ptr<Source> MakeAvahiDnsSd();

// Searches through daemon; a search it cannot ask because the daemon is not
// there (Outcome::NoDaemon, at once or when the daemon is found missing)
// runs through own instead. Announcements are followed through daemon
// alone, which browses again once its daemon runs.
std::unique_ptr<Source> MakeDnsSdFallback(std::unique_ptr<Source> daemon, std::unique_ptr<Source> own);

}  // namespace discovery
