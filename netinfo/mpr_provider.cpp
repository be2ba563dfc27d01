// The Windows network provider layer through its wide-character calls. The
// narrow calls would hand over names already cut down to code page 932, with
// "?" for whatever it cannot hold; the wide ones give the names as the
// computers have them (UTF-16), and each record handed out carries both the
// code page 932 bytes and that text as UTF-8 (netprovider.h).
#include <windows.h>
#include <winnetwk.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cp932_codec.h"
#include "netprovider.h"

namespace netinfo {
namespace {

// An open enumeration: the platform's handle, and a record already read from
// it that did not fit the caller's buffer yet.
struct Enumeration {
  HANDLE handle = nullptr;
  std::optional<WideRecord> pending;
};

std::optional<std::u16string> Wide(const char* bytes) {
  if (!bytes) return std::nullopt;
  return cp932::ToUtf16(bytes);
}

wchar_t* Pointer(std::optional<std::u16string>& text) {
  return text ? reinterpret_cast<wchar_t*>(text->data()) : nullptr;
}

const char16_t* Text16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

// Reads the next record from the platform, one at a time, into a buffer that
// grows to what the platform says it needs.
DWORD ReadNext(HANDLE handle, std::optional<WideRecord>* out) {
  std::vector<uint64_t> buffer(2048);  // 16 KiB, aligned for the record
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD count = 1;
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(uint64_t));
    const DWORD result = WNetEnumResourceW(handle, &count, buffer.data(), &size);
    if (result == ERROR_MORE_DATA) {
      buffer.resize(size / sizeof(uint64_t) + 1);
      continue;
    }
    if (result != NO_ERROR) return result;
    if (count == 0) return ERROR_NO_MORE_ITEMS;
    const auto& r = *reinterpret_cast<const NETRESOURCEW*>(buffer.data());
    NetResource fields;
    fields.dwScope = r.dwScope;
    fields.dwType = r.dwType;
    fields.dwDisplayType = r.dwDisplayType;
    fields.dwUsage = r.dwUsage;
    out->emplace(fields, Text16(r.lpLocalName), Text16(r.lpRemoteName), Text16(r.lpComment), Text16(r.lpProvider));
    return NO_ERROR;
  }
  return ERROR_MORE_DATA;
}

class MprProvider final : public NetProvider {
 public:
  uint32_t OpenEnum(uint32_t scope, uint32_t type, uint32_t usage, const NetResource& container,
                    Handle* handle) override {
    if (!handle) return kErrorInvalidParameter;
    *handle = nullptr;
    std::optional<std::u16string> local = Wide(container.lpLocalName);
    std::optional<std::u16string> remote = Wide(container.lpRemoteName);
    std::optional<std::u16string> comment = Wide(container.lpComment);
    std::optional<std::u16string> provider = Wide(container.lpProvider);
    NETRESOURCEW request{};
    request.dwScope = container.dwScope;
    request.dwType = container.dwType;
    request.dwDisplayType = container.dwDisplayType;
    request.dwUsage = container.dwUsage;
    request.lpLocalName = Pointer(local);
    request.lpRemoteName = Pointer(remote);
    request.lpComment = Pointer(comment);
    request.lpProvider = Pointer(provider);
    HANDLE h = nullptr;
    const DWORD result = WNetOpenEnumW(scope, type, usage, &request, &h);
    if (result != NO_ERROR) return result;
    auto* enumeration = new Enumeration;
    enumeration->handle = h;
    *handle = enumeration;
    return kNoError;
  }

  uint32_t EnumResource(Handle handle, uint32_t* count, void* buffer, uint32_t* bufferSize) override {
    if (!handle) return kErrorInvalidHandle;
    if (!count || !bufferSize) return kErrorInvalidParameter;
    auto* enumeration = static_cast<Enumeration*>(handle);
    if (!enumeration->pending) {
      if (const DWORD result = ReadNext(enumeration->handle, &enumeration->pending); result != NO_ERROR) return result;
    }
    const uint32_t result = enumeration->pending->Write(buffer, bufferSize);
    if (result != kNoError) return result;  // kept for a call with a larger buffer
    enumeration->pending.reset();
    *count = 1;
    return kNoError;
  }

  uint32_t CloseEnum(Handle handle) override {
    if (!handle) return kErrorInvalidHandle;
    auto* enumeration = static_cast<Enumeration*>(handle);
    const DWORD result = WNetCloseEnum(enumeration->handle);
    delete enumeration;
    return result;
  }
};

}  // namespace

std::unique_ptr<NetProvider> MakePlatformNetProvider() { return std::make_unique<MprProvider>(); }

}  // namespace netinfo
