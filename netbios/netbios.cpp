#include "netbios.h"

#include <algorithm>

#include "ascii.h"
#include "cp932_bytes.h"
#include "wire.h"

namespace mirelka::netbios {
namespace {

constexpr size_t kEncodedLength = 32;
constexpr size_t kMaxEncodedName = 255;  // label bytes of a name with its scope
constexpr size_t kStatusEntrySize = 18;  // 15 name bytes, suffix, flags
constexpr size_t kAddressEntrySize = 6;  // flags, IPv4 address

constexpr uint16_t kRecursionDesired = 0x0100;
constexpr uint16_t kBroadcast = 0x0010;

constexpr uint16_t kTypeNb = 0x0020;
constexpr uint16_t kTypeNbstat = 0x0021;
constexpr uint16_t kClassIn = 0x0001;

struct Record {
  Name name{};
  uint16_t type = 0;
  uint16_t cls = 0;
  const uint8_t* rdata = nullptr;
  uint16_t rdlength = 0;
};

std::vector<uint8_t> BuildQuery(uint16_t id, uint16_t flags, const Name& name, uint16_t type) {
  std::vector<uint8_t> packet;
  packet.reserve(wire::kHeaderSize + kEncodedLength + 6);
  wire::PutQueryHeader(packet, id, flags);
  wire::PutName(packet, EncodeName(name));
  wire::PutU16(packet, type);
  wire::PutU16(packet, kClassIn);
  return packet;
}

// A name's labels: the 32-letter encoded label first; scope labels after it
// are left out.
bool DecodeName(const std::string& labels, Name& out) {
  if (labels.size() < 1 + kEncodedLength || static_cast<unsigned char>(labels[0]) != kEncodedLength) return false;
  for (size_t i = 0; i < out.size(); ++i) {
    const auto high = static_cast<unsigned char>(labels[1 + 2 * i]);
    const auto low = static_cast<unsigned char>(labels[2 + 2 * i]);
    if (high < 'A' || high > 'P' || low < 'A' || low > 'P') return false;
    out[i] = static_cast<uint8_t>((high - 'A') << 4 | (low - 'A'));
  }
  return true;
}

bool ReadRecord(wire::Reader& reader, Record& out) {
  wire::RecordHead head;
  if (!reader.ReadRecordHead(head, kMaxEncodedName) || !reader.Take(head.rdlength, out.rdata)) return false;
  out.type = head.type;
  out.cls = head.rclass;
  out.rdlength = head.rdlength;
  return DecodeName(head.name, out.name);
}

// A positive reply to transaction id, read whole; its answer records. Every
// record the header announces must be there.
bool ReadReply(const uint8_t* data, size_t size, uint16_t id, std::vector<Record>& answers) {
  if (data == nullptr) return false;
  wire::Reader reader(data, size);
  wire::Header header;
  if (!reader.ReadHeader(header) || !header.Answers(id)) return false;
  for (uint16_t i = 0; i < header.counts[0]; ++i) {
    std::string labels;
    Name ignored{};
    if (!reader.Name(labels, kMaxEncodedName) || !DecodeName(labels, ignored) || !reader.Skip(4)) return false;
  }
  const size_t records = size_t{header.counts[1]} + header.counts[2] + header.counts[3];
  for (size_t i = 0; i < records; ++i) {
    Record record;
    if (!ReadRecord(reader, record)) return false;
    if (i < header.counts[1]) answers.push_back(record);
  }
  return true;
}

bool SameName(const Name& a, const Name& b) {
  return std::equal(a.begin(), a.end(), b.begin(),
                    [](uint8_t x, uint8_t y) { return ascii::Upper(x) == ascii::Upper(y); });
}

template <typename T>
void AppendUnique(std::vector<T>& list, T value) {
  if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(std::move(value));
}

// A status entry's name with trailing blanks (and NUL padding) trimmed;
// empty when nothing printable is left or a control byte is inside.
std::string StatusEntryName(const uint8_t* entry) {
  size_t length = kMaxNameLength;
  while (length > 0 && (entry[length - 1] == ' ' || entry[length - 1] == 0)) --length;
  for (size_t i = 0; i < length; ++i) {
    if (entry[i] < 0x20 || entry[i] == 0x7F) return {};
  }
  return std::string(reinterpret_cast<const char*>(entry), length);
}

}  // namespace

// First-level encoding: each byte becomes two letters 'A' + nibble.
std::string EncodeName(const Name& name) {
  std::string labels(1, static_cast<char>(kEncodedLength));
  for (uint8_t byte : name) {
    labels += static_cast<char>('A' + (byte >> 4));
    labels += static_cast<char>('A' + (byte & 0x0F));
  }
  return labels;
}

std::optional<Name> MakeName(std::string_view name, uint8_t suffix) {
  if (name.empty() || name.size() > kMaxNameLength) return std::nullopt;
  Name out;
  out.fill(' ');
  const std::string upper = cp932::UpperAscii(name);
  std::copy(upper.begin(), upper.end(), out.begin());
  out[kMaxNameLength] = suffix;
  return out;
}

std::vector<uint8_t> BuildNameQuery(uint16_t id, const Name& name, bool broadcast) {
  return BuildQuery(id, broadcast ? uint16_t{kRecursionDesired | kBroadcast} : uint16_t{0}, name, kTypeNb);
}

std::vector<uint8_t> BuildNodeStatusQuery(uint16_t id) {
  Name any{};
  any[0] = '*';
  return BuildQuery(id, 0, any, kTypeNbstat);
}

std::vector<Ipv4> ParseNameQueryReply(const uint8_t* data, size_t size, uint16_t id, const Name& name) {
  std::vector<Record> answers;
  if (!ReadReply(data, size, id, answers)) return {};
  std::vector<Ipv4> addresses;
  for (const Record& record : answers) {
    if (record.type != kTypeNb || record.cls != kClassIn || !SameName(record.name, name)) continue;
    if (record.rdlength == 0 || record.rdlength % kAddressEntrySize != 0) return {};
    for (size_t at = 0; at < record.rdlength; at += kAddressEntrySize) {
      const uint8_t* entry = record.rdata + at;
      const uint16_t flags = static_cast<uint16_t>(entry[0] << 8 | entry[1]);
      const Ipv4 address = {entry[2], entry[3], entry[4], entry[5]};
      if ((flags & kGroupFlag) == 0 && IsUnicastTarget(address)) AppendUnique(addresses, address);
    }
  }
  return addresses;
}

std::vector<NodeName> ParseNodeStatusReply(const uint8_t* data, size_t size, uint16_t id) {
  std::vector<Record> answers;
  if (!ReadReply(data, size, id, answers)) return {};
  std::vector<NodeName> names;
  for (const Record& record : answers) {
    if (record.type != kTypeNbstat || record.cls != kClassIn) continue;
    if (record.rdlength < 1) return {};
    const size_t count = record.rdata[0];
    if (1 + count * kStatusEntrySize > record.rdlength) return {};
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* entry = record.rdata + 1 + i * kStatusEntrySize;
      NodeName node;
      node.name = StatusEntryName(entry);
      node.suffix = entry[kMaxNameLength];
      node.flags = static_cast<uint16_t>(entry[16] << 8 | entry[17]);
      if (!node.name.empty()) AppendUnique(names, std::move(node));
    }
  }
  return names;
}

std::optional<std::array<uint8_t, 6>> ParseNodeStatusUnitId(const uint8_t* data, size_t size, uint16_t id) {
  std::vector<Record> answers;
  if (!ReadReply(data, size, id, answers)) return std::nullopt;
  for (const Record& record : answers) {
    if (record.type != kTypeNbstat || record.cls != kClassIn || record.rdlength < 1) continue;
    const size_t at = 1 + size_t{record.rdata[0]} * kStatusEntrySize;
    if (at + 6 > record.rdlength) return std::nullopt;
    std::array<uint8_t, 6> unit{};
    std::copy(record.rdata + at, record.rdata + at + 6, unit.begin());
    if (std::all_of(unit.begin(), unit.end(), [](uint8_t b) { return b == 0; })) return std::nullopt;
    return unit;
  }
  return std::nullopt;
}

std::optional<std::string> PickComputerName(const std::vector<NodeName>& names) {
  for (uint8_t suffix : {kWorkstation, kFileServer}) {
    for (const NodeName& node : names) {
      if (node.suffix == suffix && (node.flags & (kGroupFlag | kConflictFlag)) == 0) return node.name;
    }
  }
  return std::nullopt;
}

std::optional<std::string> PickWorkgroupName(const std::vector<NodeName>& names) {
  for (const NodeName& node : names) {
    if (node.suffix == kWorkstation && (node.flags & kGroupFlag) != 0 && (node.flags & kConflictFlag) == 0)
      return node.name;
  }
  return std::nullopt;
}

}  // namespace mirelka::netbios
