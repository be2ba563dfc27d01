#pragma once
// DNS-SD over multicast DNS without a daemon, as plain code over bytes: the
// one-shot ("legacy") queries for _smb._tcp.local and what comes back, and
// the state of one browse (which services are complete, what to ask next).
// No Qt, no sockets: the browse source (mdns_browse.cpp) sends and receives.
//
// Every answer is untrusted. A message is read through wire::Reader (no read
// past its end; names at most 254 bytes, at most 128 compression pointers,
// each strictly backwards); one larger than kMaxMessageBytes, announcing more
// than kMaxRecords records, or not read whole is refused. Records of the
// kinds kept that do not read as they must (an A record not 4 bytes long, a
// PTR that names no instance of the service, an SRV whose target is no host
// name) are dropped and counted as forged. An A record is kept only for an
// address on one of the links the query left by.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace discovery::mdns {

constexpr uint16_t kPort = 5353;
constexpr uint32_t kGroup = 0xE00000FBu;  // 224.0.0.251
// RFC 6762 §17: a message is at most 9000 bytes.
constexpr size_t kMaxMessageBytes = 9000;
// A real answer holds a handful of records per service.
constexpr size_t kMaxRecords = 256;
// What one browse keeps: services, and the follow-up questions it may send.
constexpr size_t kMaxServices = 256;
constexpr int kAsksPerService = 2;
constexpr size_t kMaxFollowUps = 128;

constexpr uint16_t kTypeA = 1;
constexpr uint16_t kTypePtr = 12;
constexpr uint16_t kTypeTxt = 16;
constexpr uint16_t kTypeSrv = 33;

// A name in wire form: length-prefixed labels, no final zero byte.
using WireName = std::string;
// _smb._tcp.local
const WireName& ServiceType();
// The instance's device information (<label>._device-info._tcp.local),
// whose TXT "model" names the device where the service's own TXT does not.
WireName DeviceInfoName(const WireName& instance);
bool SameName(const WireName& a, const WireName& b);
// The dotted text of a name ("mdnshost.local"); the labels as they came.
std::string Dotted(const WireName& name);

// A query with one question, class IN, asking for no unicast answer bit:
// sent from a port other than 5353 it is a one-shot query, answered by
// unicast to that port with its id (RFC 6762 §6.7).
std::vector<uint8_t> BuildQuery(uint16_t id, const WireName& name, uint16_t type);

// One interface's IPv4 network (host byte order).
struct Link {
  uint32_t address = 0;
  uint32_t mask = 0;
};
bool OnLink(uint32_t address, const std::vector<Link>& links);

// The records of one response that a browse uses.
struct Response {
  uint16_t id = 0;
  std::vector<WireName> instances;  // PTR _smb._tcp.local -> instance
  struct Service {
    WireName instance, host;
  };
  std::vector<Service> services;  // SRV
  struct Text {
    WireName instance;
    std::string model;        // TXT "model=" value, cut to 128 bytes; empty: none
    bool deviceInfo = false;  // the instance's device information's TXT
  };
  std::vector<Text> texts;
  struct Address {
    WireName host;
    uint32_t address = 0;  // host byte order
  };
  std::vector<Address> addresses;  // A
  int forged = 0;                  // records dropped as forged
};

enum class Refusal { None, NotResponse, Oversized, Malformed };

// A response (not a query; opcode 0, no error, not truncated) read whole.
// Nothing, with the reason, for anything else.
std::optional<Response> ReadResponse(const uint8_t* data, size_t size, Refusal* why = nullptr);

// What one browse has heard, gathered across responses.
class Gathering {
 public:
  explicit Gathering(std::vector<Link> links) : links_(std::move(links)) {}

  // A response that came from `from` (host byte order). One from an address
  // on none of the links is refused and counted.
  void Take(const Response& response, uint32_t from);
  void Refused(Refusal why);

  struct Found {
    std::string instance;  // the instance's label as sent (UTF-8)
    std::string host;      // dotted host name
    uint32_t address = 0;  // on a link
    std::string model;
  };
  // Services that have their host and an on-link address, and a model (or
  // both TXT records, the service's and its device information's) unless
  // final (the search ends), each handed out once.
  std::vector<Found> Ready(bool final);

  struct Question {
    WireName name;
    uint16_t type = 0;
  };
  // What to ask about services still incomplete: SRV and TXT of an instance,
  // its device information's TXT, A of its host; each service asked at most
  // kAsksPerService times, at most kMaxFollowUps questions in all.
  std::vector<Question> FollowUps();

  struct Counts {
    int offLink = 0;  // answers from an address on no link
    int forged = 0;   // records dropped, off-link A records included
    int refused = 0;  // messages that did not read (malformed, oversized)
  };
  const Counts& counts() const { return counts_; }
  size_t Services() const { return services_.size(); }

 private:
  struct Service {
    WireName instance, host;
    std::optional<std::string> model;        // set once its TXT came
    std::optional<std::string> deviceModel;  // set once its device information's TXT came
    std::optional<uint32_t> address;
    int asks = 0;
    bool reported = false;
  };
  Service* Find(const WireName& instance);
  Service* Add(const WireName& instance);

  std::vector<Link> links_;
  std::vector<Service> services_;
  std::vector<Response::Address> addresses_;  // A records heard, by host
  size_t followUps_ = 0;
  Counts counts_;
};

}  // namespace discovery::mdns
