// The five exports and the optional sixth. Nothing thrown inside crosses the C boundary, and the
// caller's buffer is touched only through ReadInput and WriteOutcome.
#include "mirelka.h"

#include <atomic>

#include "resolve.h"
#include "answer_buffer.h"

namespace {

static_assert(static_cast<int32_t>(mirelka::Source::kDotted) == MIRELKA_FROM_DOTTED &&
              static_cast<int32_t>(mirelka::Source::kDns) == MIRELKA_FROM_DNS &&
              static_cast<int32_t>(mirelka::Source::kNetbios) == MIRELKA_FROM_NETBIOS &&
              static_cast<int32_t>(mirelka::Source::kMdns) == MIRELKA_FROM_MDNS &&
              static_cast<int32_t>(mirelka::Source::kLlmnr) == MIRELKA_FROM_LLMNR &&
              static_cast<int32_t>(mirelka::Source::kSystem) == MIRELKA_FROM_SYSTEM);

std::atomic<int32_t> g_roundTripMs{-1};

template <typename Convert>
uint16_t Guarded(char* buf, int32_t size, Convert&& convert) noexcept {
  if (buf == nullptr || size < 0) return mirelka::kBadInput;
  try {
    return mirelka::WriteOutcome(buf, size, convert(mirelka::ReadInput(buf, size)));
  } catch (...) {
    return mirelka::WriteOutcome(buf, size, mirelka::Outcome{mirelka::kInternal, mirelka::reason::kInternal});
  }
}

}  // namespace

extern "C" {

MIRELKA_API uint16_t MIRELKA_CALL nametoip(char* buf, int32_t size) {
  return Guarded(buf, size, [](const std::string& name) { return mirelka::NameToIp(name); });
}

MIRELKA_API uint16_t MIRELKA_CALL nametoipfrom(char* buf, int32_t size, int32_t* source) {
  mirelka::Source found = mirelka::Source::kSystem;
  const uint16_t code =
      Guarded(buf, size, [&found](const std::string& name) { return mirelka::NameToIp(name, &found); });
  if (code == mirelka::kOk && source) *source = static_cast<int32_t>(found);
  return code;
}

MIRELKA_API uint16_t MIRELKA_CALL iptoname(char* buf, int32_t size) {
  return Guarded(buf, size, [](const std::string& dotted) { return mirelka::IpToName(dotted); });
}

MIRELKA_API uint16_t MIRELKA_CALL connectpc(char* buf, int32_t size) {
  int32_t roundTripMs = -1;
  const uint16_t code =
      Guarded(buf, size, [&roundTripMs](const std::string& name) { return mirelka::ConnectPc(name, roundTripMs); });
  if (code == mirelka::kOk) g_roundTripMs = roundTripMs;
  return code;
}

MIRELKA_API int32_t MIRELKA_CALL init(void) {
  g_roundTripMs = -1;
  return 0;
}

MIRELKA_API int32_t MIRELKA_CALL pingresult(void) { return g_roundTripMs; }

}  // extern "C"
