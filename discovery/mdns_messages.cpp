#include "mdns_messages.h"

#include <algorithm>

#include "wire.h"

namespace discovery::mdns {

namespace wire = mirelka::wire;

namespace {

constexpr size_t kMaxWireName = 254;  // 255 with the final zero byte
constexpr size_t kMaxModelBytes = 128;
constexpr uint16_t kClassIn = 1;
constexpr uint16_t kCacheFlush = 0x8000;  // in a record's class

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

const WireName& DeviceInfoType() {
  static const WireName type("\x0c_device-info\x04_tcp\x05local", 24);
  return type;
}

// The name that is one label followed by type: an instance of it.
bool IsInstance(const WireName& name, const WireName& type = ServiceType()) {
  if (name.empty()) return false;
  const size_t label = static_cast<unsigned char>(name[0]);
  return label > 0 && name.size() == 1 + label + type.size() && SameName(name.substr(1 + label), type);
}

// A name that fills [start, end) of the message exactly; its pointers may
// lead anywhere earlier.
bool NameFilling(const uint8_t* data, size_t start, size_t end, WireName& out) {
  wire::Reader reader(data, end);
  return reader.Skip(start) && reader.Name(out, kMaxWireName) && reader.pos() == end;
}

// The value of the TXT record's "model" key; the record's strings must fill it.
bool TxtModel(const uint8_t* rdata, size_t size, std::string& model) {
  size_t at = 0;
  while (at < size) {
    const size_t length = rdata[at];
    if (size - at - 1 < length) return false;
    const std::string entry(reinterpret_cast<const char*>(rdata + at + 1), length);
    at += 1 + length;
    const size_t equals = entry.find('=');
    std::string key = entry.substr(0, equals);
    std::transform(key.begin(), key.end(), key.begin(), Lower);
    if (key == "model" && equals != std::string::npos && model.empty())
      model = entry.substr(equals + 1, kMaxModelBytes);
  }
  return true;
}

// One record; what a browse uses goes into out. False: the message does not
// read (the rest of it cannot be found).
bool ReadRecord(wire::Reader& reader, const uint8_t* data, Response& out) {
  wire::RecordHead head;
  if (!reader.ReadRecordHead(head, kMaxWireName)) return false;
  const size_t start = reader.pos();
  const uint8_t* rdata = nullptr;
  if (!reader.Take(head.rdlength, rdata)) return false;
  // Another class, or a goodbye (TTL 0): nothing for a browse.
  if ((head.rclass & ~kCacheFlush) != kClassIn || head.ttl == 0) return true;
  const size_t end = start + head.rdlength;
  switch (head.type) {
    case kTypePtr: {
      if (!SameName(head.name, ServiceType())) return true;
      WireName target;
      if (NameFilling(data, start, end, target) && IsInstance(target))
        out.instances.push_back(std::move(target));
      else
        ++out.forged;
      return true;
    }
    case kTypeSrv: {
      if (!IsInstance(head.name)) return true;
      WireName host;
      if (head.rdlength > 6 && NameFilling(data, start + 6, end, host) && !host.empty())
        out.services.push_back({std::move(head.name), std::move(host)});
      else
        ++out.forged;
      return true;
    }
    case kTypeTxt: {
      const bool deviceInfo = IsInstance(head.name, DeviceInfoType());
      if (!deviceInfo && !IsInstance(head.name)) return true;
      std::string model;
      if (!TxtModel(rdata, head.rdlength, model)) {
        ++out.forged;
        return true;
      }
      // Kept under the service's instance name.
      WireName instance = head.name.substr(0, 1 + static_cast<unsigned char>(head.name[0]));
      out.texts.push_back({instance + ServiceType(), std::move(model), deviceInfo});
      return true;
    }
    case kTypeA:
      if (head.rdlength == 4 && !head.name.empty())
        out.addresses.push_back({std::move(head.name), static_cast<uint32_t>(rdata[0]) << 24 |
                                                           static_cast<uint32_t>(rdata[1]) << 16 |
                                                           static_cast<uint32_t>(rdata[2]) << 8 | rdata[3]});
      else
        ++out.forged;
      return true;
    default:
      return true;
  }
}

}  // namespace

const WireName& ServiceType() {
  static const WireName type("\x04_smb\x04_tcp\x05local", 16);
  return type;
}

WireName DeviceInfoName(const WireName& instance) {
  return instance.substr(0, 1 + static_cast<unsigned char>(instance[0])) + DeviceInfoType();
}

bool SameName(const WireName& a, const WireName& b) {
  if (a.size() != b.size()) return false;
  // Length bytes are below 64, so folding letters leaves them alone.
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string Dotted(const WireName& name) {
  std::string text;
  for (size_t at = 0; at < name.size();) {
    const size_t length = static_cast<unsigned char>(name[at]);
    if (!text.empty()) text += '.';
    text.append(name, at + 1, length);
    at += 1 + length;
  }
  return text;
}

std::vector<uint8_t> BuildQuery(uint16_t id, const WireName& name, uint16_t type) {
  std::vector<uint8_t> packet;
  wire::PutQueryHeader(packet, id, 0);
  wire::PutName(packet, name);
  wire::PutU16(packet, type);
  wire::PutU16(packet, kClassIn);
  return packet;
}

bool OnLink(uint32_t address, const std::vector<Link>& links) {
  return std::any_of(links.begin(), links.end(), [address](const Link& l) {
    // The network's own and broadcast addresses are no host's.
    const uint32_t host = address & ~l.mask;
    return l.mask != 0 && (address & l.mask) == (l.address & l.mask) && host != 0 && host != ~l.mask;
  });
}

std::optional<Response> ReadResponse(const uint8_t* data, size_t size, Refusal* why) {
  Refusal ignored;
  Refusal& reason = why ? *why : ignored;
  reason = Refusal::None;
  if (!data || size > kMaxMessageBytes) {
    reason = data ? Refusal::Oversized : Refusal::Malformed;
    return std::nullopt;
  }
  wire::Reader reader(data, size);
  wire::Header header;
  if (!reader.ReadHeader(header)) {
    reason = Refusal::Malformed;
    return std::nullopt;
  }
  if (!(header.flags & wire::kResponse) || (header.flags & wire::kOpcodeMask) || (header.flags & wire::kRcodeMask) ||
      (header.flags & wire::kTruncated)) {
    reason = Refusal::NotResponse;
    return std::nullopt;
  }
  size_t records = 0;
  for (const uint16_t count : header.counts) records += count;
  if (records > kMaxRecords) {
    reason = Refusal::Oversized;
    return std::nullopt;
  }
  Response response;
  response.id = header.id;
  for (uint16_t i = 0; i < header.counts[0]; ++i) {
    std::string name;
    if (!reader.Name(name, kMaxWireName) || !reader.Skip(4)) {
      reason = Refusal::Malformed;
      return std::nullopt;
    }
  }
  for (size_t i = header.counts[0]; i < records; ++i) {
    if (!ReadRecord(reader, data, response)) {
      reason = Refusal::Malformed;
      return std::nullopt;
    }
  }
  return response;
}

Gathering::Service* Gathering::Find(const WireName& instance) {
  for (Service& s : services_)
    if (SameName(s.instance, instance)) return &s;
  return nullptr;
}

Gathering::Service* Gathering::Add(const WireName& instance) {
  if (Service* s = Find(instance)) return s;
  if (services_.size() >= kMaxServices) return nullptr;
  services_.push_back(Service{instance, {}, {}, {}, {}, 0, false});
  return &services_.back();
}

void Gathering::Take(const Response& response, uint32_t from) {
  if (!OnLink(from, links_)) {
    ++counts_.offLink;
    return;
  }
  counts_.forged += response.forged;
  for (const WireName& instance : response.instances) Add(instance);
  for (const Response::Service& srv : response.services)
    if (Service* s = Add(srv.instance)) s->host = srv.host;
  for (const Response::Text& txt : response.texts)
    if (Service* s = Add(txt.instance)) (txt.deviceInfo ? s->deviceModel : s->model) = txt.model;
  for (const Response::Address& a : response.addresses) {
    if (!OnLink(a.address, links_)) {
      ++counts_.forged;
      continue;
    }
    const auto known = std::find_if(addresses_.begin(), addresses_.end(),
                                    [&](const Response::Address& k) { return SameName(k.host, a.host); });
    if (known != addresses_.end())
      known->address = a.address;
    else if (addresses_.size() < 2 * kMaxServices)
      addresses_.push_back(a);
  }
}

void Gathering::Refused(Refusal why) {
  if (why == Refusal::Malformed || why == Refusal::Oversized) ++counts_.refused;
}

std::vector<Gathering::Found> Gathering::Ready(bool final) {
  std::vector<Found> ready;
  for (Service& s : services_) {
    const bool modelKnown = (s.model && !s.model->empty()) || (s.model && s.deviceModel);
    if (s.reported || s.host.empty() || (!modelKnown && !final)) continue;
    const auto a = std::find_if(addresses_.begin(), addresses_.end(),
                                [&](const Response::Address& k) { return SameName(k.host, s.host); });
    if (a == addresses_.end()) continue;
    s.reported = true;
    const size_t label = static_cast<unsigned char>(s.instance[0]);
    const std::string model = s.model && !s.model->empty() ? *s.model : s.deviceModel.value_or(std::string());
    ready.push_back({s.instance.substr(1, label), Dotted(s.host), a->address, model});
  }
  return ready;
}

std::vector<Gathering::Question> Gathering::FollowUps() {
  std::vector<Question> questions;
  for (Service& s : services_) {
    if (s.reported || s.asks >= kAsksPerService || followUps_ >= kMaxFollowUps) continue;
    ++s.asks;
    const auto ask = [&](const WireName& name, uint16_t type) {
      if (followUps_ >= kMaxFollowUps) return;
      questions.push_back({name, type});
      ++followUps_;
    };
    if (s.host.empty()) ask(s.instance, kTypeSrv);
    if (!s.model) ask(s.instance, kTypeTxt);
    if (!s.deviceModel && !(s.model && !s.model->empty())) ask(DeviceInfoName(s.instance), kTypeTxt);
    const bool addressed = std::any_of(addresses_.begin(), addresses_.end(),
                                       [&](const Response::Address& k) { return SameName(k.host, s.host); });
    if (!s.host.empty() && !addressed) ask(s.host, kTypeA);
  }
  return questions;
}

}  // namespace discovery::mdns
