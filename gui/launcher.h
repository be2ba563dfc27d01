#pragma once
// The file-manager command line, and how it reaches a desktop that has no
// such program.
#include <QByteArray>
#include <functional>
#include <string>

// The UNC path of a share tree node: two backslashes and the computer's
// name, then, for a share, a backslash and the share's name.
std::string UncPath(const std::string& computer, const std::string* share);

// "explorer.exe /root, /e," followed by the UNC path, joined with nothing between.
std::string ExplorerCommandLine(const std::string& uncPath);

// The user name (UTF-8) that opened a computer (code page 932 name) in this
// session, or empty.
using UserForHost = std::function<std::string(const std::string& host)>;

// The smb:// URL (percent-encoded UTF-8) for the UNC path of such a command
// line; empty when the command line is not one. uncText, when given, is the
// same path as the peers name it (UTF-8): the URL is built from it, since
// the command line's code page 932 cannot hold every share name. With
// userFor, the user who opened the computer goes before the host
// (smb://user@HOST/share, "DOMAIN\user" as "DOMAIN;user"); a password never does.
QByteArray SmbUrlForCommandLine(const std::string& commandLine, const UserForHost& userFor = {},
                                const std::string& uncText = {});

// The UNC path of such a command line, as code page 932 bytes; empty when
// the command line is not one.
std::string UncPathOfCommandLine(const std::string& commandLine);

// The Windows shell's call (ShellExecuteW) as the Windows backend makes it:
// the verb and the file, UTF-16.
using ShellExecuteCall = std::function<void(const std::wstring& verb, const std::wstring& file)>;
// StartFileManager of the Windows backend, through the given call.
void StartFileManagerWith(const ShellExecuteCall& shell, const std::string& commandLine, const std::string& uncText);

// Hands the command line, or the path as the peers name it (uncText, UTF-8;
// may be empty), to the platform; its outcome is not examined.
void StartFileManager(const std::string& commandLine, const std::string& uncText, const UserForHost& userFor = {});
