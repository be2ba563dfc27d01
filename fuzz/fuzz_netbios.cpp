// Feeds arbitrary bytes to the NetBIOS reply readers and the buffer contract
// helpers. The reply's own transaction id is used, so the fuzzer gets past
// that check; every buffer is heap-allocated to its exact size for ASan.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cp932_bytes.h"
#include "netbios.h"
#include "answer_buffer.h"

using namespace mirelka;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> packet(data, data + size);
  const uint16_t id = size >= 2 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : 0;

  static const netbios::Name kWanted = *netbios::MakeName("mlkpeer", netbios::kWorkstation);
  for (const Ipv4& address : netbios::ParseNameQueryReply(packet.data(), packet.size(), id, kWanted)) {
    if (!IsUnicastTarget(address)) __builtin_trap();
  }
  const std::vector<netbios::NodeName> names = netbios::ParseNodeStatusReply(packet.data(), packet.size(), id);
  for (const netbios::NodeName& node : names) {
    if (node.name.empty() || node.name.size() > netbios::kMaxNameLength) __builtin_trap();
  }
  netbios::PickComputerName(names);
  if (const auto group = netbios::PickWorkgroupName(names); group && group->empty()) __builtin_trap();

  // The same bytes as caller input: read, convert and write back within size.
  const std::string text(reinterpret_cast<const char*>(data), size);
  netbios::MakeName(text, netbios::kFileServer);
  ParseDotted(text);
  const auto room = static_cast<int32_t>(size % 64);
  std::vector<char> buf(static_cast<size_t>(room) + 1);
  std::memcpy(buf.data(), data, std::min(size, buf.size()));
  const std::string input = ReadInput(buf.data(), room);
  if (input.size() > static_cast<size_t>(room)) __builtin_trap();
  WriteOutcome(buf.data(), room, Outcome{static_cast<uint16_t>(size & 1 ? kOk : kNotFound), cp932::UpperAscii(text)});
  return 0;
}
