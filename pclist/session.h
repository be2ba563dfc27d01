#pragma once
// The list file over one run of the program: what start-up loaded decides
// whether shutdown replaces the file and whether it keeps a backup first.
//
// A list that was never read, or could not be read, is not replaced; one
// whose rows were read up to a bad count line is kept under BackupPath
// before the rows replace it. An old list read from elsewhere is not
// replaced by the save and needs no backup.
#include <string>
#include <string_view>

#include "result.h"

namespace pclist {

class ListSession {
 public:
  // path: the list file; oldPath: read instead while path does not exist,
  // never written (empty: none).
  ListSession(std::string path, std::string oldPath);

  // The file read at start-up.
  const std::string& Source() const;

  // Start-up reached the file.
  void Attempted() { attempted_ = true; }
  // The load failed; rowsLoaded: its rows reached the list before it did.
  void Failed(bool rowsLoaded);

  // Whether shutdown saves the list.
  bool Saves() const { return attempted_ && (!failed_ || rowsLoaded_); }
  // Replaces the file with text, keeping the backup first where one is due.
  // Fails with CannotCreate of the backup (the file is then left as it was)
  // or of the file.
  base::Status Save(std::string_view text) const;

 private:
  std::string path_;
  std::string oldPath_;
  bool attempted_ = false;
  bool failed_ = false;
  bool rowsLoaded_ = false;
};

}  // namespace pclist
