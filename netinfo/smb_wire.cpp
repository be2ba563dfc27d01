#include "smb_wire.h"

#include <string.h>  // explicit_bzero

namespace netinfo::smbwire {
namespace {

void PutU32(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutText(std::string& out, const std::string& text) {
  PutU32(out, static_cast<uint32_t>(text.size()));
  out += text;
}

// Header and body head; the length is filled in by Finish.
std::string Start(uint8_t kind) {
  std::string out(kHeaderBytes, '\0');
  out += static_cast<char>(kVersion);
  out += static_cast<char>(kind);
  return out;
}

std::string Finish(std::string frame) {
  const auto length = static_cast<uint32_t>(frame.size() - kHeaderBytes);
  for (size_t i = 0; i < kHeaderBytes; ++i) frame[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  return frame;
}

// A cursor over one body that never reads past its end.
class Reader {
 public:
  Reader(const unsigned char* data, size_t size) : data_(data), left_(size) {}
  bool U8(uint8_t* value) {
    if (left_ < 1) return false;
    *value = *data_;
    Skip(1);
    return true;
  }
  bool U16(uint16_t* value) {
    if (left_ < 2) return false;
    *value = static_cast<uint16_t>(data_[0] | (data_[1] << 8));
    Skip(2);
    return true;
  }
  bool U32(uint32_t* value) {
    if (left_ < 4) return false;
    *value = static_cast<uint32_t>(data_[0]) | (static_cast<uint32_t>(data_[1]) << 8) |
             (static_cast<uint32_t>(data_[2]) << 16) | (static_cast<uint32_t>(data_[3]) << 24);
    Skip(4);
    return true;
  }
  bool Text(std::string* text) {
    uint32_t length = 0;
    if (!U32(&length) || length > kMaxTextBytes || length > left_) return false;
    text->assign(reinterpret_cast<const char*>(data_), length);
    Skip(length);
    return true;
  }
  bool Head(uint8_t kind) {
    uint8_t version = 0, got = 0;
    return U8(&version) && version == kVersion && U8(&got) && got == kind;
  }
  size_t left() const { return left_; }

 private:
  void Skip(size_t n) {
    data_ += n;
    left_ -= n;
  }
  const unsigned char* data_;
  size_t left_;
};

// The least a record takes on the wire: three numbers and two empty texts.
constexpr size_t kMinRecordBytes = 5 * 4;

}  // namespace

void Request::Wipe() {
  if (!password.empty()) explicit_bzero(password.data(), password.size());
  password.clear();
}

std::string EncodeRequest(const Request& request) {
  std::string out = Start(kKindRequest);
  out += static_cast<char>(request.target);
  out += static_cast<char>((request.browse ? kFlagBrowse : 0) | (request.smb1 ? kFlagSmb1 : 0));
  out += static_cast<char>(request.port & 0xFF);
  out += static_cast<char>(request.port >> 8);
  PutText(out, request.host);
  PutText(out, request.name);
  out += static_cast<char>(request.logon);
  PutText(out, request.workgroup);
  PutText(out, request.user);
  PutText(out, request.password);
  return Finish(std::move(out));
}

std::string EncodeReply(const Reply& reply) {
  std::string out = Start(kKindReply);
  PutU32(out, static_cast<uint32_t>(reply.error));
  PutText(out, reply.status);
  PutU32(out, static_cast<uint32_t>(reply.records.size()));
  for (const Record& record : reply.records) {
    PutU32(out, record.type);
    PutU32(out, record.displayType);
    PutU32(out, record.usage);
    PutText(out, record.remoteName);
    PutText(out, record.remoteText);
  }
  return Finish(std::move(out));
}

bool BodyLength(const unsigned char header[kHeaderBytes], size_t cap, size_t* length) {
  const size_t value = static_cast<size_t>(header[0]) | (static_cast<size_t>(header[1]) << 8) |
                       (static_cast<size_t>(header[2]) << 16) | (static_cast<size_t>(header[3]) << 24);
  if (value == 0 || value > cap) return false;
  *length = value;
  return true;
}

bool DecodeRequest(const unsigned char* body, size_t size, Request* out) {
  if (size > kMaxRequestBytes) return false;
  Reader in(body, size);
  Request request;
  uint8_t target = 0, flags = 0, logon = 0;
  if (!in.Head(kKindRequest) || !in.U8(&target) || !in.U8(&flags) || !in.U16(&request.port) ||
      !in.Text(&request.host) || !in.Text(&request.name) || !in.U8(&logon) || !in.Text(&request.workgroup) ||
      !in.Text(&request.user) || !in.Text(&request.password) || in.left() != 0) {
    request.Wipe();
    return false;
  }
  if (target > static_cast<uint8_t>(Target::kServer) || (flags & ~(kFlagBrowse | kFlagSmb1)) != 0 ||
      logon > static_cast<uint8_t>(LogonKind::kAnonymous)) {
    request.Wipe();
    return false;
  }
  request.target = static_cast<Target>(target);
  request.browse = (flags & kFlagBrowse) != 0;
  request.smb1 = (flags & kFlagSmb1) != 0;
  request.logon = static_cast<LogonKind>(logon);
  *out = std::move(request);
  return true;
}

bool DecodeReply(const unsigned char* body, size_t size, Reply* out) {
  if (size > kMaxReplyBytes) return false;
  Reader in(body, size);
  Reply reply;
  uint32_t error = 0, count = 0;
  if (!in.Head(kKindReply) || !in.U32(&error) || !in.Text(&reply.status) || !in.U32(&count)) return false;
  // A count the bytes left cannot hold is refused before anything is
  // reserved for it.
  if (count > in.left() / kMinRecordBytes) return false;
  reply.error = static_cast<int32_t>(error);
  if (reply.error < 0 || (reply.error != 0 && count != 0)) return false;
  // The server's status is a name such as NT_STATUS_LOGON_FAILURE (or
  // NT_STATUS_0xc0000001): ASCII letters, digits and underscores, nothing a
  // terminal would act on.
  for (const char c : reply.status)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  reply.records.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    Record record;
    if (!in.U32(&record.type) || !in.U32(&record.displayType) || !in.U32(&record.usage) ||
        !in.Text(&record.remoteName) || !in.Text(&record.remoteText))
      return false;
    reply.records.push_back(std::move(record));
  }
  if (in.left() != 0) return false;
  *out = std::move(reply);
  return true;
}

}  // namespace netinfo::smbwire
