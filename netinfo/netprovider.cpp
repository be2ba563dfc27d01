#include <cstring>

#include "netprovider.h"

#include "cp932_codec.h"

namespace netinfo {

const char* NameSourceName(NameSource source) {
  switch (source) {
    case NameSource::kDotted:
      return "address";
    case NameSource::kDns:
      return "dns";
    case NameSource::kNetbios:
      return "netbios";
    case NameSource::kMdns:
      return "mdns";
    case NameSource::kLlmnr:
      return "llmnr";
    case NameSource::kSystem:
      break;
  }
  return "system";
}

std::optional<NameSource> NameSourceNamed(const std::string& name) {
  for (const NameSource source : {NameSource::kDotted, NameSource::kDns, NameSource::kNetbios, NameSource::kMdns,
                                  NameSource::kLlmnr, NameSource::kSystem})
    if (name == NameSourceName(source)) return source;
  return std::nullopt;
}
namespace {

size_t TextSize(const char* text) { return text ? std::strlen(text) + 1 : 0; }

// Copies text to cursor and returns where it now lives, or null for no text.
char* PlaceText(const char* text, char*& cursor) {
  if (!text) return nullptr;
  const size_t size = std::strlen(text) + 1;
  std::memcpy(cursor, text, size);
  char* placed = cursor;
  cursor += size;
  return placed;
}

std::optional<std::string> Utf8(const char16_t* text) {
  if (!text) return std::nullopt;
  return cp932::Utf16ToUtf8(text);
}

std::optional<std::string> Bytes(const std::optional<std::string>& utf8) {
  if (!utf8) return std::nullopt;
  return cp932::FromUtf8Lossy(*utf8);
}

const char* Chars(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

}  // namespace

WideRecord::WideRecord(const NetResource& record, const char16_t* local, const char16_t* remote, const char16_t* remark,
                       const char16_t* providerName)
    : fields(record),
      localName(Bytes(Utf8(local))),
      remoteName(),
      remoteText(Utf8(remote)),
      comment(Bytes(Utf8(remark))),
      provider(Bytes(Utf8(providerName))) {
  remoteName = Bytes(remoteText);
}

uint32_t WideRecord::Write(void* buffer, uint32_t* bufferSize) const {
  return WriteRecord(fields, Chars(localName), Chars(remoteName), Chars(comment), Chars(provider), buffer, bufferSize,
                     Chars(remoteText));
}

uint32_t WriteRecord(const NetResource& fields, const char* localName, const char* remoteName, const char* comment,
                     const char* provider, void* buffer, uint32_t* bufferSize, const char* remoteText) {
  if (!bufferSize) return kErrorInvalidParameter;
  const size_t needed = sizeof(NetResource) + TextSize(localName) + TextSize(remoteName) + TextSize(comment) +
                        TextSize(provider) + TextSize(remoteText);
  if (!buffer || needed > *bufferSize) {
    *bufferSize = static_cast<uint32_t>(needed);
    return kErrorMoreData;
  }
  auto* bytes = static_cast<char*>(buffer);
  char* cursor = bytes + sizeof(NetResource);
  NetResource record = fields;
  record.lpLocalName = PlaceText(localName, cursor);
  record.lpRemoteName = PlaceText(remoteName, cursor);
  record.lpComment = PlaceText(comment, cursor);
  record.lpProvider = PlaceText(provider, cursor);
  record.lpRemoteText = PlaceText(remoteText, cursor);
  // memcpy rather than a cast: the caller's buffer need not be aligned.
  std::memcpy(bytes, &record, sizeof record);
  return kNoError;
}

}  // namespace netinfo
