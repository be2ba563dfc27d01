// The list file's folders on Windows: the roaming application data folder,
// and a real try at the program's own folder. Qt answers a folder's
// writability from its read-only attribute alone, which says nothing about
// who may write under Program Files.
#include <windows.h>
#include <shlobj.h>

#include <QFile>
#include <QString>
#include <QTemporaryFile>

#include "listlocation.h"

namespace pclist {

std::string UserConfigHome() {
  wchar_t* path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path && *path)
    folder = QFile::encodeName(QString::fromWCharArray(path)).toStdString();
  CoTaskMemFree(path);
  return folder;
}

bool FolderWritable(const std::string& folder) {
  // Created and removed at once, hidden meanwhile by its leading dot only to
  // other programs' listings that honour it.
  QTemporaryFile probe(QFile::decodeName(QByteArray::fromStdString(folder)) + QStringLiteral("/.mirelka-XXXXXX"));
  return probe.open();
}

}  // namespace pclist
