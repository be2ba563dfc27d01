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

using Text = std::optional<std::string>;

// A record as read from the platform, its texts converted; null texts stay null.
struct Record {
  NetResource fields;
  Text localName, remoteName, remoteText, comment, provider;
};

// An open enumeration: the platform's handle, and a record already read from
// it that did not fit the caller's buffer yet.
struct Enumeration {
  HANDLE handle = nullptr;
  std::optional<Record> pending;
};

std::optional<std::u16string> Wide(const char* bytes) {
  if (!bytes) return std::nullopt;
  return cp932::toUtf16(bytes);
}

wchar_t* Pointer(std::optional<std::u16string>& text) {
  return text ? reinterpret_cast<wchar_t*>(text->data()) : nullptr;
}

Text Utf8(const wchar_t* text) {
  if (!text) return std::nullopt;
  return cp932::utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
}

Text Bytes(const Text& utf8) {
  if (!utf8) return std::nullopt;
  return cp932::fromUtf8Lossy(*utf8);
}

const char* Chars(const Text& text) { return text ? text->c_str() : nullptr; }

Record FromPlatform(const NETRESOURCEW& r) {
  Record record;
  record.fields.dwScope = r.dwScope;
  record.fields.dwType = r.dwType;
  record.fields.dwDisplayType = r.dwDisplayType;
  record.fields.dwUsage = r.dwUsage;
  record.remoteText = Utf8(r.lpRemoteName);
  record.remoteName = Bytes(record.remoteText);
  record.localName = Bytes(Utf8(r.lpLocalName));
  record.comment = Bytes(Utf8(r.lpComment));
  record.provider = Bytes(Utf8(r.lpProvider));
  return record;
}

// Reads the next record from the platform, one at a time, into a buffer that
// grows to what the platform says it needs.
DWORD ReadNext(HANDLE handle, std::optional<Record>* out) {
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
    *out = FromPlatform(*reinterpret_cast<const NETRESOURCEW*>(buffer.data()));
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
    const Record& r = *enumeration->pending;
    const uint32_t result = WriteRecord(r.fields, Chars(r.localName), Chars(r.remoteName), Chars(r.comment),
                                        Chars(r.provider), buffer, bufferSize, Chars(r.remoteText));
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
