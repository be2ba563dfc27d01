#include "smb_test_env.h"

#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace smbtest {

namespace {

bool Executable(const char* path) { return access(path, X_OK) == 0; }

}  // namespace

std::string WhyNoServers() {
  if (geteuid() != 0) return "needs root to start smbd/nmbd and make network namespaces";
  for (const char* tool : {"/usr/sbin/smbd", "/usr/sbin/nmbd", "/usr/sbin/ip", "/usr/bin/setsid"})
    if (!Executable(tool)) return std::string(tool) + " is not installed";
  // This process (one test, under ctest) moves to a fresh network namespace,
  // so its servers and traffic can reach nothing else, whoever started it.
  if (unshare(CLONE_NEWNET) != 0) return "cannot make a network namespace (unshare CLONE_NEWNET)";
  if (std::system("ip link set lo up") != 0) return "cannot bring loopback up in the new namespace";
  return {};
}

std::string MakeTempDir(const char* prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + ".XXXXXX")).string();
  if (!mkdtemp(pattern.data())) return {};
  chmod(pattern.c_str(), 0755);
  return pattern;
}

void UsePrivateClientConfig(const std::string& dir, const std::string& extraGlobal) {
  const std::string home = dir + "/home";
  std::filesystem::create_directories(home + "/.smb");
  std::filesystem::create_directories(dir + "/client");
  std::ofstream conf(home + "/.smb/smb.conf");
  conf << "[global]\n"
       << "  cache directory = " << dir << "/client\n"
       << "  lock directory = " << dir << "/client\n"
       << "  state directory = " << dir << "/client\n"
       << "  name resolve order = bcast\n"
       << extraGlobal;
  setenv("HOME", home.c_str(), 1);
}

int RunFixture(const std::string& args, std::string* out) {
  const std::string command =
      "MLK_FIXTURE_OWNER=" + std::to_string(getpid()) + " bash " + MIRELKA_NETINFO_FIXTURES + "/" + args;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char chunk[256];
  std::string text;
  while (fgets(chunk, sizeof chunk, pipe)) text += chunk;
  const int status = pclose(pipe);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void RemoveTree(const std::string& dir) {
  std::error_code error;
  if (!dir.empty()) std::filesystem::remove_all(dir, error);
}

}  // namespace smbtest
