#include "names.h"

#include "address.h"
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

bool Plausible(const QString& name) {
  if (name.isEmpty()) return false;
  for (const QChar c : name) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('\\') || c == QLatin1Char('/')) return false;
  }
  return true;
}

// Names the finding (whose address is set): its bytes, or its IPv4 address
// when code page 932 cannot hold the name. False when it cannot be listed.
bool Name(Finding& finding, const QString& name) {
  finding.text = name.toStdString();
  if (const std::optional<std::string> bytes = ComputerNameBytes(name)) {
    finding.name = *bytes;
    return true;
  }
  if (!Plausible(name) || cp932::CanEncode(name) || !mirelka::ParseDotted(finding.address)) return false;
  finding.name = finding.address;
  return true;
}

}  // namespace

std::optional<std::string> ComputerNameBytes(const QString& name) {
  if (!Plausible(name)) return std::nullopt;
  base::Result<std::string> bytes = cp932::Encode(name);
  if (!bytes || bytes->size() > kMaxNameBytes) return std::nullopt;
  return std::move(bytes).value();
}

std::optional<Finding> WsdFinding(const QString& name, const QString& workgroup, const QHostAddress& address) {
  Finding finding;
  finding.origin = Origin::WsDiscovery;
  finding.address = AddressText(address);
  if (!Name(finding, name)) return std::nullopt;
  if (const std::optional<std::string> group = ComputerNameBytes(workgroup)) finding.workgroup = *group;
  return finding;
}

std::optional<Finding> DnsSdFinding(const QString& hostName, const QHostAddress& address) {
  const QString label = hostName.section(QLatin1Char('.'), 0, 0);
  Finding finding;
  finding.origin = Origin::DnsSd;
  if (!address.isNull()) finding.address = AddressText(address);
  if (!Name(finding, label)) return std::nullopt;
  return finding;
}

std::optional<std::string> BrowseListName(const std::string& entry) {
  std::string name = cp932::RemoveBackslashes(entry);
  if (name.empty() || name.size() > kMaxNameBytes) return std::nullopt;
  // Bytes below 0x40 are never the second byte of a double-byte character.
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '/') return std::nullopt;
  return name;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && cp932::UpperAscii(a) == cp932::UpperAscii(b);
}

}  // namespace discovery
