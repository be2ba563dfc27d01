// The Windows network provider backend on the system's own mpr. Wine has no
// network provider installed: WNetOpenEnumW answers ERROR_NO_NETWORK there,
// so the failure path runs for real and the enumeration is skipped by name.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "netprovider.h"
#include "netresources.h"

namespace {

using netinfo::NetResource;

TEST(MprProvider, AFailedOpenSaysTheProvidersCode) {
  auto net = netinfo::MakePlatformNetProvider();
  if (const base::Result<std::string> name = netinfo::FindWorkgroupName(*net, 255)) {
    EXPECT_LE(name->size(), 255u);
  }
  if (const auto list = netinfo::EnumNetResources(*net, "\\\\127.0.0.1", ""); !list) {
    EXPECT_NE(list.failure().code, static_cast<int>(netinfo::kNoError));
  }
}

TEST(MprProvider, EnumeratesTheTopLevelOneRecordAtATime) {
  auto net = netinfo::MakePlatformNetProvider();
  NetResource container;
  container.dwScope = netinfo::kResourceGlobalNet;
  container.dwUsage = netinfo::kResourceUsageContainer;
  container.lpProvider = const_cast<char*>(netinfo::kWindowsNetwork);
  netinfo::NetProvider::Handle handle = nullptr;
  const uint32_t opened = net->OpenEnum(netinfo::kResourceGlobalNet, netinfo::kResourceTypeAny, 0, container, &handle);
  if (opened == netinfo::kErrorNoNetwork) {
    GTEST_SKIP() << "WNetOpenEnumW: ERROR_NO_NETWORK (Wine installs no network provider)";
  }
  ASSERT_EQ(opened, netinfo::kNoError);
  alignas(8) std::array<char, netinfo::kResultBufferSize> buffer;
  uint32_t result = netinfo::kNoError;
  for (int records = 0; records < 1000 && result == netinfo::kNoError; ++records) {
    uint32_t count = 1;
    uint32_t size = static_cast<uint32_t>(buffer.size());
    result = net->EnumResource(handle, &count, buffer.data(), &size);
    if (result != netinfo::kNoError) break;
    ASSERT_EQ(count, 1u);
    const auto* record = reinterpret_cast<const NetResource*>(buffer.data());
    if (record->lpRemoteName) {
      EXPECT_GE(record->lpRemoteName, buffer.data());
      EXPECT_LT(record->lpRemoteName, buffer.data() + buffer.size());
    }
  }
  EXPECT_EQ(result, netinfo::kErrorNoMoreItems);
  EXPECT_EQ(net->CloseEnum(handle), netinfo::kNoError);
}

}  // namespace
