#pragma once
// An in-memory credential store for tests: entries by KeyForHost, a switch
// for "no keyring answers", and a log of what was saved.
#include <map>
#include <string>
#include <vector>

#include "credentials.h"

namespace fakes {

class FakeCredentialStore final : public netinfo::CredentialStore {
 public:
  bool Available() override { return available; }
  std::optional<netinfo::Credentials> Load(const std::string& host) override;
  bool Save(const std::string& host, const netinfo::Credentials& credentials) override;

  bool available = true;
  std::map<std::string, netinfo::Credentials> entries;  // by key "smb://HOST"
  std::vector<std::string> saves;                       // keys, in order
  int loads = 0;
};

}  // namespace fakes
