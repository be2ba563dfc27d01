#include "dns_wire.h"

#include "ascii.h"

namespace mirelka::dns {
namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kMaxLabel = 63;
constexpr size_t kMaxWireName = 254;  // 255 with the final zero byte

// Bounds-checked reading; every read fails rather than run past the end.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool U16(uint16_t& value) {
    if (size_ - pos_ < 2) return false;
    value = static_cast<uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
    pos_ += 2;
    return true;
  }
  bool Skip(size_t count) {
    if (size_ - pos_ < count) return false;
    pos_ += count;
    return true;
  }
  // A name at the current position. A compression pointer may only lead
  // below every offset this name was read from so far, so pointers can
  // neither loop nor run forward; and a name follows at most
  // kMaxPointerJumps of them, so that a message made of pointer chains costs
  // little to read.
  bool Name(WireName& out) {
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
      if (size_ - at - 1 < length || out.size() + 1 + length > kMaxWireName) return false;
      out.append(reinterpret_cast<const char*>(data_ + at), 1 + size_t{length});
      at += 1 + size_t{length};
    }
  }
  size_t pos() const { return pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

bool IsNameByte(unsigned char byte) { return byte > 0x20 && byte < 0x7F && byte != '.'; }

void PutU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value & 0xFF));
}

// Reads one resource record; A and PTR data of the answer section are
// checked and kept.
bool ReadRecord(Reader& reader, const uint8_t* data, size_t size, bool answer, Record& out) {
  uint16_t ttlHigh = 0;
  uint16_t ttlLow = 0;
  uint16_t rdlength = 0;
  if (!reader.Name(out.name) || !reader.U16(out.type) || !reader.U16(out.rclass) || !reader.U16(ttlHigh) ||
      !reader.U16(ttlLow) || !reader.U16(rdlength)) {
    return false;
  }
  const size_t start = reader.pos();
  if (size - start < rdlength) return false;
  if (answer && out.type == kTypeA) {
    if (rdlength != out.address.size()) return false;
    for (size_t i = 0; i < out.address.size(); ++i) out.address[i] = data[start + i];
  } else if (answer && out.type == kTypePtr) {
    // The target must fill the record data exactly; its pointers may lead
    // anywhere earlier in the message.
    Reader target(data, start + rdlength);
    if (!target.Skip(start) || !target.Name(out.target) || target.pos() != start + rdlength) return false;
  }
  return reader.Skip(rdlength);
}

}  // namespace

std::optional<WireName> EncodeName(std::string_view dotted) {
  if (!dotted.empty() && dotted.back() == '.') dotted.remove_suffix(1);
  if (dotted.empty()) return std::nullopt;
  WireName out;
  size_t start = 0;
  for (;;) {
    const size_t dot = dotted.find('.', start);
    const std::string_view label = dotted.substr(start, dot == std::string_view::npos ? dotted.npos : dot - start);
    if (label.empty() || label.size() > kMaxLabel) return std::nullopt;
    for (char c : label) {
      if (!IsNameByte(static_cast<unsigned char>(c))) return std::nullopt;
    }
    out.push_back(static_cast<char>(label.size()));
    out.append(label);
    if (out.size() > kMaxWireName) return std::nullopt;
    if (dot == std::string_view::npos) return out;
    start = dot + 1;
  }
}

std::optional<std::string> NameText(const WireName& name) {
  std::string text;
  size_t at = 0;
  while (at < name.size()) {
    const size_t length = static_cast<unsigned char>(name[at]);
    if (length == 0 || length > kMaxLabel || name.size() - at - 1 < length) return std::nullopt;
    if (!text.empty()) text += '.';
    for (size_t i = 0; i < length; ++i) {
      const char c = name[at + 1 + i];
      if (!IsNameByte(static_cast<unsigned char>(c))) return std::nullopt;
      text += c;
    }
    at += 1 + length;
  }
  if (text.empty()) return std::nullopt;
  return text;
}

bool SameName(const WireName& a, const WireName& b) {
  if (a.size() != b.size()) return false;
  // Length bytes are below 64, so folding letters leaves them alone.
  for (size_t i = 0; i < a.size(); ++i) {
    if (ascii::Lower(a[i]) != ascii::Lower(b[i])) return false;
  }
  return true;
}

WireName ReverseName(const Ipv4& address) {
  WireName out;
  for (size_t i = address.size(); i-- > 0;) {
    const std::string part = std::to_string(address[i]);
    out.push_back(static_cast<char>(part.size()));
    out += part;
  }
  out +=
      "\x07in-addr\x04"
      "arpa";
  return out;
}

bool IsReverseName(const WireName& name) {
  for (const std::string_view zone : {std::string_view("\x07in-addr\x04"
                                                       "arpa"),
                                      std::string_view("\x03ip6\x04"
                                                       "arpa")}) {
    if (name.size() >= zone.size() && SameName(name.substr(name.size() - zone.size()), WireName(zone))) return true;
  }
  return false;
}

std::vector<uint8_t> BuildQuery(uint16_t id, uint16_t flags, const WireName& name, uint16_t type, uint16_t qclass) {
  std::vector<uint8_t> packet;
  packet.reserve(kHeaderSize + name.size() + 5);
  PutU16(packet, id);
  PutU16(packet, flags);
  PutU16(packet, 1);  // one question
  PutU16(packet, 0);
  PutU16(packet, 0);
  PutU16(packet, 0);
  packet.insert(packet.end(), name.begin(), name.end());
  packet.push_back(0);
  PutU16(packet, type);
  PutU16(packet, qclass);
  return packet;
}

std::optional<Response> ParseResponse(const uint8_t* data, size_t size, uint16_t id) {
  if (data == nullptr) return std::nullopt;
  Reader reader(data, size);
  uint16_t replyId = 0;
  Response response;
  uint16_t counts[4] = {};
  if (!reader.U16(replyId) || !reader.U16(response.flags)) return std::nullopt;
  for (uint16_t& count : counts) {
    if (!reader.U16(count)) return std::nullopt;
  }
  const uint16_t flags = response.flags;
  if (replyId != id || (flags & kResponse) == 0 || (flags & kOpcodeMask) != 0 || (flags & kTruncated) != 0 ||
      (flags & kRcodeMask) != 0) {
    return std::nullopt;
  }
  for (uint16_t i = 0; i < counts[0]; ++i) {
    Question question;
    if (!reader.Name(question.name) || !reader.U16(question.type) || !reader.U16(question.qclass)) {
      return std::nullopt;
    }
    response.questions.push_back(std::move(question));
  }
  const size_t records = size_t{counts[1]} + counts[2] + counts[3];
  for (size_t i = 0; i < records; ++i) {
    Record record;
    const bool answer = i < counts[1];
    if (!ReadRecord(reader, data, size, answer, record)) return std::nullopt;
    if (answer) response.answers.push_back(std::move(record));
  }
  return response;
}

std::vector<Record> AnswersTo(const uint8_t* data, size_t size, uint16_t id, const Question& asked,
                              uint16_t classMask) {
  std::optional<Response> response = ParseResponse(data, size, id);
  if (!response || response->questions.size() != 1) return {};
  const Question& echoed = response->questions.front();
  if (!SameName(echoed.name, asked.name) || echoed.type != asked.type ||
      (echoed.qclass & classMask) != (asked.qclass & classMask)) {
    return {};
  }
  std::vector<Record> answers;
  for (Record& record : response->answers) {
    if (record.type == asked.type && (record.rclass & classMask) == (asked.qclass & classMask) &&
        SameName(record.name, asked.name)) {
      answers.push_back(std::move(record));
    }
  }
  return answers;
}

}  // namespace mirelka::dns
