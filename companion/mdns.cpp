#include "mdns.h"

namespace mirelka::mdns {
namespace {

constexpr char kLocal[] = "\x05local";
constexpr size_t kLocalSize = sizeof kLocal - 1;

bool UnderLocal(const dns::WireName& name) {
  return name.size() > kLocalSize && dns::SameName(name.substr(name.size() - kLocalSize), kLocal);
}

}  // namespace

std::optional<dns::WireName> HostName(std::string_view name) {
  std::optional<dns::WireName> wire = dns::EncodeName(name);
  if (!wire) return std::nullopt;
  if (UnderLocal(*wire)) return wire;
  const size_t firstLabel = 1 + static_cast<unsigned char>((*wire)[0]);
  if (wire->size() != firstLabel) return std::nullopt;  // another domain: not ours to ask
  *wire += kLocal;
  if (wire->size() > 254) return std::nullopt;
  return wire;
}

dns::Question AddressQuestion(const dns::WireName& host) {
  return dns::Question{host, dns::kTypeA, dns::kClassIn | kUnicastResponse};
}

dns::Question ReverseQuestion(const Ipv4& address) {
  return dns::Question{dns::ReverseName(address), dns::kTypePtr, dns::kClassIn | kUnicastResponse};
}

std::vector<uint8_t> BuildQuery(uint16_t id, const dns::Question& question) {
  return dns::BuildQuery(id, 0, question.name, question.type, question.qclass);
}

std::optional<Ipv4> ParseAddressReply(const uint8_t* data, size_t size, uint16_t id, const dns::Question& asked) {
  for (const dns::Record& record : dns::AnswersTo(data, size, id, asked, kClassMask)) {
    if (IsUnicastTarget(record.address)) return record.address;
  }
  return std::nullopt;
}

std::optional<std::string> ParseReverseReply(const uint8_t* data, size_t size, uint16_t id,
                                             const dns::Question& asked) {
  for (const dns::Record& record : dns::AnswersTo(data, size, id, asked, kClassMask)) {
    dns::WireName target = record.target;
    if (dns::IsReverseName(target)) continue;
    if (UnderLocal(target)) target.resize(target.size() - kLocalSize);
    if (std::optional<std::string> text = dns::NameText(target)) return text;
  }
  return std::nullopt;
}

}  // namespace mirelka::mdns
