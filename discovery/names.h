#pragma once
// Names that other computers announce, turned into findings. A name is taken
// only when it is a plausible computer name: not empty, no control
// characters, no "\" or "/", and as code page 932 at most 63 bytes. A name
// code page 932 cannot hold still lists the computer, under its IPv4 address,
// with the name the peer sent beside it.
#include <QHostAddress>
#include <QString>
#include <optional>
#include <string>

#include "source.h"

namespace discovery {

// The name as code page 932 bytes, or nothing when it is not acceptable.
std::optional<std::string> ComputerNameBytes(const QString& name);

// A WS-Discovery computer; a workgroup that is not acceptable counts as unknown.
std::optional<Finding> WsdFinding(const QString& name, const QString& workgroup, const QHostAddress& address);

// A DNS-SD host name ("pc.local." or "pc.local") as a computer name: its
// first label.
std::optional<Finding> DnsSdFinding(const QString& hostName, const QHostAddress& address);

// A browse list entry ("\\NAME", bytes) as a computer name, by the same
// rules: a control byte could split a line of the list file.
std::optional<std::string> BrowseListName(const std::string& entry);

// Whether two names or workgroups are the same one: ASCII letters compare
// without case, the second byte of a double-byte character as it is.
bool SameName(const std::string& a, const std::string& b);

}  // namespace discovery
