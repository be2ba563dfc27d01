#include "dns_wire.h"

#include <utility>

#include "ascii.h"

namespace mirelka::dns {
namespace {

constexpr size_t kMaxWireName = 254;  // 255 with the final zero byte
using wire::kMaxLabel;

bool IsNameByte(unsigned char byte) { return byte > 0x20 && byte < 0x7F && byte != '.'; }

// Reads one resource record; A and PTR data of the answer section are
// checked and kept.
bool ReadRecord(wire::Reader& reader, const uint8_t* data, bool answer, Record& out) {
  wire::RecordHead head;
  if (!reader.ReadRecordHead(head, kMaxWireName)) return false;
  out.name = std::move(head.name);
  out.type = head.type;
  out.rclass = head.rclass;
  const size_t start = reader.pos();
  const uint8_t* rdata = nullptr;
  if (!reader.Take(head.rdlength, rdata)) return false;
  if (answer && out.type == kTypeA) {
    if (head.rdlength != out.address.size()) return false;
    for (size_t i = 0; i < out.address.size(); ++i) out.address[i] = rdata[i];
  } else if (answer && out.type == kTypePtr) {
    // The target must fill the record data exactly; its pointers may lead
    // anywhere earlier in the message.
    wire::Reader target(data, start + head.rdlength);
    if (!target.Skip(start) || !target.Name(out.target, kMaxWireName) || target.pos() != start + head.rdlength)
      return false;
  }
  return true;
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
  packet.reserve(wire::kHeaderSize + name.size() + 5);
  wire::PutQueryHeader(packet, id, flags);
  wire::PutName(packet, name);
  wire::PutU16(packet, type);
  wire::PutU16(packet, qclass);
  return packet;
}

std::optional<Response> ParseResponse(const uint8_t* data, size_t size, uint16_t id) {
  if (data == nullptr) return std::nullopt;
  wire::Reader reader(data, size);
  wire::Header header;
  if (!reader.ReadHeader(header) || !header.Answers(id)) return std::nullopt;
  Response response;
  response.flags = header.flags;
  for (uint16_t i = 0; i < header.counts[0]; ++i) {
    Question question;
    if (!reader.Name(question.name, kMaxWireName) || !reader.U16(question.type) || !reader.U16(question.qclass)) {
      return std::nullopt;
    }
    response.questions.push_back(std::move(question));
  }
  const size_t records = size_t{header.counts[1]} + header.counts[2] + header.counts[3];
  for (size_t i = 0; i < records; ++i) {
    Record record;
    const bool answer = i < header.counts[1];
    if (!ReadRecord(reader, data, answer, record)) return std::nullopt;
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
