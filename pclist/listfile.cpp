// Reading and replacing the list file through Qt's files. A save never leaves
// a truncated list: QSaveFile writes a temporary file beside the target and
// renames it over the old file only once all of the text is in.
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <string>

#include "cp932.h"
#include "pclist.h"

namespace pclist {
namespace {

QString FileName(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// The path as the user's messages show it: local bytes become code page 932,
// characters it cannot hold become "?".
std::string PathForMessage(const std::string& path) {
  const bool ascii = std::all_of(path.begin(), path.end(), [](char c) { return (c & 0x80) == 0; });
  if (ascii) return path;
  return cp932::EncodeLossy(FileName(path));
}

// Reads the whole regular file at path (info) of at most kMaxFileBytes,
// failing with kCannotOpen or kTooBig. Only regular files are opened: a FIFO
// would block the open, and a device could feed an endless text. A file that
// grows past the cap while it is read is too big all the same.
base::Result<std::string> ReadWhole(const std::string& path, const QFileInfo& info) {
  if (!info.isFile()) return CannotOpen(path);
  if (info.size() > kMaxFileBytes) return FileFailure(PathForMessage(path), FileProblem::kTooBig);
  QFile file(info.filePath());
  if (!file.open(QIODevice::ReadOnly)) return CannotOpen(path);
  const QByteArray bytes = file.read(kMaxFileBytes + 1);
  if (file.error() != QFileDevice::NoError) return CannotOpen(path);
  if (bytes.size() > kMaxFileBytes) return FileFailure(PathForMessage(path), FileProblem::kTooBig);
  return bytes.toStdString();
}

// Writes text to a temporary file beside path and renames it over path. The
// new file gets permissions, else those of the file it replaces, else 0666
// less the umask. On failure the temporary file is removed and path is
// untouched.
bool ReplaceAtomically(const std::string& path, std::string_view text,
                       std::optional<QFileDevice::Permissions> permissions) {
  QSaveFile file(FileName(path));
  // Unbuffered: a full disk fails the write itself, not a flush at commit.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
  // Set before the text goes in, so a private list is never readable by others.
  if (permissions && !file.setPermissions(*permissions)) return false;
  const auto size = static_cast<qint64>(text.size());
  if (file.write(text.data(), size) != size) return false;
  return file.commit();
}

}  // namespace

base::Failure CannotCreate(const std::string& path) {
  return FileFailure(PathForMessage(path), FileProblem::kCannotCreate);
}
base::Failure CannotOpen(const std::string& path) {
  return FileFailure(PathForMessage(path), FileProblem::kCannotOpen);
}

base::Result<std::optional<std::string>> ReadListFile(const std::string& path) {
  const QFileInfo info(FileName(path));
  // Nothing at the path, also when a leading part of it is a file.
  if (!info.exists()) return std::optional<std::string>();
  base::Result<std::string> text = ReadWhole(path, info);
  if (!text) return text.failure();
  return std::optional<std::string>(std::move(text).value());
}

base::Status WriteListFile(const std::string& path, std::string_view text) {
  if (!ReplaceAtomically(path, text, std::nullopt)) return CannotCreate(path);
  return base::Ok();
}

base::Status KeepBackup(const std::string& path) {
  const QFileInfo info(FileName(path));
  const base::Result<std::string> text = ReadWhole(path, info);
  const std::string backup = BackupPath(path);
  // The copy is as private as the original, whatever an older backup allowed.
  if (!text || !ReplaceAtomically(backup, *text, info.permissions())) return CannotCreate(backup);
  return base::Ok();
}

}  // namespace pclist
