// Feeds arbitrary bytes to the window's reader of SMB helper replies, as the
// pool reads them off the channel: a header, then the body it announces.
// Whatever is accepted must write back to the same bytes. Every buffer is
// heap-allocated to its exact size for ASan.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "smb_wire.h"

using namespace netinfo::smbwire;

namespace {

void Read(const std::vector<unsigned char>& body) {
  Reply reply;
  if (!DecodeReply(body.data(), body.size(), &reply)) return;
  const std::string again = EncodeReply(reply);
  if (again.size() != body.size() + kHeaderBytes || std::memcmp(again.data() + kHeaderBytes, body.data(), body.size()))
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Read(std::vector<unsigned char>(data, data + size));
  if (size < kHeaderBytes) return 0;
  const std::vector<unsigned char> header(data, data + kHeaderBytes);
  size_t length = 0;
  if (!BodyLength(header.data(), kMaxReplyBytes, &length)) return 0;
  if (length > size - kHeaderBytes) return 0;  // the channel closed early
  Read(std::vector<unsigned char>(data + kHeaderBytes, data + kHeaderBytes + length));
  return 0;
}
