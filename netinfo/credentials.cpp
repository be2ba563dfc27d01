#include "credentials.h"

#include <cstring>

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

Secret PackCredentials(const Credentials& credentials) {
  std::string packed;
  packed.reserve(credentials.user.size() + 1 + credentials.password.size());
  packed += credentials.user;
  packed += '\0';
  packed += credentials.password.bytes();
  Secret secret(packed.data(), packed.size());
  WipeBytes(packed.data(), packed.size());
  return secret;
}

std::optional<Credentials> UnpackCredentials(const std::string& bytes) {
  const size_t nul = bytes.find('\0');
  if (nul == std::string::npos || nul == 0) return std::nullopt;
  Credentials credentials;
  credentials.user = bytes.substr(0, nul);
  credentials.password = Secret(bytes.data() + nul + 1, bytes.size() - nul - 1);
  return credentials;
}

}  // namespace netinfo
