/* Mirelka companion network library: name resolution and connection checks.
 *
 * Buffer contract for nametoip, iptoname and connectpc: on entry buf holds the
 * input text (code page 932) of at most size bytes followed by a NUL; the
 * library reads no more than size bytes of it. On return buf holds the output
 * text and a NUL; the library writes at most size + 1 bytes and never touches
 * a byte beyond. Result 0 is success; any other value is failure, and the
 * output is then a short reason text in code page 932.
 *
 * Failure results are the MIRELKA_* codes below; callers may test for
 * MIRELKA_OK alone, and a later version may add codes. A reason cut to fit
 * the buffer is cut at a character boundary.
 *
 * Every function may be called from several threads at once: each call has
 * its own sockets and buffers, and the library keeps no state but the last
 * check's round trip, which pingresult reads and init clears atomically (with
 * checks on several threads, pingresult gives the last one to succeed), and
 * one random source for the questions' transaction ids, used under a lock.
 * None throws or keeps a pointer to buf after it returns. Every call is
 * bounded in time.
 *
 * Beside the five, an optional sixth export: nametoipfrom, nametoip that also
 * says how the address was found. Callers look it up by name and fall back on
 * nametoip when a library lacks it (any source then counts as unverified).
 * Only an answer that names the computer with authority may open a saved
 * password to a new address: a dotted address as typed, the hosts file, and
 * the system resolver for a name with a dot outside .local (MIRELKA_FROM_DNS).
 * The system resolver's answer for any other name is MIRELKA_FROM_SYSTEM: it
 * may have asked the link itself (nss-mdns answers .local names,
 * systemd-resolved and WINS modules answer one-label names by LLMNR or
 * NetBIOS), and any host on the link can answer those. */
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

/* Results of nametoip, iptoname, nametoipfrom and connectpc. */
#define MIRELKA_OK 0
#define MIRELKA_BAD_INPUT 1 /* no buffer, negative size, empty or malformed input */
#define MIRELKA_NOT_FOUND 2 /* the name or address is unknown */
#define MIRELKA_NO_ANSWER 3 /* the computer did not answer the connection check */
#define MIRELKA_NO_ROOM 4   /* the answer does not fit in size bytes */
#define MIRELKA_INTERNAL 5  /* sockets unusable, or an unexpected failure */

#ifdef __cplusplus
extern "C" {
#endif

/* Name to dotted IPv4 address. */
MIRELKA_API uint16_t MIRELKA_CALL nametoip(char* buf, int32_t size);
/* Dotted IPv4 address to computer name. */
MIRELKA_API uint16_t MIRELKA_CALL iptoname(char* buf, int32_t size);
/* nametoip, and on success *source (when not null) receives one of these. */
#define MIRELKA_FROM_DOTTED 0  /* the input was a dotted address */
#define MIRELKA_FROM_DNS 1     /* the hosts file, or the resolver for a name with a dot outside .local */
#define MIRELKA_FROM_NETBIOS 2 /* a NetBIOS name query answer */
#define MIRELKA_FROM_MDNS 3    /* a multicast DNS answer, or the resolver for a name under .local */
#define MIRELKA_FROM_LLMNR 4   /* an LLMNR answer */
#define MIRELKA_FROM_SYSTEM 5  /* the resolver for a name of one label: it may have asked the link */
MIRELKA_API uint16_t MIRELKA_CALL nametoipfrom(char* buf, int32_t size, int32_t* source);
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
