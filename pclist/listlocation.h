#pragma once
// Where the computer list file lives. A copy of the program in a folder the
// user may write to (a portable copy, a build tree) keeps its list beside the
// executable; an installed copy, whose folder the user cannot write to, keeps
// it in the user's configuration folder.
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

// The file beside the executable (its name with the extension ".ini") when
// the executable's folder is writable by this user; otherwise
// <configHome>/mirelka/mirelka.ini. An empty configHome leaves only the file
// beside the executable.
ListLocation LocateListFile(const std::string& executablePath, const std::string& configHome);

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, else $HOME/.config; empty when neither is known (the list then stays
// beside the executable).
std::string UserConfigHome();

// Creates the missing folders that lead to path, readable by the user alone.
// False when a folder could not be made; the save that follows then reports
// the failure with the file's path.
bool MakeFoldersFor(const std::string& path);

}  // namespace pclist
