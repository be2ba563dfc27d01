#pragma once
// Tests that resolve unknown names or probe addresses run only where no
// interface but loopback is up, so nothing can leave the machine.
#ifdef _WIN32
#include <winsock2.h>
#include <iphlpapi.h>

#include <vector>
#else
#include <ifaddrs.h>
#include <net/if.h>
#endif

namespace mirelka::testing {

#ifdef _WIN32
inline bool OnlyLoopbackUp() {
  ULONG size = 16 * 1024;
  std::vector<unsigned char> storage(size);
  auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data());
  if (GetAdaptersAddresses(AF_UNSPEC, 0, nullptr, list, &size) != NO_ERROR) return false;
  for (const IP_ADAPTER_ADDRESSES* a = list; a != nullptr; a = a->Next) {
    if (a->OperStatus == IfOperStatusUp && a->IfType != IF_TYPE_SOFTWARE_LOOPBACK) return false;
  }
  return true;
}
#else
inline bool OnlyLoopbackUp() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool only = true;
  for (const ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
    if ((ifa->ifa_flags & IFF_UP) != 0 && (ifa->ifa_flags & IFF_LOOPBACK) == 0) only = false;
  }
  freeifaddrs(list);
  return only;
}
#endif

}  // namespace mirelka::testing

#define MIRELKA_REQUIRE_LOOPBACK_ONLY()                                                         \
  do {                                                                                          \
    if (!mirelka::testing::OnlyLoopbackUp())                                                    \
      GTEST_SKIP() << "an interface other than loopback is up: run inside a network namespace"; \
  } while (0)
