#pragma once
// Shared set-up for the tests that start real Samba servers.
#include <string>

namespace smbtest {

// Moves this process into a network namespace of its own with loopback up.
// Returns empty on success, otherwise why servers cannot be started here.
std::string WhyNoServers();

// A fresh directory under the system's temporary folder.
std::string MakeTempDir(const char* prefix);

// Points the client library at a private configuration (and so a private name
// cache) under dir, with extra lines for [global]. Call before the first listing.
void UsePrivateClientConfig(const std::string& dir, const std::string& extraGlobal = "");

// Runs a fixture script from this folder; returns its exit status. stdout is
// written to *out when given.
int RunFixture(const std::string& args, std::string* out = nullptr);

void RemoveTree(const std::string& dir);

}  // namespace smbtest
