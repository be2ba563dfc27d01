#include "netresources.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "cp932_codec.h"

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

// A text of the first record. The text is trusted only as far as it lies
// inside the buffer: a null pointer, or one outside, gives nothing, and a
// text without NUL ends at the buffer's end.
std::optional<std::string> TextInBuffer(const ResultBuffer& buffer, const char* pointer) {
  const auto begin = reinterpret_cast<uintptr_t>(buffer.bytes);
  const auto end = begin + sizeof buffer.bytes;
  const auto text = reinterpret_cast<uintptr_t>(pointer);
  if (text < begin || text >= end) return std::nullopt;
  const unsigned char* start = buffer.bytes + (text - begin);
  const size_t room = end - text;
  const void* nul = std::memchr(start, 0, room);
  const size_t length = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - start) : room;
  return std::string(reinterpret_cast<const char*>(start), length);
}

NetResource FirstRecord(const ResultBuffer& buffer) {
  NetResource record;
  std::memcpy(&record, buffer.bytes, sizeof record);
  return record;
}

// The first record's remote name; a missing one is an empty name.
std::string FirstRemoteName(const ResultBuffer& buffer) {
  return TextInBuffer(buffer, FirstRecord(buffer).lpRemoteName).value_or(std::string());
}

// The first record's remote name with its own text (the bytes as UTF-8
// when it has none).
NamedResource Named(const ResultBuffer& buffer) {
  NamedResource named;
  named.name = FirstRemoteName(buffer);
  const std::optional<std::string> text = TextInBuffer(buffer, FirstRecord(buffer).lpRemoteText);
  named.text = text ? *text : cp932::ToUtf8(named.name);
  return named;
}

// Opens the container and calls onRecord with the buffer that holds each
// child's record until the provider answers anything but success. The
// failure when the open failed.
template <typename OnRecord>
base::Status Enumerate(NetProvider& provider, const std::string& remoteName, const std::string& providerName,
                       const HostLookup* lookup, OnRecord onRecord) {
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
  if (opened != kNoError) return OpenFailure(provider, opened);
  // The provider writes back into both values; they are set once, not per call.
  uint32_t count = 1;
  while (provider.EnumResource(handle, &count, buffer->bytes, &bufferSize) == kNoError) {
    onRecord(*buffer);
  }
  provider.CloseEnum(handle);
  return base::Ok();
}

template <typename List, typename OnRecord>
base::Result<List> Collect(NetProvider& provider, const std::string& remoteName, const std::string& providerName,
                           const HostLookup* lookup, OnRecord toEntry) {
  List list;
  const base::Status opened =
      Enumerate(provider, remoteName, providerName, lookup,
                [&list, &toEntry](const ResultBuffer& buffer) { list.push_back(toEntry(buffer)); });
  if (!opened) return opened.failure();
  return list;
}

}  // namespace

base::Failure OpenFailure(const NetProvider& provider, uint32_t code) {
  return base::Failure{static_cast<int>(code), provider.LastFailureCause().detail};
}

base::Result<ResourceList> EnumNetResources(NetProvider& provider, const std::string& remoteName,
                                            const std::string& providerName) {
  return Collect<ResourceList>(provider, remoteName, providerName, nullptr, FirstRemoteName);
}

base::Result<NamedResourceList> EnumNamedResources(NetProvider& provider, const std::string& remoteName,
                                                   const std::string& providerName) {
  return Collect<NamedResourceList>(provider, remoteName, providerName, nullptr, Named);
}

base::Result<NamedResourceList> EnumNamedResources(NetProvider& provider, const std::string& remoteName,
                                                   const HostLookup& lookup) {
  return Collect<NamedResourceList>(provider, remoteName, std::string(), &lookup, Named);
}

base::Result<std::string> FindWorkgroupName(NetProvider& provider, size_t capacity) {
  std::string last;
  const base::Status opened =
      Enumerate(provider, std::string(), kWindowsNetwork, nullptr, [&last, capacity](const ResultBuffer& buffer) {
        last = cp932::RemoveBackslashes(FirstRemoteName(buffer)).substr(0, capacity);
      });
  if (!opened) return opened.failure();
  return last;
}

}  // namespace netinfo
