// The platform's sockets backend on the real OS (getifaddrs on Linux, ws2_32's
// SIO_GET_INTERFACE_LIST under Windows or Wine): invariants only, since what
// the machine has varies. Run inside a network namespace, loopback is there.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "address.h"
#include "interfaces.h"
#include "sockets.h"

namespace {

TEST(PlatformSockets, ListsLoopbackInTheEntryLayout) {
  auto sockets = netinfo::MakePlatformSockets();
  std::array<uint8_t, netinfo::kInterfaceBufferSize> buffer{};
  const uint32_t count = sockets->GetInterfaceList(buffer.data(), static_cast<uint32_t>(buffer.size()));
  ASSERT_EQ(count % netinfo::kInterfaceInfoSize, 0u);
  ASSERT_LE(count, buffer.size());
  bool loopback = false;
  for (uint32_t off = 0; off < count; off += netinfo::kInterfaceInfoSize) {
    const uint8_t* e = buffer.data() + off;
    // Under Windows the system fills the entries, and Wine leaves the family
    // of the broadcast address, a field nothing reads, at 0.
#ifdef _WIN32
    const size_t families[] = {netinfo::kOffAddressFamily, netinfo::kOffNetmaskFamily};
#else
    const size_t families[] = {netinfo::kOffAddressFamily, netinfo::kOffBroadcastFamily, netinfo::kOffNetmaskFamily};
#endif
    for (size_t family : families) {
      uint16_t f;
      std::memcpy(&f, e + family, 2);
      EXPECT_EQ(f, 2u) << "family at " << family;
    }
    uint32_t flags;
    std::memcpy(&flags, e, 4);
    if (mirelka::FormatDotted(mirelka::Ipv4At(e + netinfo::kOffAddress)) == "127.0.0.1") {
      loopback = true;
      EXPECT_EQ(mirelka::FormatDotted(mirelka::Ipv4At(e + netinfo::kOffNetmask)), "255.0.0.0");
      EXPECT_TRUE(flags & netinfo::kIffLoopback);
      EXPECT_TRUE(flags & netinfo::kIffUp);
    }
  }
  EXPECT_TRUE(loopback) << "127.0.0.1 missing; is lo up?";
}

TEST(PlatformSockets, NeverWritesPastTheGivenLength) {
  auto sockets = netinfo::MakePlatformSockets();
  for (uint32_t length : {0u, 75u, 76u, 100u}) {
    std::array<uint8_t, 200> buffer;
    buffer.fill(0xA5);
    const uint32_t count = sockets->GetInterfaceList(buffer.data(), length);
    EXPECT_LE(count, length);
    for (size_t i = length; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xA5) << "length " << length;
  }
}

TEST(PlatformSockets, HostNameIsThereWithoutNulsAndFitsItsField) {
  auto sockets = netinfo::MakePlatformSockets();
  const std::string name = netinfo::HostName(*sockets);
  EXPECT_GT(name.size(), 0u);
  EXPECT_LT(name.size(), netinfo::kHostNameBufferSize);
  EXPECT_EQ(name.find('\0'), std::string::npos);
}

}  // namespace
