// A misbehaving companion library: every conversion fills the buffer up to and
// including buf[size] with 'A' and leaves no NUL, then reports success.
#include <cstring>

#include "mirelka.h"

namespace {
uint16_t Fill(char* buf, int32_t size) {
  if (buf != nullptr && size >= 0) std::memset(buf, 'A', static_cast<size_t>(size) + 1);
  return 0;
}
}  // namespace

extern "C" {
MIRELKA_API int32_t MIRELKA_CALL pingresult(void) { return -1; }
MIRELKA_API int32_t MIRELKA_CALL init(void) { return 0; }
MIRELKA_API uint16_t MIRELKA_CALL nametoip(char* buf, int32_t size) { return Fill(buf, size); }
MIRELKA_API uint16_t MIRELKA_CALL iptoname(char* buf, int32_t size) { return Fill(buf, size); }
MIRELKA_API uint16_t MIRELKA_CALL connectpc(char* buf, int32_t size) { return Fill(buf, size); }
}
