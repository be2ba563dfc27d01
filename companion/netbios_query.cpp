#include "netbios_query.h"

#include <vector>

#include "netbios.h"

namespace mirelka::netbios {

std::optional<Asking> AskName(std::string_view name, const std::vector<Ipv4>& broadcasts, std::optional<Ipv4>& found) {
  const std::optional<Name> wanted = MakeName(name, kWorkstation);
  if (!wanted || broadcasts.empty()) return std::nullopt;
  Asking asking;
  asking.broadcast = true;
  const uint16_t id = NewTransactionId();
  asking.packet = BuildNameQuery(id, *wanted, true);
  for (const Ipv4& to : broadcasts) asking.targets.push_back({to, kPort, std::nullopt});
  asking.accept = [&found, id, name = *wanted](const Datagram& d) {
    const std::vector<Ipv4> addresses = ParseNameQueryReply(d.data, d.size, id, name);
    if (addresses.empty()) return false;
    found = addresses.front();
    return true;
  };
  return asking;
}

std::optional<Asking> AskComputerName(const Ipv4& address, std::optional<std::string>& found) {
  if (!IsUnicastTarget(address)) return std::nullopt;
  Asking asking;
  const uint16_t id = NewTransactionId();
  asking.packet = BuildNodeStatusQuery(id);
  asking.targets.push_back({address, kPort, std::nullopt});
  asking.accept = [&found, id, address](const Datagram& d) {
    if (d.from != address) return false;  // only the asked computer speaks for itself
    found = PickComputerName(ParseNodeStatusReply(d.data, d.size, id));
    return found.has_value();
  };
  return asking;
}

}  // namespace mirelka::netbios
