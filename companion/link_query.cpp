#include "link_query.h"

#include <utility>
#include <vector>

#include "exchange.h"
#include "llmnr.h"
#include "mdns.h"
#include "netbios_query.h"
#include "sock.h"

namespace mirelka {
namespace {

// Multicast DNS packets carry the hop limit 255, so that a receiver can tell
// they were not forwarded; LLMNR queries stay on the link with 1.
constexpr int kMdnsTtl = 255;
constexpr int kLlmnrTtl = 1;

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
                               const dns::Question& question, std::vector<uint8_t> packet, uint16_t id,
                               Parse parse, std::optional<Result>& found) {
  if (links.empty()) return std::nullopt;
  Asking asking;
  asking.socket = AskingSocket(false, ttl);
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

void Add(std::vector<Asking>& askings, std::optional<Asking> asking) {
  if (asking) askings.push_back(std::move(*asking));
}

}  // namespace

std::optional<Ipv4> AskLinkForAddress(std::string_view name) {
  std::optional<Ipv4> found;
  const Links links = sock::MulticastInterfaces();
  std::vector<Asking> askings;
  Add(askings, netbios::AskName(name, found));
  if (std::optional<dns::WireName> host = mdns::HostName(name)) {
    const uint16_t id = NewTransactionId();
    const dns::Question question = mdns::AddressQuestion(*host);
    Add(askings, AskGroup(links, mdns::kGroup, mdns::kPort, kMdnsTtl, question, mdns::BuildQuery(id, question), id,
                          mdns::ParseAddressReply, found));
  }
  if (std::optional<dns::WireName> host = llmnr::HostName(name)) {
    const uint16_t id = NewTransactionId();
    const dns::Question question = llmnr::AddressQuestion(*host);
    Add(askings, AskGroup(links, llmnr::kGroup, llmnr::kPort, kLlmnrTtl, question, llmnr::BuildQuery(id, question),
                          id, llmnr::ParseAddressReply, found));
  }
  AskAtOnce(askings);
  return found;
}

std::optional<std::string> AskLinkForName(const Ipv4& address) {
  if (!IsUnicastTarget(address)) return std::nullopt;
  std::optional<std::string> found;
  const Links links = sock::MulticastInterfaces();
  std::vector<Asking> askings;
  Add(askings, netbios::AskComputerName(address, found));
  {
    const uint16_t id = NewTransactionId();
    const dns::Question question = mdns::ReverseQuestion(address);
    Add(askings, AskGroup(links, mdns::kGroup, mdns::kPort, kMdnsTtl, question, mdns::BuildQuery(id, question), id,
                          mdns::ParseReverseReply, found));
  }
  {
    // A reverse question goes to the address itself, and only it may answer.
    Asking asking;
    asking.socket = AskingSocket(false);
    const uint16_t id = NewTransactionId();
    const dns::Question question = llmnr::ReverseQuestion(address);
    asking.packet = llmnr::BuildQuery(id, question);
    asking.targets.push_back({address, llmnr::kPort, std::nullopt});
    asking.accept = [&found, address, id, question](const Datagram& d) {
      if (d.from != address || d.port != llmnr::kPort) return false;
      found = llmnr::ParseReverseReply(d.data, d.size, id, question);
      return found.has_value();
    };
    askings.push_back(std::move(asking));
  }
  AskAtOnce(askings);
  return found;
}

}  // namespace mirelka
