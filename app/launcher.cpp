#include "launcher.h"

#include <QUrl>

#include "cp932.h"
#include "smb_auth.h"

namespace {
constexpr std::string_view kExplorer = "explorer.exe";
constexpr std::string_view kOptions = " /root, /e,";
}  // namespace

std::string ExplorerCommandLine(const std::string& uncPath) {
  std::string line(kExplorer);
  line += kOptions;
  line += uncPath;
  return line;
}

QByteArray SmbUrlForCommandLine(const std::string& commandLine, const UserForHost& userFor) {
  const std::string prefix = std::string(kExplorer) + std::string(kOptions);
  if (commandLine.compare(0, prefix.size(), prefix) != 0) return {};
  std::string path = commandLine.substr(prefix.size());
  if (path.compare(0, 2, "\\\\") != 0) return {};
  path.erase(0, 2);

  // Split at single-byte backslashes only: a 0x5C trail byte is part of its
  // character. Every component is data: percent-encoded, never interpreted.
  QByteArray url("smb:/");
  std::string part;
  bool host = true;
  auto flush = [&] {
    url += '/';
    if (host && userFor) {
      if (const std::string user = userFor(part); !user.empty()) {
        // the URL form of DOMAIN\user: DOMAIN;user
        const netinfo::DomainUser split = netinfo::SplitDomainUser(user);
        const std::string text = split.domain.empty() ? user : split.domain + ';' + split.user;
        url += QUrl::toPercentEncoding(QString::fromStdString(text), ";") + '@';
      }
    }
    host = false;
    url += QUrl::toPercentEncoding(cp932::decode(part));
    part.clear();
  };
  for (size_t i = 0; i < path.size(); ++i) {
    const auto b = static_cast<unsigned char>(path[i]);
    if (cp932::isLeadByte(b) && i + 1 < path.size()) {
      part += path[i];
      part += path[++i];
    } else if (b == '\\') {
      flush();
    } else {
      part += path[i];
    }
  }
  flush();
  return url;
}
