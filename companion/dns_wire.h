#pragma once
// DNS message format as multicast DNS and LLMNR use it: building one-question
// queries and reading responses strictly, over the reader and writer NetBIOS
// shares (wire.h). Plain code over bytes, no sockets.
// A response is read only within its length; one that is truncated, whose
// counts or lengths overrun it, whose names loop, run past 255 bytes or follow
// more than kMaxPointerJumps compression pointers, or whose A records are not
// 4 bytes long yields nothing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "address.h"
#include "wire.h"

namespace mirelka::dns {

// The compression pointers one name may follow (wire.h).
constexpr unsigned kMaxPointerJumps = wire::kMaxPointerJumps;

constexpr uint16_t kTypeA = 1;
constexpr uint16_t kTypePtr = 12;
constexpr uint16_t kClassIn = 1;

// A name in wire form without compression: length-prefixed labels, no final
// zero byte. Names compare without regard to the case of ASCII letters.
using WireName = std::string;

// The wire form of dotted text: labels of 1 to 63 bytes, each byte printable
// ASCII other than the dot, at most 255 bytes in all. Nothing for anything else.
std::optional<WireName> EncodeName(std::string_view dotted);
// The dotted text of a wire name whose labels hold only printable ASCII
// other than the dot; nothing for any other name.
std::optional<std::string> NameText(const WireName& name);
bool SameName(const WireName& a, const WireName& b);

// The reverse-mapping name of an address: D.C.B.A.in-addr.arpa.
WireName ReverseName(const Ipv4& address);
// Whether name lies under in-addr.arpa or ip6.arpa: it names an address, not
// a computer.
bool IsReverseName(const WireName& name);

// A query with one question.
std::vector<uint8_t> BuildQuery(uint16_t id, uint16_t flags, const WireName& name, uint16_t type, uint16_t qclass);

struct Question {
  WireName name;
  uint16_t type = 0;
  uint16_t qclass = 0;
};

struct Record {
  WireName name;
  uint16_t type = 0;
  uint16_t rclass = 0;
  Ipv4 address{};   // type A
  WireName target;  // type PTR
};

struct Response {
  uint16_t flags = 0;
  std::vector<Question> questions;
  std::vector<Record> answers;
};

// A response to transaction id with opcode 0, no error code and no
// truncation, read whole: every question and record the header announces must
// be there. Only the answer section's records are kept.
std::optional<Response> ParseResponse(const uint8_t* data, size_t size, uint16_t id);

// The answer records that answer `asked` in a response to transaction id
// that repeats exactly that one question: same name, type and class (classes
// compared under classMask), in order. Nothing for any other response.
std::vector<Record> AnswersTo(const uint8_t* data, size_t size, uint16_t id, const Question& asked, uint16_t classMask);

}  // namespace mirelka::dns
