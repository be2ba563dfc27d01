#include "wire.h"

namespace mirelka::wire {

bool Reader::Byte(uint8_t& value) {
  if (size_ - pos_ < 1) return false;
  value = data_[pos_++];
  return true;
}

bool Reader::U16(uint16_t& value) {
  if (size_ - pos_ < 2) return false;
  value = static_cast<uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
  pos_ += 2;
  return true;
}

bool Reader::U32(uint32_t& value) {
  uint16_t high = 0;
  uint16_t low = 0;
  if (size_ - pos_ < 4 || !U16(high) || !U16(low)) return false;
  value = static_cast<uint32_t>(high) << 16 | low;
  return true;
}

bool Reader::Take(size_t count, const uint8_t*& out) {
  if (size_ - pos_ < count) return false;
  out = data_ + pos_;
  pos_ += count;
  return true;
}

bool Reader::Skip(size_t count) {
  const uint8_t* ignored = nullptr;
  return Take(count, ignored);
}

bool Reader::ReadHeader(Header& out) {
  if (size_ - pos_ < kHeaderSize) return false;
  U16(out.id);
  U16(out.flags);
  for (uint16_t& count : out.counts) U16(count);
  return true;
}

bool Reader::Name(std::string& out, size_t maxBytes) {
  out.clear();
  size_t at = pos_;
  size_t floor = pos_;
  bool jumped = false;
  unsigned jumps = 0;
  for (;;) {
    if (at >= size_) return false;
    const uint8_t length = data_[at];
    if ((length & 0xC0) == 0xC0) {
      if (size_ - at < 2) return false;
      const size_t target = static_cast<size_t>(length & 0x3F) << 8 | data_[at + 1];
      if (!jumped) pos_ = at + 2;
      jumped = true;
      if (target >= floor || ++jumps > kMaxPointerJumps) return false;
      floor = at = target;
      continue;
    }
    if ((length & 0xC0) != 0) return false;  // no other label types
    if (length == 0) {
      if (!jumped) pos_ = at + 1;
      return true;
    }
    if (size_ - at - 1 < length || out.size() + 1 + length > maxBytes) return false;
    out.append(reinterpret_cast<const char*>(data_ + at), 1 + size_t{length});
    at += 1 + size_t{length};
  }
}

bool Reader::ReadRecordHead(RecordHead& out, size_t maxNameBytes) {
  return Name(out.name, maxNameBytes) && U16(out.type) && U16(out.rclass) && U32(out.ttl) && U16(out.rdlength);
}

void PutU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value & 0xFF));
}

void PutQueryHeader(std::vector<uint8_t>& out, uint16_t id, uint16_t flags) {
  PutU16(out, id);
  PutU16(out, flags);
  PutU16(out, 1);  // one question
  PutU16(out, 0);
  PutU16(out, 0);
  PutU16(out, 0);
}

void PutName(std::vector<uint8_t>& out, std::string_view labels) {
  out.insert(out.end(), labels.begin(), labels.end());
  out.push_back(0);
}

}  // namespace mirelka::wire
