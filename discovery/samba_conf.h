#pragma once
// The workgroup of the local Samba configuration, read from its file: the
// "workgroup" parameter of [global], or Samba's own default when the file
// sets none. Empty when there is no readable file.
//
// Read here rather than asked of libsmbclient, which loads the same file for
// every context: the path is a seam (tests, platforms without Samba), and with
// no file at all the library answers its built-in WORKGROUP, which cannot be
// told from a configured one, where this answers nothing. The library also
// reads ~/.smb/smb.conf before the system file, follows "include" lines and
// upper-cases the name; this reads the system file alone and keeps the case.
#include <string>

namespace discovery {

// Where this platform keeps it; empty where there is none (platform_*.cpp).
extern const char* const kSambaConfigPath;

// Code page 932 bytes.
std::string SambaWorkgroup(const std::string& path);
// The same, from the file's text.
std::string SambaWorkgroupFromText(const std::string& text);

}  // namespace discovery
