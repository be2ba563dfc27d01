#pragma once
// The workgroup of the local Samba configuration, read from its file: the
// "workgroup" parameter of [global], or Samba's own default when the file
// sets none. Empty when there is no readable file.
#include <string>

namespace discovery {

// Where this platform keeps it; empty where there is none (platform_*.cpp).
extern const char* const kSambaConfigPath;

// Code page 932 bytes.
std::string SambaWorkgroup(const std::string& path);
// The same, from the file's text.
std::string SambaWorkgroupFromText(const std::string& text);

}  // namespace discovery
