// ProbeSmb against listeners of the test's own on 127.0.0.1 ports: each one
// accepts and then stays silent, sends garbage, trickles an answer, or
// answers as a server would (after a NetBIOS session in the 139 role).
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "negotiate_answers.h"
#include "smb_probe.h"
#include "tcp.h"

namespace {

using negotiate_answers::Bytes;
using netinfo::SmbReach;
namespace tcp = mirelka::sock::tcp;
using Native = decltype(socket(0, 0, 0));

constexpr int kShortBoundMs = 600;
// The test's own sockets need winsock started on Windows.
const mirelka::sock::Session winsockForTests;

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(port);
  return sa;
}

// A listening socket on a port of its own, as a tcp.h handle.
intptr_t BoundSocket(uint16_t& port, int backlog) {
  const Native s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa = Loopback(0);
  socklen_t length = sizeof sa;
  if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(s, backlog) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
    tcp::Close(static_cast<intptr_t>(s));
    return -1;
  }
  port = ntohs(sa.sin_port);
  return static_cast<intptr_t>(s);
}

// A port nothing listens on: refused.
uint16_t ClosedPort() {
  uint16_t port = 0;
  tcp::Close(BoundSocket(port, 1));
  return port;
}

enum class Act { kSilent, kGarbage, kTrickle, kSmb2, kNetbiosThenSmb2 };

// Accepts one connection on a port of its own and acts; stops with the test.
class Listener {
 public:
  explicit Listener(Act act) : fd_(BoundSocket(port_, 4)), thread_([this, act] { Serve(act); }) {}
  ~Listener() {
    Stop();
    tcp::Close(fd_);
  }
  uint16_t port() const { return port_; }
  // Ends the connection; what the 139 role was sent first.
  Bytes Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return sessionRequest_;
  }

 private:
  bool Readable(intptr_t s) {
    while (!stop_)
      if (tcp::WaitReady(s, false, 20)) return true;
    return false;
  }
  Bytes Take(intptr_t s) {
    Bytes got(1024);
    const long n = Readable(s) ? tcp::Receive(s, got.data(), got.size()) : 0;
    got.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return got;
  }
  static bool Put(intptr_t s, const Bytes& b) { return tcp::Send(s, b.data(), b.size()) == long(b.size()); }

  void Serve(Act act) {
    if (!Readable(fd_)) return;
    const auto c = static_cast<intptr_t>(accept(static_cast<Native>(fd_), nullptr, nullptr));
    const Bytes smb2 = negotiate_answers::Frame(negotiate_answers::MakeSmb2({}));
    if (act == Act::kNetbiosThenSmb2) {
      sessionRequest_ = Take(c);
      Put(c, {0x82, 0, 0, 0});
    }
    if (act != Act::kSilent) Take(c);  // the negotiate
    if (act == Act::kGarbage) Put(c, Bytes{'H', 'T', 'T', 'P', '/', '1', '.', '0', ' ', '4', '0', '0', '\r', '\n'});
    if (act == Act::kSmb2 || act == Act::kNetbiosThenSmb2) Put(c, smb2);
    // One byte every 100 ms: the whole answer would take 20 s.
    for (size_t i = 0; act == Act::kTrickle && i < smb2.size() && !stop_; ++i) {
      if (!Put(c, Bytes{smb2[i]})) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    tcp::Close(c);
  }

  uint16_t port_ = 0;
  intptr_t fd_;
  std::atomic<bool> stop_{false};
  Bytes sessionRequest_;
  std::thread thread_;
};

TEST(SmbProbe, TellsWhatAcceptedPortsSay) {
  const struct {
    Act act;
    SmbReach reach;
  } cases[] = {
      {Act::kSilent, SmbReach::kHung},
      {Act::kTrickle, SmbReach::kHung},  // a trickle does not move the bound
      {Act::kGarbage, SmbReach::kNotSmb},
      {Act::kSmb2, SmbReach::kSmb2},
  };
  for (const auto& c : cases) {
    Listener direct(c.act);
    const netinfo::SmbProbe probe = netinfo::ProbeSmb("127.0.0.1", direct.port(), ClosedPort(), kShortBoundMs);
    EXPECT_STREQ(netinfo::ReachName(probe.reach), netinfo::ReachName(c.reach)) << static_cast<int>(c.act);
    EXPECT_EQ(probe.port, direct.port());
    EXPECT_FALSE(probe.refused445);
  }
}

TEST(SmbProbe, FallsBackToTheNetbiosPortAfterASessionRequest) {
  Listener netbios(Act::kNetbiosThenSmb2);
  const netinfo::SmbProbe probe = netinfo::ProbeSmb("127.0.0.1", ClosedPort(), netbios.port(), kShortBoundMs);
  EXPECT_EQ(probe.reach, SmbReach::kSmb2);
  EXPECT_EQ(probe.port, netbios.port());
  EXPECT_EQ(probe.dialect, 0x02FF);
  EXPECT_TRUE(probe.refused445);
  const Bytes request = netbios.Stop();
  ASSERT_EQ(request.size(), 72u);
  EXPECT_EQ(request[0], 0x81);  // a session request, called name first: "*SMBSERVER" encoded
  EXPECT_EQ(std::string(request.begin() + 5, request.begin() + 37), "CKFDENECFDEFFCFGEFFCCACACACACACA");
}

TEST(SmbProbe, PrefersTheDirectPortWhenBothAccept) {
  Listener direct(Act::kSmb2);
  Listener netbios(Act::kSilent);  // chosen, it would be hung
  const netinfo::SmbProbe probe = netinfo::ProbeSmb("127.0.0.1", direct.port(), netbios.port(), kShortBoundMs);
  EXPECT_EQ(probe.reach, SmbReach::kSmb2);
  EXPECT_EQ(probe.port, direct.port());
}

TEST(SmbProbe, RefusedAndSilentAddresses) {
  const netinfo::SmbProbe refused = netinfo::ProbeSmb("127.0.0.1", ClosedPort(), ClosedPort(), kShortBoundMs);
  EXPECT_EQ(refused.reach, SmbReach::kRefused);
  EXPECT_TRUE(refused.refused445 && refused.refused139);
  EXPECT_EQ(refused.port, 0);

  // A listener whose queue is full drops the SYN: nothing answers.
  uint16_t full = 0;
  const intptr_t listening = BoundSocket(full, 0);
  std::vector<intptr_t> fillers;
  for (int i = 0; i < 3; ++i) {
    intptr_t filler = 0;
    if (tcp::Start({127, 0, 0, 1}, full, filler) == tcp::Attempt::kPending) fillers.push_back(filler);
  }
  const netinfo::SmbProbe silent = netinfo::ProbeSmb("127.0.0.1", full, full, 300);
  EXPECT_EQ(silent.reach, SmbReach::kNoAnswer);
  EXPECT_FALSE(silent.refused445 || silent.refused139);
  for (intptr_t filler : fillers) tcp::Close(filler);
  tcp::Close(listening);

  EXPECT_EQ(netinfo::ProbeSmb("0.0.0.0").reach, SmbReach::kNoAnswer);
  EXPECT_EQ(netinfo::ProbeSmb("not an address").reach, SmbReach::kNoAnswer);
}

}  // namespace
