#pragma once
// The messages between the window's process and its SMB helpers
// (mirelka-smb): one request, one reply, each a frame over a socketpair.
//
//   frame   = length (u32, little-endian, of what follows) body
//   body    = version (u8) kind (u8) fields...
//   text    = length (u32) bytes
//   request = target (u8) flags (u8: 1 browse, 2 SMB1 allowed) port (u16)
//             host name logon (u8) workgroup user password
//   reply   = error (i32, an errno; 0: listed) status count (u32)
//             count x (type displayType usage (u32 each) remoteName remoteText)
//
// Plain C++ without Qt or the client library: both ends build it. Every
// reader checks each length against what is left before it reads, and
// refuses a frame over its cap, an unknown version, a count that the bytes
// left cannot hold, and bytes left over.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace netinfo::smbwire {

constexpr uint8_t kVersion = 2;
constexpr uint8_t kKindRequest = 'Q';
constexpr uint8_t kKindReply = 'R';
constexpr uint8_t kFlagBrowse = 1;
constexpr uint8_t kFlagSmb1 = 2;
constexpr size_t kHeaderBytes = 4;
// A request holds a few names and one password (each at most a few hundred
// bytes); a reply, every share of a computer.
constexpr size_t kMaxRequestBytes = 8 * 1024;
constexpr size_t kMaxReplyBytes = 1024 * 1024;
// One text in either message.
constexpr size_t kMaxTextBytes = 4096;

// What the request lists: the network's workgroups, a workgroup's
// computers, or a computer's shares.
enum class Target : uint8_t { kNetwork = 0, kWorkgroup = 1, kServer = 2 };
enum class LogonKind : uint8_t { kKerberos = 0, kPassword = 1, kAnonymous = 2 };

struct Request {
  Target target = Target::kNetwork;
  // Browsing needs SMB1: the range allows NT1 alone. Otherwise the library's
  // default range.
  bool browse = false;
  // The user allowed SMB1 for this one computer (an old NAS): NT1 is added
  // below the default range, NTLMv2 still the only password logon.
  bool smb1 = false;
  uint16_t port = 0;  // 0: the library's choice
  std::string host;   // what the URL names (UTF-8): an address, a DNS name, a workgroup; empty for the network
  std::string name;   // the container's own name (code page 932), which the records' names are built on
  LogonKind logon = LogonKind::kAnonymous;
  std::string workgroup, user, password;  // kPassword: UTF-8; workgroup empty: the library's own
  // Overwrites the password.
  void Wipe();
};

struct Record {
  uint32_t type = 0, displayType = 0, usage = 0;
  std::string remoteName;  // code page 932
  std::string remoteText;  // the peer's UTF-8
};

struct Reply {
  int32_t error = 0;  // an errno; 0 when the records are the listing
  // The server's last NT_STATUS_* name the library logged for a failure
  // (NT_STATUS_LOGON_FAILURE, ...); empty when none.
  std::string status;
  std::vector<Record> records;
};

// The whole frame, header included.
std::string EncodeRequest(const Request& request);
std::string EncodeReply(const Reply& reply);

// The body length a header gives, or false when it is over cap (or zero).
bool BodyLength(const unsigned char header[kHeaderBytes], size_t cap, size_t* length);

// Read one body (without the header); false for anything malformed.
bool DecodeRequest(const unsigned char* body, size_t size, Request* out);
bool DecodeReply(const unsigned char* body, size_t size, Reply* out);

}  // namespace netinfo::smbwire
