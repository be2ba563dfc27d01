// Choosing the list file's folder.
#include "listlocation.h"

#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "pclist.h"

namespace pclist {
namespace {

namespace fs = std::filesystem;

QFileInfo Info(const std::string& path) { return QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))); }

// An absolute path from the environment, or empty.
std::string AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !fs::path(value).is_absolute()) return {};
  return value;
}

}  // namespace

ListLocation LocateListFile(const std::string& executablePath, const std::string& configHome) {
  const std::string beside = ListFilePath(executablePath);
  std::string folder = fs::path(executablePath).parent_path().string();
  if (folder.empty()) folder = ".";
  // Whether this user may create files there; a read-only mount answers no
  // even to root.
  if (Info(folder).isWritable() || configHome.empty()) return {beside, {}};

  ListLocation location{(fs::path(configHome) / "mirelka" / "mirelka.ini").string(), {}};
  const QFileInfo target = Info(location.path);
  const QFileInfo old = Info(beside);
  if (!target.exists() && !target.isSymLink() && old.isFile() && old.isReadable()) location.oldPath = beside;
  return location;
}

std::string UserConfigHome() {
  // Relative values are not valid here and are ignored.
  std::string config = AbsoluteFromEnvironment("XDG_CONFIG_HOME");
  if (!config.empty()) return config;
  const std::string home = AbsoluteFromEnvironment("HOME");
  if (home.empty()) return {};
  return (fs::path(home) / ".config").string();
}

bool MakeFoldersFor(const std::string& path) {
  fs::path partial;
  for (const fs::path& part : fs::path(path).parent_path()) {
    partial /= part;
    std::error_code error;
    if (fs::is_directory(partial, error)) continue;
    if (!fs::create_directory(partial, error)) return false;
    fs::permissions(partial, fs::perms::owner_all, error);
    if (error) return false;
  }
  return true;
}

}  // namespace pclist
