// Platforms without a core-dump switch of their own here: Windows writes no
// dump of a user program unless error reporting is set up to.
#include "hardening.h"

void KeepSecretsOutOfCoreDumps() {}
