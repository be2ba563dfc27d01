#include "session.h"

#include <utility>

#include "listlocation.h"
#include "pclist.h"

namespace pclist {

ListSession::ListSession(std::string path, std::string oldPath)
    : path_(std::move(path)), oldPath_(std::move(oldPath)) {}

const std::string& ListSession::Source() const { return oldPath_.empty() ? path_ : oldPath_; }

void ListSession::Failed(bool rowsLoaded) {
  failed_ = true;
  rowsLoaded_ = rowsLoaded;
}

void ListSession::Save(std::string_view text) const {
  if (failed_ && oldPath_.empty() && !KeepBackup(path_)) throw CannotCreate(BackupPath(path_));
  MakeFoldersFor(path_);  // a failure shows in the write's message
  WriteListFile(path_, text);
}

}  // namespace pclist
