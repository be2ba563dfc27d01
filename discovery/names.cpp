#include "names.h"

#include "cp932.h"

namespace discovery {

namespace {

constexpr size_t kMaxNameBytes = 63;

std::string AddressText(const QHostAddress& address) {
  QHostAddress plain = address;
  // An IPv4 address that arrived on a dual-stack socket reads as IPv4.
  bool ok = false;
  const quint32 v4 = plain.toIPv4Address(&ok);
  if (ok) plain = QHostAddress(v4);
  return plain.toString().toStdString();
}

}  // namespace

std::optional<std::string> ComputerNameBytes(const QString& name) {
  if (name.isEmpty()) return std::nullopt;
  for (const QChar c : name) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('\\') || c == QLatin1Char('/'))
      return std::nullopt;
  }
  std::string bytes;
  if (!cp932::encode(name, &bytes) || bytes.size() > kMaxNameBytes) return std::nullopt;
  return bytes;
}

std::optional<Finding> WsdFinding(const QString& name, const QString& workgroup, const QHostAddress& address) {
  const std::optional<std::string> bytes = ComputerNameBytes(name);
  if (!bytes) return std::nullopt;
  Finding finding;
  finding.origin = Origin::WsDiscovery;
  finding.name = *bytes;
  finding.address = AddressText(address);
  if (const std::optional<std::string> group = ComputerNameBytes(workgroup)) finding.workgroup = *group;
  return finding;
}

std::optional<Finding> DnsSdFinding(const QString& hostName, const QHostAddress& address) {
  const QString label = hostName.section(QLatin1Char('.'), 0, 0);
  const std::optional<std::string> bytes = ComputerNameBytes(label);
  if (!bytes) return std::nullopt;
  Finding finding;
  finding.origin = Origin::DnsSd;
  finding.name = *bytes;
  if (!address.isNull()) finding.address = AddressText(address);
  return finding;
}

std::optional<std::string> BrowseListName(const std::string& entry) {
  std::string name = cp932::removeBackslashes(entry);
  if (name.empty() || name.size() > kMaxNameBytes) return std::nullopt;
  // Bytes below 0x40 are never the second byte of a double-byte character.
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '/') return std::nullopt;
  return name;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && cp932::upperAscii(a) == cp932::upperAscii(b);
}

}  // namespace discovery
