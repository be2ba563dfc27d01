// Platforms without a core-dump switch of their own here.
#include "hardening.h"

void KeepSecretsOutOfCoreDumps() {}
