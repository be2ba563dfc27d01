#include "netbios.h"

#include <algorithm>

#include "ascii.h"
#include "cp932_bytes.h"

namespace mirelka::netbios {
namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kEncodedLength = 32;
constexpr size_t kMaxEncodedName = 255;  // label bytes of a name with its scope
constexpr size_t kStatusEntrySize = 18;  // 15 name bytes, suffix, flags
constexpr size_t kAddressEntrySize = 6;  // flags, IPv4 address

constexpr uint16_t kResponse = 0x8000;
constexpr uint16_t kOpcodeMask = 0x7800;
constexpr uint16_t kTruncated = 0x0200;
constexpr uint16_t kRecursionDesired = 0x0100;
constexpr uint16_t kBroadcast = 0x0010;
constexpr uint16_t kRcodeMask = 0x000F;

constexpr uint16_t kTypeNb = 0x0020;
constexpr uint16_t kTypeNbstat = 0x0021;
constexpr uint16_t kClassIn = 0x0001;

// Bounds-checked reading of a packet; every read fails rather than run past the end.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size, size_t pos = 0) : data_(data), size_(size), pos_(pos) {}

  bool Byte(uint8_t& value) {
    if (size_ - pos_ < 1) return false;
    value = data_[pos_++];
    return true;
  }
  bool U16(uint16_t& value) {
    if (size_ - pos_ < 2) return false;
    value = static_cast<uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
    pos_ += 2;
    return true;
  }
  bool Take(size_t count, const uint8_t*& out) {
    if (size_ - pos_ < count) return false;
    out = data_ + pos_;
    pos_ += count;
    return true;
  }
  bool Skip(size_t count) {
    const uint8_t* ignored = nullptr;
    return Take(count, ignored);
  }
  size_t pos() const { return pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_;
};

struct Record {
  Name name{};
  uint16_t type = 0;
  uint16_t cls = 0;
  const uint8_t* rdata = nullptr;
  uint16_t rdlength = 0;
};

void PutU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value & 0xFF));
}

// First-level encoding: each byte becomes two letters 'A' + nibble; no scope.
void PutName(std::vector<uint8_t>& out, const Name& name) {
  out.push_back(static_cast<uint8_t>(kEncodedLength));
  for (uint8_t byte : name) {
    out.push_back(static_cast<uint8_t>('A' + (byte >> 4)));
    out.push_back(static_cast<uint8_t>('A' + (byte & 0x0F)));
  }
  out.push_back(0);
}

std::vector<uint8_t> BuildQuery(uint16_t id, uint16_t flags, const Name& name, uint16_t type) {
  std::vector<uint8_t> packet;
  packet.reserve(kHeaderSize + kEncodedLength + 6);
  PutU16(packet, id);
  PutU16(packet, flags);
  PutU16(packet, 1);  // one question
  PutU16(packet, 0);
  PutU16(packet, 0);
  PutU16(packet, 0);
  PutName(packet, name);
  PutU16(packet, type);
  PutU16(packet, kClassIn);
  return packet;
}

bool DecodeName(const uint8_t* encoded, Name& out) {
  for (size_t i = 0; i < out.size(); ++i) {
    const uint8_t high = encoded[2 * i];
    const uint8_t low = encoded[2 * i + 1];
    if (high < 'A' || high > 'P' || low < 'A' || low > 'P') return false;
    out[i] = static_cast<uint8_t>((high - 'A') << 4 | (low - 'A'));
  }
  return true;
}

// A name: the 32-letter encoded label, then scope labels up to a zero byte.
// A compression pointer may stand for the whole name (followed once, only
// backwards) or end the scope (checked to lie inside the packet).
bool ReadName(const uint8_t* data, size_t size, Reader& reader, Name& out, bool allowPointer) {
  uint8_t length = 0;
  if (!reader.Byte(length)) return false;
  if ((length & 0xC0) == 0xC0) {
    uint8_t low = 0;
    if (!allowPointer || !reader.Byte(low)) return false;
    const size_t target = static_cast<size_t>(length & 0x3F) << 8 | low;
    if (target + 2 >= reader.pos()) return false;
    Reader at(data, size, target);
    return ReadName(data, size, at, out, false);
  }
  const uint8_t* encoded = nullptr;
  if (length != kEncodedLength || !reader.Take(kEncodedLength, encoded) || !DecodeName(encoded, out)) return false;
  size_t total = 1 + kEncodedLength;
  for (;;) {
    if (!reader.Byte(length)) return false;
    if (length == 0) return true;
    if ((length & 0xC0) == 0xC0) {
      uint8_t low = 0;
      if (!allowPointer || !reader.Byte(low)) return false;
      return (static_cast<size_t>(length & 0x3F) << 8 | low) < size;
    }
    if ((length & 0xC0) != 0) return false;
    total += 1u + length;
    if (total > kMaxEncodedName || !reader.Skip(length)) return false;
  }
}

bool ReadRecord(const uint8_t* data, size_t size, Reader& reader, Record& out) {
  uint16_t ttlHigh = 0;
  uint16_t ttlLow = 0;
  return ReadName(data, size, reader, out.name, true) && reader.U16(out.type) && reader.U16(out.cls) &&
         reader.U16(ttlHigh) && reader.U16(ttlLow) && reader.U16(out.rdlength) && reader.Take(out.rdlength, out.rdata);
}

// A positive reply to transaction id, read whole; its answer records. Every
// record the header announces must be there.
bool ReadReply(const uint8_t* data, size_t size, uint16_t id, std::vector<Record>& answers) {
  if (data == nullptr) return false;
  Reader reader(data, size);
  uint16_t replyId = 0;
  uint16_t flags = 0;
  uint16_t counts[4] = {};
  if (!reader.U16(replyId) || !reader.U16(flags)) return false;
  for (uint16_t& count : counts) {
    if (!reader.U16(count)) return false;
  }
  if (replyId != id || (flags & kResponse) == 0 || (flags & kOpcodeMask) != 0 || (flags & kTruncated) != 0 ||
      (flags & kRcodeMask) != 0) {
    return false;
  }
  for (uint16_t i = 0; i < counts[0]; ++i) {
    Name ignored{};
    if (!ReadName(data, size, reader, ignored, true) || !reader.Skip(4)) return false;
  }
  const size_t records = size_t{counts[1]} + counts[2] + counts[3];
  for (size_t i = 0; i < records; ++i) {
    Record record;
    if (!ReadRecord(data, size, reader, record)) return false;
    if (i < counts[1]) answers.push_back(record);
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

std::optional<Name> MakeName(std::string_view name, uint8_t suffix) {
  if (name.empty() || name.size() > kMaxNameLength) return std::nullopt;
  Name out;
  out.fill(' ');
  const std::string upper = cp932::upperAscii(name);
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
