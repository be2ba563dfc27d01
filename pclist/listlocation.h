#pragma once
// Where the computer list file lives. A copy of the program in a folder the
// user may write to (a portable copy, a build tree) keeps its list beside the
// executable; any other keeps it in the user's configuration folder, and so
// does the installed program always, even run by root, who may write to
// /usr/bin: that is no place for a user's data.
#include <string>

namespace pclist {

struct ListLocation {
  // The list file: read at start-up, replaced at shutdown.
  std::string path;
  // A list left beside the executable by an earlier copy, read at start-up
  // instead of path while path does not exist yet; empty when there is none.
  // It is never written: the next save goes to path.
  std::string oldPath;
};

// Which copy of the program is running: the one the install puts in place
// (linked for it alone), or a build tree's or an unpacked portable one.
enum class Copy { kPortable, kInstalled };

// <configHome>/mirelka/mirelka.ini for the installed copy, and for another
// whose folder this user may not write to; otherwise the file beside the
// executable (its name with the extension ".ini"). An empty configHome leaves
// only the file beside the executable.
ListLocation LocateListFile(const std::string& executablePath, const std::string& configHome,
                            Copy copy = Copy::kPortable);

// The user's configuration folder: on Windows the roaming application data
// folder (%APPDATA%, which follows the user from desk to desk); elsewhere
// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config. Empty when
// none is known (the list then stays beside the executable).
std::string UserConfigHome();

// Whether this user may create files in folder. A read-only mount answers no
// even to root; on Windows the folder's access rules decide (a copy under
// Program Files is not the user's to write to).
bool FolderWritable(const std::string& folder);

// Creates the missing folders that lead to path, readable by the user alone.
// False when a folder could not be made; the save that follows then reports
// the failure with the file's path.
bool MakeFoldersFor(const std::string& path);

}  // namespace pclist
