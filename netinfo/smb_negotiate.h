#pragma once
// SMB's first exchange over bytes, without sockets: the negotiate request a
// client may open any SMB server with, the NetBIOS session request port 139
// needs before it, and bounded readers of what has arrived of the answers.
// The readers look only at the headers and the few fields the probe needs
// (smb_probe.h), never past the bytes given, and decide as soon as those are
// in: the rest of a long answer is never waited for.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace netinfo::negotiate {

// An answer whose frame says it is longer than this is no negotiate answer.
constexpr size_t kMaxFrameBytes = 64 * 1024;
// The dialect revisions an SMB2 server may answer our request with: those it
// names by "SMB 2.002" and "SMB 2.???" (the wildcard, for 2.1 and later).
constexpr uint16_t kSmb2002 = 0x0202;
constexpr uint16_t kSmb2Wildcard = 0x02FF;
// How the probe names the one SMB1 dialect offered, NT LM 0.12.
constexpr uint16_t kNtLm012 = 0x0100;

// The SMB1-format negotiate offering NT LM 0.12, SMB 2.002 and SMB 2.???,
// framed by the 4-byte session header (type 0, length).
std::vector<uint8_t> Request();
// The NetBIOS session request (port 139) for the called name *SMBSERVER,
// which Samba and Windows accept whatever their own name is.
std::vector<uint8_t> SessionRequest();

enum class Session { kIncomplete, kAccepted, kRefused, kNotNetbios };
// Reads the answer to SessionRequest: the first 4 bytes decide. A positive
// answer is exactly its header; kRefused is a negative answer (the called
// name refused), kNotNetbios anything else.
Session ReadSession(const uint8_t* data, size_t size);
// How many bytes of a decided session answer belong to it (4); what follows
// them is the start of the next message.
constexpr size_t kSessionAnswerBytes = 4;

enum class Kind { kIncomplete, kNotSmb, kSmb2, kSmb1 };
struct Answer {
  Kind kind = Kind::kIncomplete;
  uint16_t dialect = 0;  // SMB2: its DialectRevision; SMB1: kNtLm012
  bool signingRequired = false;
};
// Reads what has arrived of the answer to Request. kNotSmb: a frame that is
// not a session message, too long, or too short for what it must hold; a
// protocol id, command or status that is not a successful negotiate answer;
// a dialect that was not offered. kIncomplete until the fields needed are in
// (at most 74 bytes).
Answer Read(const uint8_t* data, size_t size);

}  // namespace netinfo::negotiate
