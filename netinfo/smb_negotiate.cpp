#include "smb_negotiate.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "netbios.h"

namespace netinfo::negotiate {
namespace {

constexpr uint8_t kSessionMessage = 0x00;
constexpr uint8_t kSessionRequest = 0x81;
constexpr uint8_t kPositiveResponse = 0x82;
constexpr uint8_t kNegativeResponse = 0x83;
constexpr size_t kSessionHeader = 4;

constexpr uint8_t kSmb1Id[] = {0xFF, 'S', 'M', 'B'};
constexpr uint8_t kSmb2Id[] = {0xFE, 'S', 'M', 'B'};
constexpr uint8_t kNegotiateCommand = 0x72;

// The offered dialects, in order: an SMB1 answer names its choice by index.
constexpr const char* kDialects[] = {"NT LM 0.12", "SMB 2.002", "SMB 2.???"};
constexpr uint16_t kNtLm012Index = 0;

// SMB1 header (32 bytes), then WordCount, DialectIndex, SecurityMode.
constexpr size_t kSmb1Header = 32;
constexpr size_t kSmb1Command = 4;
constexpr size_t kSmb1Status = 5;
constexpr size_t kSmb1Flags = 9;
constexpr uint8_t kSmb1Reply = 0x80;
constexpr uint8_t kNtLmWords = 17;
constexpr uint8_t kSmb1SigningRequired = 0x08;
constexpr size_t kSmb1Needed = kSmb1Header + 4;
// The shortest SMB1 negotiate answer: one word (the index) and a byte count.
constexpr size_t kSmb1Shortest = kSmb1Header + 1 + 2 + 2;

// SMB2 header (64 bytes), then the NEGOTIATE response's StructureSize,
// SecurityMode and DialectRevision; its fixed part is 64 bytes.
constexpr size_t kSmb2Header = 64;
constexpr size_t kSmb2HeaderSize = 4;
constexpr size_t kSmb2Status = 8;
constexpr size_t kSmb2Command = 12;
constexpr size_t kSmb2Flags = 16;
constexpr uint32_t kSmb2ServerToRedir = 0x1;
constexpr uint16_t kSmb2NegotiateSize = 65;
constexpr uint16_t kSmb2SigningRequired = 0x0002;
constexpr size_t kSmb2Needed = kSmb2Header + 6;
constexpr size_t kSmb2Shortest = kSmb2Header + 64;

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
  if (length < kSmb1Shortest) return NotSmb();
  const uint8_t words = m[kSmb1Header];
  if (m[kSmb1Command] != kNegotiateCommand || Le32(m + kSmb1Status) != 0 || (m[kSmb1Flags] & kSmb1Reply) == 0 ||
      length < kSmb1Header + 1 + 2u * words + 2) {
    return NotSmb();
  }
  // Only NT LM 0.12's answer has 17 words; one word is "none of these".
  if (words != kNtLmWords || Le16(m + kSmb1Header + 1) != kNtLm012Index) return NotSmb();
  return Answer{Kind::kSmb1, kNtLm012, (m[kSmb1Header + 3] & kSmb1SigningRequired) != 0};
}

Answer ReadSmb2(const uint8_t* m, size_t length) {
  if (length < kSmb2Shortest || Le16(m + kSmb2HeaderSize) != kSmb2Header || Le32(m + kSmb2Status) != 0 ||
      Le16(m + kSmb2Command) != 0 || (Le32(m + kSmb2Flags) & kSmb2ServerToRedir) == 0 ||
      Le16(m + kSmb2Header) != kSmb2NegotiateSize) {
    return NotSmb();
  }
  const uint16_t dialect = Le16(m + kSmb2Header + 4);
  if (dialect != kSmb2002 && dialect != kSmb2Wildcard) return NotSmb();
  return Answer{Kind::kSmb2, dialect, (Le16(m + kSmb2Header + 2) & kSmb2SigningRequired) != 0};
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
  smb.resize(kSmb1Header, 0);  // status, flags, no ids: nothing is signed or logged on
  smb[kSmb1Flags] = 0x18;      // case-insensitive, canonical paths
  smb[kSmb1Flags + 1] = 0x01;  // Flags2: long names...
  smb[kSmb1Flags + 2] = 0xC8;  // ...extended security, NT status codes, Unicode
  smb.push_back(0);            // no parameter words
  smb.push_back(static_cast<uint8_t>(dialects.size()));
  smb.push_back(static_cast<uint8_t>(dialects.size() >> 8));
  smb.insert(smb.end(), dialects.begin(), dialects.end());

  std::vector<uint8_t> frame{kSessionMessage};
  PutBe(frame, smb.size(), 3);
  frame.insert(frame.end(), smb.begin(), smb.end());
  return frame;
}

std::vector<uint8_t> SessionRequest() {
  const std::string called = mirelka::netbios::EncodeName(*mirelka::netbios::MakeName("*SMBSERVER", 0x20));
  const std::string calling = mirelka::netbios::EncodeName(*mirelka::netbios::MakeName("MIRELKA", 0x00));
  std::vector<uint8_t> frame{kSessionRequest, 0};
  PutBe(frame, called.size() + calling.size() + 2, 2);
  for (const std::string* name : {&called, &calling}) {
    frame.insert(frame.end(), name->begin(), name->end());
    frame.push_back(0);  // the empty scope
  }
  return frame;
}

Session ReadSession(const uint8_t* data, size_t size) {
  if (size < kSessionHeader) return Session::kIncomplete;
  if (data[0] == kPositiveResponse && data[1] == 0 && data[2] == 0 && data[3] == 0) return Session::kAccepted;
  if (data[0] == kNegativeResponse) return Session::kRefused;
  return Session::kNotNetbios;
}

Answer Read(const uint8_t* data, size_t size) {
  if (size == 0) return Answer{};
  if (data[0] != kSessionMessage) return NotSmb();
  if (size < kSessionHeader) return Answer{};
  const size_t length = static_cast<size_t>(data[1]) << 16 | static_cast<size_t>(data[2]) << 8 | data[3];
  if (length > kMaxFrameBytes || length < kSmb1Shortest) return NotSmb();
  const uint8_t* m = data + kSessionHeader;
  const size_t have = std::min(size - kSessionHeader, length);  // bytes past the frame are not its own
  // The protocol id decides as soon as its bytes are in: garbage fails early.
  const size_t idBytes = std::min(have, sizeof kSmb1Id);
  const bool smb1 = std::memcmp(m, kSmb1Id, idBytes) == 0;
  const bool smb2 = std::memcmp(m, kSmb2Id, idBytes) == 0;
  if (!smb1 && !smb2) return NotSmb();
  if (have < sizeof kSmb1Id) return Answer{};
  if (smb2 && length < kSmb2Shortest) return NotSmb();
  if (smb1) return have < kSmb1Needed ? Answer{} : ReadSmb1(m, length);
  return have < kSmb2Needed ? Answer{} : ReadSmb2(m, length);
}

}  // namespace netinfo::negotiate
