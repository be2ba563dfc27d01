// A stand-in for mirelka-smb that misbehaves on request: the container's
// name says how. "ok..." answers with one share that carries this process's
// id (so a test sees which helper served it); the others crash, hang, close
// early or write what no reader may accept.
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "smb_wire.h"

namespace {

bool ReadAll(unsigned char* data, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = read(0, data + got, size - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

void Write(const std::string& bytes) {
  size_t put = 0;
  while (put < bytes.size()) {
    const ssize_t n = write(1, bytes.data() + put, bytes.size() - put);
    if (n <= 0) _exit(5);
    put += static_cast<size_t>(n);
  }
}

std::string Header(uint32_t length) {
  std::string out;
  for (int i = 0; i < 4; ++i) out += static_cast<char>((length >> (8 * i)) & 0xFF);
  return out;
}

}  // namespace

int main() {
  using namespace netinfo::smbwire;
  for (;;) {
    unsigned char header[kHeaderBytes];
    size_t length = 0;
    if (!ReadAll(header, sizeof header)) return 0;
    if (!BodyLength(header, kMaxRequestBytes, &length)) return 3;
    std::string body(length, '\0');
    Request request;
    if (!ReadAll(reinterpret_cast<unsigned char*>(body.data()), length) ||
        !DecodeRequest(reinterpret_cast<const unsigned char*>(body.data()), length, &request))
      return 3;
    const std::string& mode = request.name;
    if (mode.rfind("ok", 0) == 0) {
      Reply reply;
      Record record;
      record.displayType = 3;
      record.remoteName = "\\\\" + mode + "\\" + std::to_string(getpid());
      record.remoteText = record.remoteName;
      reply.records.push_back(record);
      Write(EncodeReply(reply));
    } else if (mode == "refused") {
      Reply reply;
      reply.error = 13;  // EACCES
      Write(EncodeReply(reply));
    } else if (mode == "crash") {
      // The default action, even where a sanitizer has put its own handler.
      signal(SIGSEGV, SIG_DFL);
      raise(SIGSEGV);
      _exit(99);
    } else if (mode == "hang") {
      for (;;) pause();
    } else if (mode == "close") {
      return 0;
    } else if (mode == "truncated") {
      Write(Header(64) + std::string("\x01R", 2));
      return 0;
    } else if (mode == "oversized") {
      Write(Header(static_cast<uint32_t>(kMaxReplyBytes + 1)));
      for (;;) pause();
    } else if (mode == "absurd") {
      // a reply that claims four thousand million records in eight bytes
      Write(Header(18) + std::string("\x01R\0\0\0\0\xFF\xFF\xFF\xFF", 10) + std::string(8, 'x'));
    } else if (mode == "garbage") {
      Write("HTTP/1.0 200 OK\r\n\r\n");
      for (;;) pause();
    }
  }
}
