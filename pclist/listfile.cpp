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

// "ファイル " and the endings " は開けません" / " を作成できません" in code page 932.
constexpr std::string_view kFileHead = "\x83\x74\x83\x40\x83\x43\x83\x8b\x20";
constexpr std::string_view kCannotOpenTail = "\x20\x82\xcd\x8a\x4a\x82\xaf\x82\xdc\x82\xb9\x82\xf1";
constexpr std::string_view kCannotCreateTail = "\x20\x82\xf0\x8d\xec\x90\xac\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1";

QString FileName(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// The path as the user's messages show it: local bytes become code page 932,
// characters it cannot hold become "?".
std::string PathForMessage(const std::string& path) {
  const bool ascii = std::all_of(path.begin(), path.end(), [](char c) { return (c & 0x80) == 0; });
  if (ascii) return path;
  return cp932::encodeLossy(FileName(path));
}

Failure FileFailure(const std::string& path, std::string_view tail) {
  std::string text(kFileHead);
  text.append(PathForMessage(path)).append(tail);
  return Failure(text);
}

// Reads a whole regular file. Only regular files are opened: a FIFO would
// block the open, and a device could feed an endless text.
bool ReadWhole(const QFileInfo& info, std::string* out) {
  if (!info.isFile()) return false;
  QFile file(info.filePath());
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return false;
  *out = bytes.toStdString();
  return true;
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

Failure CannotCreate(const std::string& path) { return FileFailure(path, kCannotCreateTail); }

std::optional<std::string> ReadListFile(const std::string& path) {
  const QFileInfo info(FileName(path));
  // Nothing at the path, also when a leading part of it is a file.
  if (!info.exists()) return std::nullopt;
  std::string text;
  if (!ReadWhole(info, &text)) throw FileFailure(path, kCannotOpenTail);
  return text;
}

void WriteListFile(const std::string& path, std::string_view text) {
  if (!ReplaceAtomically(path, text, std::nullopt)) throw CannotCreate(path);
}

bool KeepBackup(const std::string& path) {
  const QFileInfo info(FileName(path));
  std::string text;
  if (!ReadWhole(info, &text)) return false;
  // The copy is as private as the original, whatever an older backup allowed.
  return ReplaceAtomically(BackupPath(path), text, info.permissions());
}

}  // namespace pclist
