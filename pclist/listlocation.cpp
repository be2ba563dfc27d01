// Choosing the list file's folder.
#include "listlocation.h"

#include <QFile>
#include <QFileInfo>
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
  if (copy == Copy::kPortable && FolderWritable(folder)) return {beside, {}};

  ListLocation location{(fs::path(configHome) / "mirelka" / "mirelka.ini").string(), {}};
  const QFileInfo target = Info(location.path);
  const QFileInfo old = Info(beside);
  if (!target.exists() && !target.isSymLink() && old.isFile() && old.isReadable()) location.oldPath = beside;
  return location;
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
