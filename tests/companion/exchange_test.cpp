// A question flooded with datagrams on loopback: the call reads no more than
// its share of them and ends at its deadline however many keep coming. And
// whom a NetBIOS name answer is taken from.
#include "exchange.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "netbios_query.h"

namespace mirelka {
namespace {

using std::chrono::milliseconds;

// Answers the first datagram it gets with small datagrams, without pause,
// until it is destroyed.
class Flooder {
 public:
  Flooder() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof sa;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
      return;
    }
    port_ = ntohs(sa.sin_port);
    const timeval timeout{5, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    thread_ = std::thread([this] {
      char query[512];
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      if (recvfrom(fd_, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &fromLength) < 0) return;
      const char junk[32] = {};
      while (!stop_) sendto(fd_, junk, sizeof junk, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    });
  }
  ~Flooder() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) close(fd_);
  }
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Flooded {
  bool answered;
  size_t seen;
};

Flooded AskFlooder(Timing timing, milliseconds perDatagram) {
  Flooder flooder;
  EXPECT_NE(flooder.port(), 0);
  size_t seen = 0;
  std::vector<Asking> askings(1);
  askings[0].packet = {1, 2, 3};
  askings[0].targets.push_back({Ipv4{127, 0, 0, 1}, flooder.port(), std::nullopt});
  askings[0].accept = [&](const Datagram&) {
    ++seen;
    std::this_thread::sleep_for(perDatagram);
    return false;
  };
  const bool answered = AskAtOnce(askings, timing);
  return {answered, seen};
}

TEST(AskAtOnceUnderAFlood, ReadsAtMostItsShareOfDatagrams) {
  // Left alone, the question would read the flood for ten seconds.
  const Flooded flooded = AskFlooder({milliseconds{10000}, milliseconds{5000}}, milliseconds{0});
  EXPECT_FALSE(flooded.answered);
  EXPECT_EQ(flooded.seen, kDatagramsPerQuestion);
}

TEST(AskAtOnceUnderAFlood, StopsReadingAtTheDeadline) {
  // Datagrams that take 5 ms each to look at: within 100 ms only a few are.
  const Flooded flooded = AskFlooder({milliseconds{100}, milliseconds{50}}, milliseconds{5});
  EXPECT_FALSE(flooded.answered);
  EXPECT_GE(flooded.seen, 1u);
  EXPECT_LT(flooded.seen, kDatagramsPerQuestion / 2);
}

TEST(NetbiosNameAnswers, CountOnlyFromPort137OfAnAddressOnTheLink) {
  const std::vector<sock::LinkAddress> links = {{{10, 231, 0, 100}, {255, 255, 255, 0}, {10, 231, 0, 255}, true}};
  std::optional<Ipv4> found;
  std::optional<Asking> asking = netbios::AskName("MEMBER2", links, found);
  ASSERT_TRUE(asking);
  // A positive answer to the query just built, naming 10.231.0.12.
  std::vector<uint8_t> reply(asking->packet.begin(), asking->packet.begin() + 2);
  const uint8_t head[] = {0x85, 0x00, 0, 0, 0, 1, 0, 0, 0, 0};
  reply.insert(reply.end(), std::begin(head), std::end(head));
  reply.insert(reply.end(), asking->packet.begin() + 12, asking->packet.begin() + 46);
  const uint8_t tail[] = {0, 0x20, 0, 1, 0, 0, 0, 30, 0, 6, 0, 0, 10, 231, 0, 12};
  reply.insert(reply.end(), std::begin(tail), std::end(tail));
  struct Case {
    Ipv4 from;
    uint16_t port;
    bool taken;
  } const cases[] = {
      {{10, 231, 0, 12}, 137, true},    {{10, 231, 0, 12}, 138, false},  // another program on that computer
      {{10, 231, 0, 12}, 40000, false}, {{10, 231, 1, 12}, 137, false},  // beyond the link
      {{127, 0, 0, 1}, 137, false},
  };
  for (const Case& c : cases) {
    found.reset();
    EXPECT_EQ(asking->accept(Datagram{reply.data(), reply.size(), c.from, c.port}), c.taken) << c.port;
    EXPECT_EQ(found.has_value(), c.taken);
  }
}

}  // namespace
}  // namespace mirelka
