// Choosing the list file's folder.
#include "listlocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <filesystem>
#include <system_error>

#include "pclist.h"

namespace pclist {
namespace {

namespace fs = std::filesystem;

QFileInfo Info(const std::string& path) { return QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))); }

}  // namespace

ListLocation LocateListFile(const std::string& executablePath, const std::string& configHome, Copy copy) {
  const std::string beside = ListFilePath(executablePath);
  std::string folder = fs::path(executablePath).parent_path().string();
  if (folder.empty()) folder = ".";
  if (configHome.empty()) return {beside, {}};
  // Whether this user may create files there; a read-only mount answers no
  // even to root.
  if (copy == Copy::kPortable && Info(folder).isWritable()) return {beside, {}};

  ListLocation location{(fs::path(configHome) / "mirelka" / "mirelka.ini").string(), {}};
  const QFileInfo target = Info(location.path);
  const QFileInfo old = Info(beside);
  if (!target.exists() && !target.isSymLink() && old.isFile() && old.isReadable()) location.oldPath = beside;
  return location;
}

std::string UserConfigHome() {
  // Without a home Qt answers the root folder.
  const QString home = QDir::homePath();
  if (home == QDir::rootPath()) return {};
  QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  // Qt 6.4 passes a relative $XDG_CONFIG_HOME through; the XDG rules say to ignore it.
  if (QDir::isRelativePath(folder)) folder = home + QStringLiteral("/.config");
  return QFile::encodeName(folder).toStdString();
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
