// Choosing the list file's folder with POSIX calls.
#include "listlocation.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "pclist.h"

namespace pclist {
namespace {

namespace fs = std::filesystem;

// Whether this process may create files in dir. The effective ids decide, as
// they do for the save; a read-only mount answers no even to root.
bool FolderWritable(const fs::path& dir) {
  return ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool ReadableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
}

}  // namespace

ListLocation LocateListFile(const std::string& executablePath, const std::string& configHome) {
  const std::string beside = ListFilePath(executablePath);
  fs::path folder = fs::path(executablePath).parent_path();
  if (folder.empty()) folder = ".";
  if (FolderWritable(folder) || configHome.empty()) return {beside, {}};

  ListLocation location{(fs::path(configHome) / "mirelka" / "mirelka.ini").string(), {}};
  if (!Exists(location.path) && ReadableFile(beside)) location.oldPath = beside;
  return location;
}

std::string UserConfigHome() {
  // Relative values are not valid here and are ignored.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  std::string homeDir = home && home[0] == '/' ? home : "";
  if (homeDir.empty()) {
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
      homeDir = found->pw_dir;
  }
  if (homeDir.empty()) return {};
  return (fs::path(homeDir) / ".config").string();
}

bool MakeFoldersFor(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  fs::path partial;
  for (const fs::path& part : parent) {
    partial /= part;
    struct stat st {};
    if (::stat(partial.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
      continue;
    }
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace pclist
