#include "llmnr.h"

namespace mirelka::llmnr {

std::optional<dns::WireName> HostName(std::string_view name) {
  if (name.find('.') != std::string_view::npos) return std::nullopt;
  return dns::EncodeName(name);
}

dns::Question AddressQuestion(const dns::WireName& host) { return dns::Question{host, dns::kTypeA, dns::kClassIn}; }

dns::Question ReverseQuestion(const Ipv4& address) {
  return dns::Question{dns::ReverseName(address), dns::kTypePtr, dns::kClassIn};
}

std::vector<uint8_t> BuildQuery(uint16_t id, const dns::Question& question) {
  return dns::BuildQuery(id, 0, question.name, question.type, question.qclass);
}

std::optional<Ipv4> ParseAddressReply(const uint8_t* data, size_t size, uint16_t id, const dns::Question& asked) {
  for (const dns::Record& record : dns::AnswersTo(data, size, id, asked, 0xFFFF)) {
    if (IsUnicastTarget(record.address)) return record.address;
  }
  return std::nullopt;
}

std::optional<std::string> ParseReverseReply(const uint8_t* data, size_t size, uint16_t id,
                                             const dns::Question& asked) {
  for (const dns::Record& record : dns::AnswersTo(data, size, id, asked, 0xFFFF)) {
    if (dns::IsReverseName(record.target)) continue;
    if (std::optional<std::string> text = dns::NameText(record.target)) return text;
  }
  return std::nullopt;
}

}  // namespace mirelka::llmnr
