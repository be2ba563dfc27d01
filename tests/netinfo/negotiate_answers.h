#pragma once
// Negotiate answers as servers send them, built field by field for the
// reader's and the probe's tests.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "smb_negotiate.h"

namespace negotiate_answers {

using Bytes = std::vector<uint8_t>;

inline void Le(Bytes& b, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// A session frame around message, announcing length (the message's own by default).
inline Bytes Frame(const Bytes& message, long length = -1) {
  const size_t n = length < 0 ? message.size() : static_cast<size_t>(length);
  Bytes b{0, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
  b.insert(b.end(), message.begin(), message.end());
  return b;
}

struct Smb2 {
  uint16_t dialect = netinfo::negotiate::kSmb2Wildcard;
  uint16_t securityMode = 0x01;
  uint32_t status = 0;
  uint16_t command = 0;
  uint32_t flags = 0x1;
  size_t size = 64 + 64 + 74;  // header, fixed part, a security blob
};
inline Bytes MakeSmb2(const Smb2& s) {
  Bytes m(s.size, 0);
  m[0] = 0xFE, m[1] = 'S', m[2] = 'M', m[3] = 'B';
  Le(m, 4, 64, 2);
  Le(m, 8, s.status, 4);
  Le(m, 12, s.command, 2);
  Le(m, 16, s.flags, 4);
  Le(m, 64, 65, 2);
  Le(m, 66, s.securityMode, 2);
  Le(m, 68, s.dialect, 2);
  return m;
}

struct Smb1 {
  uint8_t words = 17;
  uint16_t index = 0;
  uint8_t securityMode = 0x03;
  uint8_t command = 0x72;
  uint8_t flags = 0x98;
  long size = -1;  // header, words and byte count by default
};
inline Bytes MakeSmb1(const Smb1& s) {
  Bytes m(s.size < 0 ? 32 + 1 + 2 * s.words + 2 : static_cast<size_t>(s.size), 0);
  m[0] = 0xFF, m[1] = 'S', m[2] = 'M', m[3] = 'B';
  m[4] = s.command;
  m[9] = s.flags;
  m[32] = s.words;
  Le(m, 33, s.index, 2);
  if (m.size() > 35) m[35] = s.securityMode;
  return m;
}

}  // namespace negotiate_answers
