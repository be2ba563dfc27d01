#include "netresources.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "cp932_bytes.h"

namespace netinfo {
namespace {

// One provider answer; aligned so the provider may write a record in place.
struct alignas(NetResource) ResultBuffer {
  unsigned char bytes[kResultBufferSize];
};

NetResource ContainerRequest(char* remoteName, char* providerName) {
  NetResource request;
  request.dwScope = kResourceGlobalNet;
  request.dwType = kResourceTypeAny;
  request.dwDisplayType = kResourceDisplayTypeDomain;
  request.dwUsage = kResourceUsageContainer;
  request.lpLocalName = nullptr;
  request.lpRemoteName = remoteName;
  request.lpComment = nullptr;
  request.lpProvider = providerName;
  return request;
}

// The first record's remote name. The text is trusted only as far as it lies
// inside the buffer: a null pointer is an empty name, a pointer outside gives
// nothing, and a text without NUL ends at the buffer's end.
std::string FirstRemoteName(const ResultBuffer& buffer) {
  NetResource record;
  std::memcpy(&record, buffer.bytes, sizeof record);
  const auto begin = reinterpret_cast<uintptr_t>(buffer.bytes);
  const auto end = begin + sizeof buffer.bytes;
  const auto text = reinterpret_cast<uintptr_t>(record.lpRemoteName);
  if (text < begin || text >= end) return {};
  const unsigned char* start = buffer.bytes + (text - begin);
  const size_t room = end - text;
  const void* nul = std::memchr(start, 0, room);
  const size_t length = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - start) : room;
  return std::string(reinterpret_cast<const char*>(start), length);
}

// Opens the container and calls onName with each child's remote name until
// the provider answers anything but success. False when the open failed.
template <typename OnName>
bool Enumerate(NetProvider& provider, const std::string& remoteName, const std::string& providerName,
               const HostLookup* lookup, OnName onName) {
  auto buffer = std::make_unique<ResultBuffer>();
  uint32_t bufferSize = kResultBufferSize;
  // Writable copies: the record's text fields are char*, and an empty name
  // must still be a pointer to "" rather than null.
  std::string remote = remoteName;
  std::string providerText = providerName;
  const NetResource request = ContainerRequest(remote.data(), providerText.data());

  NetProvider::Handle handle = nullptr;
  const uint32_t opened =
      lookup ? provider.OpenEnumWith(*lookup, kResourceGlobalNet, kResourceTypeAny, 0, request, &handle)
             : provider.OpenEnum(kResourceGlobalNet, kResourceTypeAny, 0, request, &handle);
  if (opened != kNoError) return false;
  // The provider writes back into both values; they are set once, not per call.
  uint32_t count = 1;
  while (provider.EnumResource(handle, &count, buffer->bytes, &bufferSize) == kNoError) {
    onName(FirstRemoteName(*buffer));
  }
  provider.CloseEnum(handle);
  return true;
}

}  // namespace

bool EnumNetResources(NetProvider& provider, const std::string& remoteName, const std::string& providerName,
                      ResourceList& list) {
  return Enumerate(provider, remoteName, providerName, nullptr,
                   [&list](std::string name) { list.push_back(std::move(name)); });
}

bool EnumNetResources(NetProvider& provider, const std::string& remoteName, const HostLookup& lookup,
                      ResourceList& list) {
  return Enumerate(provider, remoteName, std::string(), &lookup,
                   [&list](std::string name) { list.push_back(std::move(name)); });
}

std::optional<std::string> FindWorkgroupName(NetProvider& provider, size_t capacity) {
  std::string last;
  const bool opened = Enumerate(
      provider, std::string(), kWindowsNetwork, nullptr,
      [&last, capacity](const std::string& name) { last = cp932::removeBackslashes(name).substr(0, capacity); });
  if (!opened) return std::nullopt;
  return last;
}

}  // namespace netinfo
