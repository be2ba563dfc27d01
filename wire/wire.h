#pragma once
// The message format that NetBIOS name service and DNS (multicast DNS,
// LLMNR) share: a 12-byte header, names as length-prefixed labels with
// compression pointers, and resource records. Plain code over bytes, no
// sockets. Every read is bounded: it fails rather than run past the end, a
// name may follow at most kMaxPointerJumps compression pointers, each to an
// offset below every one the name was read from so far (no loops, nothing
// forward), and a name longer than its protocol allows fails.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirelka::wire {

constexpr size_t kHeaderSize = 12;
// A real name needs one or two pointers; the cap keeps a message made of
// pointer chains from costing quadratic work.
constexpr unsigned kMaxPointerJumps = 128;
constexpr size_t kMaxLabel = 63;

// Header flags.
constexpr uint16_t kResponse = 0x8000;
constexpr uint16_t kOpcodeMask = 0x7800;
constexpr uint16_t kTruncated = 0x0200;
constexpr uint16_t kRcodeMask = 0x000F;

struct Header {
  uint16_t id = 0;
  uint16_t flags = 0;
  uint16_t counts[4] = {};  // questions, answers, authority, additional

  // A whole answer to the standard query with this id: no error, not truncated.
  bool Answers(uint16_t query) const {
    return id == query && (flags & kResponse) != 0 && (flags & kOpcodeMask) == 0 && (flags & kTruncated) == 0 &&
           (flags & kRcodeMask) == 0;
  }
};

// What a resource record holds before its data.
struct RecordHead {
  std::string name;  // wire form: length-prefixed labels, no final zero byte
  uint16_t type = 0;
  uint16_t rclass = 0;
  uint32_t ttl = 0;
  uint16_t rdlength = 0;
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Byte(uint8_t& value);
  bool U16(uint16_t& value);
  bool U32(uint32_t& value);
  bool Take(size_t count, const uint8_t*& out);
  bool Skip(size_t count);
  bool ReadHeader(Header& out);
  // A name at the current position, as length-prefixed labels without the
  // final zero byte, at most maxBytes of them; the position moves past the
  // name's first pointer or its end.
  bool Name(std::string& out, size_t maxBytes);
  // A record's name, type, class, TTL and data length; the data is next.
  bool ReadRecordHead(RecordHead& out, size_t maxNameBytes);
  size_t pos() const { return pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

void PutU16(std::vector<uint8_t>& out, uint16_t value);
// The header of a query with one question.
void PutQueryHeader(std::vector<uint8_t>& out, uint16_t id, uint16_t flags);
// A name in wire form and its final zero byte.
void PutName(std::vector<uint8_t>& out, std::string_view labels);

}  // namespace mirelka::wire
