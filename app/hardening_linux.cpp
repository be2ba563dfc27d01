// No core file and no ptrace from other processes of the user: a core dump
// (also one piped to a crash collector) would carry the keyring's passwords.
#include <sys/prctl.h>
#include <sys/resource.h>

#include "hardening.h"

void KeepSecretsOutOfCoreDumps() {
  const rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  // LeakSanitizer stops the process's threads with ptrace from a helper
  // process, which an undumpable process refuses: sanitizer builds keep only
  // the core limit.
#if defined(__SANITIZE_ADDRESS__)
  return;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return;
#endif
#endif
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}
