#include "link_dns.h"

namespace mirelka::linkdns {
namespace {

constexpr char kLocal[] = "\x05local";
constexpr size_t kLocalSize = sizeof kLocal - 1;
constexpr size_t kMaxWireName = 254;

bool UnderLocal(const dns::WireName& name) {
  return name.size() > kLocalSize && dns::SameName(name.substr(name.size() - kLocalSize), kLocal);
}

}  // namespace

std::optional<dns::WireName> HostName(const Params& p, std::string_view name) {
  if (p.names == Names::kSingleLabel) {
    if (name.find('.') != std::string_view::npos) return std::nullopt;
    return dns::EncodeName(name);
  }
  std::optional<dns::WireName> wire = dns::EncodeName(name);
  if (!wire) return std::nullopt;
  if (UnderLocal(*wire)) return wire;
  const size_t firstLabel = 1 + static_cast<unsigned char>((*wire)[0]);
  if (wire->size() != firstLabel) return std::nullopt;  // another domain: not ours to ask
  *wire += kLocal;
  if (wire->size() > kMaxWireName) return std::nullopt;
  return wire;
}

dns::Question AddressQuestion(const Params& p, const dns::WireName& host) {
  return dns::Question{host, dns::kTypeA, p.questionClass};
}

dns::Question ReverseQuestion(const Params& p, const Ipv4& address) {
  return dns::Question{dns::ReverseName(address), dns::kTypePtr, p.questionClass};
}

std::vector<uint8_t> BuildQuery(uint16_t id, const dns::Question& question) {
  return dns::BuildQuery(id, 0, question.name, question.type, question.qclass);
}

std::optional<Ipv4> ParseAddressReply(const Params& p, const uint8_t* data, size_t size, uint16_t id,
                                      const dns::Question& asked) {
  for (const dns::Record& record : dns::AnswersTo(data, size, id, asked, p.classMask)) {
    if (IsUnicastTarget(record.address)) return record.address;
  }
  return std::nullopt;
}

std::optional<std::string> ParseReverseReply(const Params& p, const uint8_t* data, size_t size, uint16_t id,
                                             const dns::Question& asked) {
  for (const dns::Record& record : dns::AnswersTo(data, size, id, asked, p.classMask)) {
    dns::WireName target = record.target;
    if (dns::IsReverseName(target)) continue;
    if (p.names == Names::kLocal && UnderLocal(target)) target.resize(target.size() - kLocalSize);
    if (std::optional<std::string> text = dns::NameText(target)) return text;
  }
  return std::nullopt;
}

}  // namespace mirelka::linkdns
