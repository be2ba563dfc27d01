#include "fake_credentials.h"

namespace fakes {

std::optional<netinfo::Credentials> FakeCredentialStore::Load(const std::string& host) {
  ++loads;
  if (!available) return std::nullopt;
  const auto it = entries.find(netinfo::KeyForHost(host));
  if (it == entries.end()) return std::nullopt;
  return it->second;
}

bool FakeCredentialStore::Save(const std::string& host, const netinfo::Credentials& credentials) {
  if (!available) return false;
  saves.push_back(netinfo::KeyForHost(host));
  entries[netinfo::KeyForHost(host)] = credentials;
  return true;
}

}  // namespace fakes
