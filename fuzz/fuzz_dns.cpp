// Feeds arbitrary bytes to the multicast DNS and LLMNR answer readers, to
// the DNS-SD browse's reader and gathering, and to the name encoder. The
// answer's own transaction id is used, so the fuzzer gets past that check;
// every buffer is heap-allocated to its exact size for ASan.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dns_wire.h"
#include "link_dns.h"
#include "mdns_messages.h"

using namespace mirelka;

namespace {

void CheckName(const std::optional<std::string>& name) {
  if (!name) return;
  if (name->empty() || name->size() > 253) __builtin_trap();
  for (char c : *name) {
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> packet(data, data + size);
  const uint16_t id = size >= 2 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : 0;

  if (const std::optional<dns::Response> response = dns::ParseResponse(packet.data(), packet.size(), id)) {
    for (const dns::Record& record : response->answers) {
      if (record.name.size() > 254 || record.target.size() > 254) __builtin_trap();
    }
  }
  static const dns::Question kMdnsAddress = mdns::AddressQuestion(*mdns::HostName("mlkpeer"));
  static const dns::Question kMdnsReverse = mdns::ReverseQuestion(Ipv4{10, 231, 0, 31});
  static const dns::Question kLlmnrAddress = llmnr::AddressQuestion(*llmnr::HostName("mlkpeer"));
  static const dns::Question kLlmnrReverse = llmnr::ReverseQuestion(Ipv4{10, 231, 0, 32});
  for (const std::optional<Ipv4>& address :
       {mdns::ParseAddressReply(packet.data(), packet.size(), id, kMdnsAddress),
        llmnr::ParseAddressReply(packet.data(), packet.size(), id, kLlmnrAddress)}) {
    if (address && !IsUnicastTarget(*address)) __builtin_trap();
  }
  CheckName(mdns::ParseReverseReply(packet.data(), packet.size(), id, kMdnsReverse));
  CheckName(llmnr::ParseReverseReply(packet.data(), packet.size(), id, kLlmnrReverse));

  // The DNS-SD browse: one answer taken twice (a repeat), as from the test
  // LAN's MDNSHOST, on its /24.
  namespace sd = discovery::mdns;
  sd::Refusal why = sd::Refusal::None;
  if (const std::optional<sd::Response> response = sd::ReadResponse(packet.data(), packet.size(), &why)) {
    if (why != sd::Refusal::None ||
        response->instances.size() + response->services.size() + response->texts.size() + response->addresses.size() >
            sd::kMaxRecords)
      __builtin_trap();
    sd::Gathering gathering({{0x0AE70001, 0xFFFFFF00}});
    for (int i = 0; i < 2; ++i) {
      gathering.Take(*response, 0x0AE7001F);
      for (const sd::Gathering::Question& q : gathering.FollowUps())
        if (q.name.empty() || q.name.size() > 254) __builtin_trap();
    }
    for (const sd::Gathering::Found& f : gathering.Ready(true)) {
      if (f.instance.empty() || f.instance.size() > 63 || f.model.size() > 128) __builtin_trap();
      if ((f.address & 0xFFFFFF00) != 0x0AE70000) __builtin_trap();  // on the link only
    }
    if (gathering.Services() > sd::kMaxServices) __builtin_trap();
  } else if (why == sd::Refusal::None) {
    __builtin_trap();
  }

  // The same bytes as a computer name typed by the user.
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const std::optional<dns::WireName>& wire : {mdns::HostName(text), llmnr::HostName(text)}) {
    if (wire && (wire->size() > 254 || !dns::NameText(*wire))) __builtin_trap();
  }
  return 0;
}
