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

base::Status ListSession::Save(std::string_view text) const {
  if (failed_ && oldPath_.empty()) {
    if (base::Status kept = KeepBackup(path_); !kept) return kept;
  }
  MakeFoldersFor(path_);  // a failure shows in the write's message
  return WriteListFile(path_, text);
}

}  // namespace pclist
