#include "credentials.h"

#include <cstring>
#include <iterator>

#include "ascii.h"

namespace netinfo {

void WipeBytes(void* data, size_t size) {
  // A volatile pointer: the stores cannot be dropped as dead.
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  while (size--) *p++ = 0;
}

Secret::Secret(const char* bytes, size_t size) {
  bytes_.reserve(size);  // one buffer, no copies left behind by growing
  bytes_.append(bytes, size);
}

Secret::~Secret() { Wipe(); }

Secret::Secret(const Secret& other) : Secret(other.bytes_.data(), other.bytes_.size()) {}

Secret& Secret::operator=(const Secret& other) {
  if (this != &other) {
    Wipe();
    bytes_.reserve(other.bytes_.size());
    bytes_.append(other.bytes_);
  }
  return *this;
}

// A moved std::string may leave its short-string buffer behind: copy, then
// wipe the source.
Secret::Secret(Secret&& other) noexcept : Secret(other.bytes_.data(), other.bytes_.size()) { other.Wipe(); }

Secret& Secret::operator=(Secret&& other) noexcept {
  if (this != &other) {
    *this = static_cast<const Secret&>(other);
    other.Wipe();
  }
  return *this;
}

void Secret::Wipe() {
  WipeBytes(bytes_.data(), bytes_.capacity());
  bytes_.clear();
}

std::string KeyForHost(const std::string& host) {
  std::string key = "smb://";
  for (const char c : host) key += mirelka::ascii::Upper(c);
  return key;
}

namespace {

constexpr const char* kSourceWords[] = {"dotted", "dns", "netbios", "mdns", "llmnr", "system"};
constexpr NameSource kSources[] = {NameSource::kDotted, NameSource::kDns,   NameSource::kNetbios,
                                   NameSource::kMdns,   NameSource::kLlmnr, NameSource::kSystem};
constexpr char kBoundTag[] = "bound ";

std::string BindingText(const ResolvedHost& where) {
  std::string text = kBoundTag + where.address + ' ';
  for (size_t i = 0; i < std::size(kSources); ++i)
    if (kSources[i] == where.source) text += kSourceWords[i];
  return text;
}

std::optional<ResolvedHost> ParseBinding(const std::string& text) {
  const std::string tag = kBoundTag;
  if (text.compare(0, tag.size(), tag) != 0) return std::nullopt;
  const size_t space = text.find(' ', tag.size());
  if (space == std::string::npos || space == tag.size()) return std::nullopt;
  const std::string word = text.substr(space + 1);
  for (size_t i = 0; i < std::size(kSources); ++i)
    if (word == kSourceWords[i]) return ResolvedHost{text.substr(tag.size(), space - tag.size()), kSources[i]};
  return std::nullopt;
}

}  // namespace

Secret PackCredentials(const Credentials& credentials) {
  const std::string binding = credentials.boundTo ? BindingText(*credentials.boundTo) : std::string();
  std::string packed;
  packed.reserve(credentials.user.size() + 2 + credentials.password.size() + binding.size());
  packed += credentials.user;
  packed += '\0';
  packed += credentials.password.bytes();
  if (!binding.empty()) {
    packed += '\0';
    packed += binding;
  }
  Secret secret(packed.data(), packed.size());
  WipeBytes(packed.data(), packed.size());
  return secret;
}

std::optional<Credentials> UnpackCredentials(const std::string& bytes) {
  const size_t nul = bytes.find('\0');
  if (nul == std::string::npos || nul == 0) return std::nullopt;
  Credentials credentials;
  credentials.user = bytes.substr(0, nul);
  size_t end = bytes.find('\0', nul + 1);
  if (end == std::string::npos) {
    end = bytes.size();
  } else {
    credentials.boundTo = ParseBinding(bytes.substr(end + 1));
  }
  credentials.password = Secret(bytes.data() + nul + 1, end - nul - 1);
  return credentials;
}

}  // namespace netinfo
