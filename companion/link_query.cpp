#include "link_query.h"

#include <chrono>
#include <utility>
#include <vector>

#include "exchange.h"
#include "link_dns.h"
#include "netbios_query.h"
#include "sock.h"

namespace mirelka {
namespace {

// NetBIOS goes first, the other questions a millisecond later. A computer
// that NetBIOS knows answers within that millisecond on a LAN, and then the
// others never go out: a multicast question wakes every receiver on the
// link, and on the test LAN (a software bridge) it costs the sender the
// delivery of every copy, which made a NetBIOS-known name measurably slower
// (0.36 against 0.28 ms a lookup) when all three left together.
constexpr std::chrono::milliseconds kNetbiosHeadStart{1};

using Links = std::vector<sock::LinkAddress>;

std::vector<Asking::Target> ToGroup(const Links& links, const Ipv4& group, uint16_t port) {
  std::vector<Asking::Target> targets;
  for (const sock::LinkAddress& link : links) targets.push_back({group, port, link.address});
  return targets;
}

// A question to a multicast group; an answer counts only from the group's
// port and from a neighbour on one of the links.
template <typename Parse, typename Result>
std::optional<Asking> AskGroup(const Links& links, const Ipv4& group, uint16_t port, int ttl,
                               const dns::Question& question, std::vector<uint8_t> packet, uint16_t id, Parse parse,
                               std::optional<Result>& found) {
  if (links.empty()) return std::nullopt;
  Asking asking;
  asking.multicastTtl = ttl;
  asking.packet = std::move(packet);
  asking.targets = ToGroup(links, group, port);
  asking.accept = [&found, links, port, question, id, parse](const Datagram& d) {
    if (d.port != port || !OnLink(links, d.from)) return false;
    std::optional<Result> answer = parse(d.data, d.size, id, question);
    if (!answer) return false;
    found = std::move(answer);
    return true;
  };
  return asking;
}

// A question sent to the computer at address itself; only that address may
// answer, from the protocol's port. A reverse name is asked this way: the
// computer knows its own name best, and no other can speak for it.
template <typename Parse, typename Result>
Asking AskComputer(const Ipv4& address, uint16_t port, const dns::Question& question, std::vector<uint8_t> packet,
                   uint16_t id, Parse parse, std::optional<Result>& found) {
  Asking asking;
  asking.packet = std::move(packet);
  asking.targets.push_back({address, port, std::nullopt});
  asking.accept = [&found, address, port, question, id, parse](const Datagram& d) {
    if (d.from != address || d.port != port) return false;
    std::optional<Result> answer = parse(d.data, d.size, id, question);
    if (!answer) return false;
    found = std::move(answer);
    return true;
  };
  return asking;
}

void Add(std::vector<Asking>& askings, std::optional<Asking> asking) {
  if (asking) askings.push_back(std::move(*asking));
}

// The questions after askings[0] wait when that one is NetBIOS's.
void GiveNetbiosItsHeadStart(std::vector<Asking>& askings, bool netbiosAsked) {
  if (!netbiosAsked) return;
  for (size_t i = 1; i < askings.size(); ++i) askings[i].delay = kNetbiosHeadStart;
}

}  // namespace

std::optional<Ipv4> AskLinkForAddress(std::string_view name, LinkProtocol* answeredBy) {
  std::optional<Ipv4> found;
  std::vector<LinkProtocol> protocols;
  const Links all = sock::LinkAddresses();
  const Links links = MulticastLinks(all);
  std::vector<Asking> askings;
  Add(askings, netbios::AskName(name, all, found));
  const bool netbiosAsked = !askings.empty();
  protocols.resize(askings.size(), LinkProtocol::kNetbios);
  if (std::optional<dns::WireName> host = mdns::HostName(name)) {
    const uint16_t id = NewTransactionId();
    const dns::Question question = mdns::AddressQuestion(*host);
    Add(askings, AskGroup(links, mdns::kGroup, mdns::kPort, mdns::kTtl, question, mdns::BuildQuery(id, question), id,
                          mdns::ParseAddressReply, found));
    protocols.resize(askings.size(), LinkProtocol::kMdns);
  }
  if (std::optional<dns::WireName> host = llmnr::HostName(name)) {
    const uint16_t id = NewTransactionId();
    const dns::Question question = llmnr::AddressQuestion(*host);
    Add(askings, AskGroup(links, llmnr::kGroup, llmnr::kPort, llmnr::kTtl, question, llmnr::BuildQuery(id, question),
                          id, llmnr::ParseAddressReply, found));
    protocols.resize(askings.size(), LinkProtocol::kLlmnr);
  }
  // Which asking took the answer: its protocol says how far to trust it.
  for (size_t i = 0; i < askings.size(); ++i) {
    askings[i].accept = [accept = std::move(askings[i].accept), protocol = protocols[i],
                         answeredBy](const Datagram& d) {
      if (!accept(d)) return false;
      if (answeredBy) *answeredBy = protocol;
      return true;
    };
  }
  GiveNetbiosItsHeadStart(askings, netbiosAsked);
  AskAtOnce(askings, kNameTiming);
  return found;
}

std::optional<std::string> AskLinkForName(const Ipv4& address) {
  if (!IsUnicastTarget(address)) return std::nullopt;
  std::optional<std::string> found;
  std::vector<Asking> askings;
  Add(askings, netbios::AskComputerName(address, found));
  const bool netbiosAsked = !askings.empty();
  {
    const uint16_t id = NewTransactionId();
    const dns::Question question = mdns::ReverseQuestion(address);
    askings.push_back(AskComputer(address, mdns::kPort, question, mdns::BuildQuery(id, question), id,
                                  mdns::ParseReverseReply, found));
  }
  {
    const uint16_t id = NewTransactionId();
    const dns::Question question = llmnr::ReverseQuestion(address);
    askings.push_back(AskComputer(address, llmnr::kPort, question, llmnr::BuildQuery(id, question), id,
                                  llmnr::ParseReverseReply, found));
  }
  GiveNetbiosItsHeadStart(askings, netbiosAsked);
  AskAtOnce(askings, kAddressTiming);
  return found;
}

}  // namespace mirelka
