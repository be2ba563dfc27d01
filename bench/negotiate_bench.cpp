// The connection check on an answering computer, side by side in one run:
// the TCP check alone (the companion's probe of 445 and 139), the
// companion's connectpc (what the share tree calls today) and the SMB
// negotiate probe. bench/negotiate-side-by-side.sh starts smbd on 127.0.0.1
// inside an empty network namespace and runs this against it. The last row
// is the probe against a peer of its own that answers at once: the probe's
// own cost, without the server's.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "address.h"
#include "mirelka.h"
#include "smb_probe.h"
#include "sock.h"

namespace {

void TcpOnly(benchmark::State& state) {
  const mirelka::Ipv4 loopback{127, 0, 0, 1};
  for (auto _ : state) {
    if (mirelka::sock::ProbeTcp(loopback, {445, 139}, netinfo::kSmbProbeBoundMs) == mirelka::sock::Probe::kNoAnswer)
      state.SkipWithError("no answer");
  }
}
BENCHMARK(TcpOnly)->Unit(benchmark::kMillisecond)->Iterations(200);

void Connectpc(benchmark::State& state) {
  char buffer[256];
  for (auto _ : state) {
    std::strcpy(buffer, "127.0.0.1");
    init();
    if (connectpc(buffer, 255) != 0) state.SkipWithError(buffer);
  }
}
BENCHMARK(Connectpc)->Unit(benchmark::kMillisecond)->Iterations(200);

void Negotiate(benchmark::State& state) {
  for (auto _ : state) {
    const netinfo::SmbProbe probe = netinfo::ProbeSmb("127.0.0.1");
    if (probe.reach != netinfo::SmbReach::kSmb2 && probe.reach != netinfo::SmbReach::kSmb1Only)
      state.SkipWithError(netinfo::ReachName(probe.reach));
    state.SetLabel(std::string(netinfo::ReachName(probe.reach)) + " on " + std::to_string(probe.port));
  }
}
BENCHMARK(Negotiate)->Unit(benchmark::kMillisecond)->Iterations(200);

// Answers every connection at once with a fixed SMB2 negotiate answer.
class InstantPeer {
 public:
  InstantPeer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof sa;
    bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    listen(fd_, 16);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &length);
    port_ = ntohs(sa.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~InstantPeer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  uint16_t port() const { return port_; }

 private:
  void Serve() {
    std::vector<uint8_t> answer(4 + 128, 0);
    answer[3] = 128;
    const uint8_t head[] = {0xFE, 'S', 'M', 'B', 64};
    std::memcpy(answer.data() + 4, head, sizeof head);
    answer[4 + 16] = 1;     // a response
    answer[4 + 64] = 65;    // the NEGOTIATE response's size
    answer[4 + 68] = 0xFF;  // DialectRevision 0x02FF
    answer[4 + 69] = 0x02;
    pollfd p{fd_, POLLIN, 0};
    while (!stop_) {
      if (poll(&p, 1, 50) <= 0) continue;
      const int c = accept(fd_, nullptr, nullptr);
      uint8_t request[512];
      if (recv(c, request, sizeof request, 0) > 0) send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
      close(c);
    }
  }

  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void NegotiateInstantPeer(benchmark::State& state) {
  InstantPeer peer;
  for (auto _ : state) {
    if (netinfo::ProbeSmb("127.0.0.1", peer.port(), peer.port()).reach != netinfo::SmbReach::kSmb2)
      state.SkipWithError("no SMB2 answer");
  }
}
BENCHMARK(NegotiateInstantPeer)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
