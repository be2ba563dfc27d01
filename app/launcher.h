#pragma once
// The file-manager command line, and how it reaches a desktop that has no
// such program.
#include <QByteArray>
#include <functional>
#include <string>

// "explorer.exe /root, /e," followed by the UNC path, joined with nothing between.
std::string ExplorerCommandLine(const std::string& uncPath);

// The user name (UTF-8) that opened a computer (code page 932 name) in this
// session, or empty.
using UserForHost = std::function<std::string(const std::string& host)>;

// The smb:// URL (percent-encoded UTF-8) for the UNC path of such a command
// line; empty when the command line is not one. With userFor, the user who
// opened the computer goes before the host (smb://user@HOST/share,
// "DOMAIN\user" as "DOMAIN;user"); a password never does.
QByteArray SmbUrlForCommandLine(const std::string& commandLine, const UserForHost& userFor = {});

// Hands the command line to the platform; its outcome is not examined.
void StartFileManager(const std::string& commandLine, const UserForHost& userFor = {});
