#pragma once
// Shared set-up for the tests that start real Samba servers.
#include <string>
#include <utility>

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
// written to *out when given. The script learns this process's id, and what
// it starts it also stops by itself once this process is gone, however it
// ended (a sanitizer's abort included).
int RunFixture(const std::string& args, std::string* out = nullptr);

void RemoveTree(const std::string& dir);

// Runs the fixture command given ("smbd_fixture.sh stop DIR") and then
// removes the test's directory when it goes out of scope: a test that fails
// early still stops what it started.
class StopOnExit {
 public:
  StopOnExit(std::string stopArgs, std::string dir) : stopArgs_(std::move(stopArgs)), dir_(std::move(dir)) {}
  ~StopOnExit() {
    RunFixture(stopArgs_);
    RemoveTree(dir_);
  }
  StopOnExit(const StopOnExit&) = delete;
  StopOnExit& operator=(const StopOnExit&) = delete;

 private:
  std::string stopArgs_;
  std::string dir_;
};

}  // namespace smbtest
