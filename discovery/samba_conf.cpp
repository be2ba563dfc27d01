#include "samba_conf.h"

#include <QFile>
#include <QString>

#include "ascii.h"
#include "names.h"

namespace discovery {

namespace {

constexpr qint64 kMaxConfigBytes = 1 << 20;

// Parameter names ignore case, blanks and underscores ("work group").
std::string Key(const std::string& text) {
  std::string key;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '_') continue;
    key += mirelka::ascii::Lower(c);
  }
  return key;
}

std::string Trim(const std::string& text) {
  const size_t b = text.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  const size_t e = text.find_last_not_of(" \t\r");
  return text.substr(b, e - b + 1);
}

}  // namespace

std::string SambaWorkgroupFromText(const std::string& text) {
  std::string value = "WORKGROUP";
  bool global = true;  // parameters before any section are global
  std::string line;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    line += text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '\\' && pos <= text.size()) {  // continued on the next line
      line.pop_back();
      continue;
    }
    const std::string l = Trim(line);
    line.clear();
    if (l.empty() || l[0] == '#' || l[0] == ';') continue;
    if (l[0] == '[') {
      const size_t close = l.find(']');
      const std::string section = Key(l.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      global = section == "global";
      continue;
    }
    const size_t eq = l.find('=');
    if (!global || eq == std::string::npos || Key(l.substr(0, eq)) != "workgroup") continue;
    value = Trim(l.substr(eq + 1));
  }
  const std::optional<std::string> bytes = ComputerNameBytes(QString::fromUtf8(value.data(), qsizetype(value.size())));
  return bytes ? *bytes : std::string();
}

std::string SambaWorkgroup(const std::string& path) {
  QFile file(QString::fromLocal8Bit(path.c_str()));
  if (path.empty() || !file.open(QIODevice::ReadOnly)) return {};
  return SambaWorkgroupFromText(file.read(kMaxConfigBytes).toStdString());
}

}  // namespace discovery
