#pragma once
// The connection check that speaks SMB's first message itself: TCP to 445 and
// 139 at once, then the negotiate (smb_negotiate.h) on the port that
// accepted, all within one bound. It says whether a computer is there, and
// whether what listens is an SMB server and which generation, before any
// listing is tried. No credentials are sent. Plain C++; the sockets are the
// shared TCP layer's (tcp/tcp.h), one backend per platform.
#include <cstdint>
#include <string>

namespace netinfo {

enum class SmbReach { kNoAnswer, kRefused, kHung, kNotSmb, kSmb2, kSmb1Only };

struct SmbProbe {
  SmbReach reach = SmbReach::kNoAnswer;
  uint16_t port = 0;     // the port that answered (445 or 139), 0 for none
  uint16_t dialect = 0;  // SMB2: the DialectRevision; SMB1-only: 0x0100 (NT LM 0.12)
  bool signingRequired = false;
  int connectMs = 0;                            // time until TCP answered (or the bound)
  int negotiateMs = 0;                          // time from connect to the negotiate's answer (or the bound)
  bool refused445 = false, refused139 = false;  // what each port said, for a diagnosis
};

constexpr int kSmbProbeBoundMs = 1500;

// Connects to 445 and 139 at once (a refused 445 leaves 139), speaks the
// negotiate on the first that accepts (445 preferred when both accept), all
// within boundMs. Blocking; call from a worker thread.
//   kNoAnswer  no port answered by the bound (or the address is no unicast
//              IPv4 address);
//   kRefused   no port accepted and one or both refused (refused445/139);
//   kHung      accepted, but no complete answer by the bound (a peer that
//              trickles bytes does not move the bound);
//   kNotSmb    accepted, and answered with anything but a negotiate answer
//              to what was offered, refused the NetBIOS session, or closed;
//   kSmb2, kSmb1Only as the answer said.
SmbProbe ProbeSmb(const std::string& dottedAddress, int boundMs = kSmbProbeBoundMs);
// The same with other ports in the roles of 445 (direct) and 139 (NetBIOS
// session first): for tests against listeners of their own.
SmbProbe ProbeSmb(const std::string& dottedAddress, uint16_t directPort, uint16_t netbiosPort,
                  int boundMs = kSmbProbeBoundMs);

// A short ASCII name for logs and tests ("smb2", "hung", ...).
const char* ReachName(SmbReach reach);

}  // namespace netinfo
