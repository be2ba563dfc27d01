// Feeds arbitrary bytes to the SMB negotiate probe's readers as they arrive
// from the peer, every prefix in a buffer of its exact size (for ASan). Once
// a reader has decided, more bytes must not change its mind, and an SMB2
// answer names a dialect that was offered.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "smb_negotiate.h"

using namespace netinfo::negotiate;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bool decided = false;
  Answer first;
  // The readers never need more than 74 bytes; past 160 prefixes only cost time.
  for (size_t n = 0; n <= size && n <= 160; ++n) {
    const std::vector<uint8_t> prefix(data, data + n);
    const Answer a = Read(prefix.data(), prefix.size());
    ReadSession(prefix.data(), prefix.size());
    if (a.kind == Kind::kSmb2 && a.dialect != kSmb2002 && a.dialect != kSmb2Wildcard) __builtin_trap();
    if (decided && (a.kind != first.kind || a.dialect != first.dialect || a.signingRequired != first.signingRequired))
      __builtin_trap();
    if (!decided && a.kind != Kind::kIncomplete) {
      decided = true;
      first = a;
    }
  }
  return 0;
}
