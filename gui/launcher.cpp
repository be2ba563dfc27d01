#include "launcher.h"

#include <QUrl>
#include <vector>

#include "cp932.h"
#include "smb_auth.h"

namespace {
constexpr std::string_view kExplorer = "explorer.exe";
constexpr std::string_view kOptions = " /root, /e,";

// The parts of a UNC path without its leading "\\", split at single-byte
// backslashes only: in code page 932 a 0x5C trail byte is part of its
// character, and in UTF-8 no byte of a longer character is 0x5C.
std::vector<std::string> Components(const std::string& path, bool codePage932) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < path.size(); ++i) {
    const auto b = static_cast<unsigned char>(path[i]);
    if (codePage932 && cp932::IsLeadByte(b) && i + 1 < path.size()) {
      parts.back() += path[i];
      parts.back() += path[++i];
    } else if (b == '\\') {
      parts.emplace_back();
    } else {
      parts.back() += path[i];
    }
  }
  return parts;
}
}  // namespace

std::string UncPath(const std::string& computer, const std::string* share) {
  std::string path = "\\\\" + computer;
  if (share) path += "\\" + *share;
  return path;
}

std::string ExplorerCommandLine(const std::string& uncPath) {
  std::string line(kExplorer);
  line += kOptions;
  line += uncPath;
  return line;
}

std::string UncPathOfCommandLine(const std::string& commandLine) {
  const std::string prefix = std::string(kExplorer) + std::string(kOptions);
  if (commandLine.compare(0, prefix.size(), prefix) != 0) return {};
  std::string path = commandLine.substr(prefix.size());
  if (path.compare(0, 2, "\\\\") != 0) return {};
  return path;
}

QByteArray SmbUrlForCommandLine(const std::string& commandLine, const UserForHost& userFor,
                                const std::string& uncText) {
  const std::string path = UncPathOfCommandLine(commandLine);
  if (path.empty()) return {};
  const std::vector<std::string> bytes = Components(path.substr(2), true);
  std::vector<std::string> text;
  if (uncText.empty()) {
    for (const std::string& part : bytes) text.push_back(cp932::ToUtf8(part));
  } else {
    if (uncText.compare(0, 2, "\\\\") != 0) return {};
    text = Components(uncText.substr(2), false);
  }

  // Every component is data: percent-encoded, never interpreted. The peer's
  // text goes as its bytes are, so even a name that is no valid UTF-8 is
  // asked for as the server gave it.
  QByteArray url("smb:/");
  for (size_t i = 0; i < text.size(); ++i) {
    url += '/';
    if (i == 0 && userFor) {
      if (const std::string user = userFor(bytes.front()); !user.empty()) {
        // the URL form of DOMAIN\user: DOMAIN;user
        const netinfo::DomainUser split = netinfo::SplitDomainUser(user);
        const std::string name = split.domain.empty() ? user : split.domain + ';' + split.user;
        url += QUrl::toPercentEncoding(QString::fromStdString(name), ";") + '@';
      }
    }
    url += QByteArray::fromStdString(text[i]).toPercentEncoding();
  }
  return url;
}
