#pragma once
// Tests that resolve unknown names or probe addresses run only where no
// interface but loopback is up, so nothing can leave the machine.
#include <ifaddrs.h>
#include <net/if.h>

namespace mirelka::testing {

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

}  // namespace mirelka::testing

#define MIRELKA_REQUIRE_LOOPBACK_ONLY()                                                         \
  do {                                                                                          \
    if (!mirelka::testing::OnlyLoopbackUp())                                                    \
      GTEST_SKIP() << "an interface other than loopback is up: run inside a network namespace"; \
  } while (0)
