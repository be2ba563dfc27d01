// A companion library that lacks init and connectpc, for the binding tests.
#include "mirelka.h"

extern "C" {
MIRELKA_API int32_t MIRELKA_CALL pingresult(void) { return -1; }
MIRELKA_API uint16_t MIRELKA_CALL nametoip(char*, int32_t) { return 1; }
MIRELKA_API uint16_t MIRELKA_CALL iptoname(char*, int32_t) { return 1; }
}
