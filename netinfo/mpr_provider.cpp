// The Windows network provider layer, passed through as it is: the record
// shape of NetResource is the platform's NETRESOURCEA.
#include <windows.h>
#include <winnetwk.h>

#include <cstddef>

#include "netprovider.h"

namespace netinfo {
namespace {

static_assert(sizeof(NetResource) == sizeof(NETRESOURCEA), "record layouts must match");
static_assert(offsetof(NetResource, lpRemoteName) == offsetof(NETRESOURCEA, lpRemoteName), "record layouts must match");
static_assert(offsetof(NetResource, lpProvider) == offsetof(NETRESOURCEA, lpProvider), "record layouts must match");

NETRESOURCEA ToPlatform(const NetResource& r) {
  NETRESOURCEA out{};
  out.dwScope = r.dwScope;
  out.dwType = r.dwType;
  out.dwDisplayType = r.dwDisplayType;
  out.dwUsage = r.dwUsage;
  out.lpLocalName = r.lpLocalName;
  out.lpRemoteName = r.lpRemoteName;
  out.lpComment = r.lpComment;
  out.lpProvider = r.lpProvider;
  return out;
}

class MprProvider final : public NetProvider {
 public:
  uint32_t OpenEnum(uint32_t scope, uint32_t type, uint32_t usage, const NetResource& container,
                    Handle* handle) override {
    NETRESOURCEA request = ToPlatform(container);
    HANDLE h = nullptr;
    const DWORD result = WNetOpenEnumA(scope, type, usage, &request, &h);
    *handle = h;
    return result;
  }

  uint32_t EnumResource(Handle handle, uint32_t* count, void* buffer, uint32_t* bufferSize) override {
    DWORD c = *count;
    DWORD size = *bufferSize;
    const DWORD result = WNetEnumResourceA(static_cast<HANDLE>(handle), &c, buffer, &size);
    *count = c;
    *bufferSize = size;
    return result;
  }

  uint32_t CloseEnum(Handle handle) override { return WNetCloseEnum(static_cast<HANDLE>(handle)); }
};

}  // namespace

std::unique_ptr<NetProvider> MakePlatformNetProvider() { return std::make_unique<MprProvider>(); }

}  // namespace netinfo
