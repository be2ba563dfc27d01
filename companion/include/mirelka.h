/* Mirelka companion network library: name resolution and connection checks.
 *
 * Buffer contract for nametoip, iptoname and connectpc: on entry buf holds the
 * input text (code page 932) of at most size bytes followed by a NUL; the
 * library reads no more than size bytes of it. On return buf holds the output
 * text and a NUL; the library writes at most size + 1 bytes and never touches
 * a byte beyond. Result 0 is success; any other value is failure, and the
 * output is then a short reason text in code page 932.
 *
 * Failure results: 1 no buffer, negative size, empty or malformed input;
 * 2 name or address unknown; 3 the computer did not answer; 4 the answer does
 * not fit in size bytes; 5 sockets unusable. A reason cut to fit the buffer
 * is cut at a character boundary.
 *
 * All functions are called from one thread; none throws or keeps a pointer to
 * buf after it returns. Every call is bounded in time. */
#ifndef MIRELKA_H
#define MIRELKA_H

#include <stdint.h>

#ifdef _WIN32
#define MIRELKA_CALL __stdcall
#ifdef MIRELKA_BUILDING
#define MIRELKA_API __declspec(dllexport)
#else
#define MIRELKA_API __declspec(dllimport)
#endif
#else
#define MIRELKA_CALL
#define MIRELKA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Name to dotted IPv4 address. */
MIRELKA_API uint16_t MIRELKA_CALL nametoip(char* buf, int32_t size);
/* Dotted IPv4 address to computer name. */
MIRELKA_API uint16_t MIRELKA_CALL iptoname(char* buf, int32_t size);
/* Resolves the name and checks that the computer answers; success writes the address. */
MIRELKA_API uint16_t MIRELKA_CALL connectpc(char* buf, int32_t size);
/* Clears the previous check's state. */
MIRELKA_API int32_t MIRELKA_CALL init(void);
/* Round trip of the last successful check in ms, or -1. */
MIRELKA_API int32_t MIRELKA_CALL pingresult(void);

#ifdef __cplusplus
}
#endif

#endif
