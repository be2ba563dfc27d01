// The list file's folders on POSIX desktops: the XDG configuration folder,
// and the access() answer for the program's own folder.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "listlocation.h"

namespace pclist {

std::string UserConfigHome() {
  // Without a home Qt answers the root folder.
  const QString home = QDir::homePath();
  if (home == QDir::rootPath()) return {};
  QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  // Qt 6.4 passes a relative $XDG_CONFIG_HOME through; the XDG rules say to ignore it.
  if (QDir::isRelativePath(folder)) folder = home + QStringLiteral("/.config");
  return QFile::encodeName(folder).toStdString();
}

bool FolderWritable(const std::string& folder) {
  return QFileInfo(QFile::decodeName(QByteArray::fromStdString(folder))).isWritable();
}

}  // namespace pclist
