#include "smb_negotiate.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "netbios.h"

namespace netinfo::negotiate {
namespace {

// NetBIOS session service message types; every message has a 4-byte header.
enum SessionType : uint8_t { kMessage = 0x00, kRequest = 0x81, kPositive = 0x82, kNegative = 0x83 };
constexpr size_t kSessionHeader = 4;

constexpr uint8_t kSmb1Id[] = {0xFF, 'S', 'M', 'B'};
constexpr uint8_t kSmb2Id[] = {0xFE, 'S', 'M', 'B'};
constexpr uint8_t kNegotiateCommand = 0x72;

// The offered dialects, in order: an SMB1 answer names its choice by index.
constexpr const char* kDialects[] = {"NT LM 0.12", "SMB 2.002", "SMB 2.???"};
constexpr uint16_t kNtLm012Index = 0;

// SMB1: where the fields lie in the 32-byte header, then WordCount,
// DialectIndex and (NT LM 0.12's answer) SecurityMode.
namespace smb1 {
enum Offset : size_t { kCommand = 4, kStatus = 5, kFlags = 9, kFlags2 = 10, kWords = 32, kIndex = 33, kMode = 35 };
enum Bits : uint8_t { kReply = 0x80, kSigningRequired = 0x08 };
constexpr uint8_t kNtLmWords = 17;
constexpr size_t kNeeded = kMode + 1;
// The shortest negotiate answer: one word (the index) and a byte count.
constexpr size_t kShortest = kWords + 1 + 2 + 2;
}  // namespace smb1

// SMB2: where the fields lie in the 64-byte header, then the NEGOTIATE
// response's StructureSize, SecurityMode and DialectRevision; its fixed part
// is 64 bytes.
namespace smb2 {
enum Offset : size_t { kSize = 4, kStatus = 8, kCommand = 12, kFlags = 16, kBody = 64, kMode = 66, kDialect = 68 };
constexpr uint32_t kServerToRedir = 0x1;
constexpr uint16_t kSigningRequired = 0x0002, kNegotiateSize = 65;
constexpr size_t kNeeded = kDialect + 2;
constexpr size_t kShortest = kBody + 64;
}  // namespace smb2

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void PutBe(std::vector<uint8_t>& out, size_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

Answer NotSmb() { return Answer{Kind::kNotSmb, 0, false}; }

Answer ReadSmb1(const uint8_t* m, size_t length) {
  using namespace smb1;
  if (length < kShortest) return NotSmb();
  const uint8_t words = m[kWords];
  if (m[kCommand] != kNegotiateCommand || Le32(m + kStatus) != 0 || (m[kFlags] & kReply) == 0 ||
      length < kWords + 1 + 2u * words + 2) {
    return NotSmb();
  }
  // Only NT LM 0.12's answer has 17 words; one word is "none of these".
  if (words != kNtLmWords || Le16(m + kIndex) != kNtLm012Index) return NotSmb();
  return Answer{Kind::kSmb1, kNtLm012, (m[kMode] & kSigningRequired) != 0};
}

Answer ReadSmb2(const uint8_t* m, size_t length) {
  using namespace smb2;
  if (length < kShortest || Le16(m + kSize) != kBody || Le32(m + kStatus) != 0 || Le16(m + kCommand) != 0 ||
      (Le32(m + kFlags) & kServerToRedir) == 0 || Le16(m + kBody) != kNegotiateSize) {
    return NotSmb();
  }
  const uint16_t dialect = Le16(m + kDialect);
  if (dialect != kSmb2002 && dialect != kSmb2Wildcard) return NotSmb();
  return Answer{Kind::kSmb2, dialect, (Le16(m + kMode) & kSigningRequired) != 0};
}

}  // namespace

std::vector<uint8_t> Request() {
  std::vector<uint8_t> dialects;
  for (const char* name : kDialects) {
    dialects.push_back(0x02);  // buffer format: a dialect string
    dialects.insert(dialects.end(), name, name + std::strlen(name) + 1);
  }
  std::vector<uint8_t> smb(kSmb1Id, kSmb1Id + sizeof kSmb1Id);
  smb.push_back(kNegotiateCommand);
  smb.resize(smb1::kWords, 0);    // status, flags, no ids: nothing is signed or logged on
  smb[smb1::kFlags] = 0x18;       // case-insensitive, canonical paths
  smb[smb1::kFlags2] = 0x01;      // long names...
  smb[smb1::kFlags2 + 1] = 0xC8;  // ...extended security, NT status codes, Unicode
  smb.push_back(0);               // no parameter words
  smb.push_back(static_cast<uint8_t>(dialects.size()));
  smb.push_back(static_cast<uint8_t>(dialects.size() >> 8));
  smb.insert(smb.end(), dialects.begin(), dialects.end());

  std::vector<uint8_t> frame{kMessage};
  PutBe(frame, smb.size(), 3);
  frame.insert(frame.end(), smb.begin(), smb.end());
  return frame;
}

std::vector<uint8_t> SessionRequest() {
  const std::string called = mirelka::netbios::EncodeName(*mirelka::netbios::MakeName("*SMBSERVER", 0x20));
  const std::string calling = mirelka::netbios::EncodeName(*mirelka::netbios::MakeName("MIRELKA", 0x00));
  std::vector<uint8_t> frame{kRequest, 0};
  PutBe(frame, called.size() + calling.size() + 2, 2);
  for (const std::string* name : {&called, &calling}) {
    frame.insert(frame.end(), name->begin(), name->end());
    frame.push_back(0);  // the empty scope
  }
  return frame;
}

Session ReadSession(const uint8_t* data, size_t size) {
  if (size < kSessionHeader) return Session::kIncomplete;
  if (data[0] == kPositive && data[1] == 0 && data[2] == 0 && data[3] == 0) return Session::kAccepted;
  if (data[0] == kNegative) return Session::kRefused;
  return Session::kNotNetbios;
}

Answer Read(const uint8_t* data, size_t size) {
  if (size == 0) return Answer{};
  if (data[0] != kMessage) return NotSmb();
  if (size < kSessionHeader) return Answer{};
  const size_t length = static_cast<size_t>(data[1]) << 16 | static_cast<size_t>(data[2]) << 8 | data[3];
  if (length > kMaxFrameBytes || length < smb1::kShortest) return NotSmb();
  const uint8_t* m = data + kSessionHeader;
  const size_t have = std::min(size - kSessionHeader, length);  // bytes past the frame are not its own
  // The protocol id decides as soon as its bytes are in: garbage fails early.
  const size_t idBytes = std::min(have, sizeof kSmb1Id);
  const bool isSmb1 = std::memcmp(m, kSmb1Id, idBytes) == 0;
  const bool isSmb2 = std::memcmp(m, kSmb2Id, idBytes) == 0;
  if (!isSmb1 && !isSmb2) return NotSmb();
  if (have < sizeof kSmb1Id) return Answer{};
  if (isSmb2 && length < smb2::kShortest) return NotSmb();
  if (isSmb1) return have < smb1::kNeeded ? Answer{} : ReadSmb1(m, length);
  return have < smb2::kNeeded ? Answer{} : ReadSmb2(m, length);
}

}  // namespace netinfo::negotiate
