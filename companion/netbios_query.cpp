#include "netbios_query.h"

#include <vector>

#include "netbios.h"

namespace mirelka::netbios {
namespace {

// Every name service answers from its own port 137, as the link protocols
// answer from theirs; anything else is some other program's.
bool FromNameService(const Datagram& d) { return d.port == kPort; }

}  // namespace

std::optional<Asking> AskName(std::string_view name, const std::vector<sock::LinkAddress>& links,
                              std::optional<Ipv4>& found) {
  const std::optional<Name> wanted = MakeName(name, kWorkstation);
  const std::vector<Ipv4> broadcasts = BroadcastTargets(links);
  if (!wanted || broadcasts.empty()) return std::nullopt;
  Asking asking;
  asking.broadcast = true;
  const uint16_t id = NewTransactionId();
  asking.packet = BuildNameQuery(id, *wanted, true);
  for (const Ipv4& to : broadcasts) asking.targets.push_back({to, kPort, std::nullopt});
  asking.accept = [&found, id, name = *wanted, links](const Datagram& d) {
    if (!FromNameService(d) || !OnLink(links, d.from)) return false;
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
    if (d.from != address || !FromNameService(d)) return false;  // only the asked computer speaks for itself
    found = PickComputerName(ParseNodeStatusReply(d.data, d.size, id));
    return found.has_value();
  };
  return asking;
}

}  // namespace mirelka::netbios
