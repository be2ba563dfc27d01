#pragma once
// The file-manager command line, and how it reaches a desktop that has no
// such program.
#include <QByteArray>
#include <string>

// "explorer.exe /root, /e," followed by the UNC path, joined with nothing between.
std::string ExplorerCommandLine(const std::string& uncPath);

// The smb:// URL (percent-encoded UTF-8) for the UNC path of such a command
// line; empty when the command line is not one.
QByteArray SmbUrlForCommandLine(const std::string& commandLine);

// Hands the command line to the platform; its outcome is not examined.
void StartFileManager(const std::string& commandLine);
