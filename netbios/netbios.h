#pragma once
// NetBIOS name service packets (UDP 137): building queries and reading
// replies. Plain code over bytes, no sockets. A reply is read only within its
// length; one that is truncated, whose counts or lengths overrun it, that
// answers another transaction, or that reports an error yields nothing.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "address.h"

namespace mirelka::netbios {

constexpr uint16_t kPort = 137;
constexpr size_t kMaxNameLength = 15;

// Name suffixes (the 16th byte).
constexpr uint8_t kWorkstation = 0x00;
constexpr uint8_t kFileServer = 0x20;

// Name flags of a node status entry.
constexpr uint16_t kGroupFlag = 0x8000;
constexpr uint16_t kConflictFlag = 0x0800;

// The 16 bytes of a NetBIOS name: 15 bytes blank-padded, then the suffix.
using Name = std::array<uint8_t, 16>;

// Upper-cases the ASCII letters of name (names compare without case), pads it
// with blanks and appends the suffix; nothing for an empty name or one longer
// than 15 bytes.
std::optional<Name> MakeName(std::string_view name, uint8_t suffix);

// The name as its one wire label: a length byte (32), then its first-level
// encoding, no scope and no terminating zero. The name service puts it in
// its questions, the session service (TCP 139) in its session request.
std::string EncodeName(const Name& name);

// A name query (question type NB); broadcast sets the B flag and asks for
// recursion, as a broadcast query on a LAN does.
std::vector<uint8_t> BuildNameQuery(uint16_t id, const Name& name, bool broadcast);
// A node status request (question type NBSTAT) for the name "*".
std::vector<uint8_t> BuildNodeStatusQuery(uint16_t id);

// The unique addresses a positive name query reply gives for name, in order,
// without repeats; group entries and unusable addresses are left out.
std::vector<Ipv4> ParseNameQueryReply(const uint8_t* data, size_t size, uint16_t id, const Name& name);

struct NodeName {
  std::string name;  // trailing blanks trimmed
  uint8_t suffix = 0;
  uint16_t flags = 0;
  bool operator==(const NodeName& other) const {
    return name == other.name && suffix == other.suffix && flags == other.flags;
  }
};

// The names of a positive node status reply, in order, without repeats.
// Entries holding control bytes or nothing but blanks are left out.
std::vector<NodeName> ParseNodeStatusReply(const uint8_t* data, size_t size, uint16_t id);

// The unit id of a positive node status reply (the adapter's MAC address,
// the first six bytes of its statistics); nothing when the reply has none or
// gives all zeros, as Samba does.
std::optional<std::array<uint8_t, 6>> ParseNodeStatusUnitId(const uint8_t* data, size_t size, uint16_t id);

// The computer's name among a node status reply's names: the first unique
// workstation name (suffix 0x00), else the first unique file server name
// (0x20). Group names and names in conflict are skipped.
std::optional<std::string> PickComputerName(const std::vector<NodeName>& names);
// The workgroup (or domain) among them: the first group workstation name
// (suffix 0x00) not in conflict.
std::optional<std::string> PickWorkgroupName(const std::vector<NodeName>& names);

}  // namespace mirelka::netbios
