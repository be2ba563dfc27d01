// The five exports of libmirelka.so (mirelka.dll) on loopback: the buffer
// contract on every entry point, resolution, the connection check and its
// round trip.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "converter.h"
#include "loopback_only.h"
#include "mirelka.h"

namespace {

using ConvFn = uint16_t (*)(char*, int32_t);

struct EntryPoint {
  const char* name;
  ConvFn fn;
};
const EntryPoint kConversions[] = {{"nametoip", nametoip}, {"iptoname", iptoname}, {"connectpc", connectpc}};

struct Call {
  uint16_t code;
  std::string text;
};

// Calls fn on text in a buffer of exactly the size argument plus one byte.
Call Convert(ConvFn fn, const std::string& text, int32_t size = 255) {
  std::vector<char> buf(static_cast<size_t>(size) + 1, '\0');
  std::memcpy(buf.data(), text.data(), std::min(text.size(), static_cast<size_t>(size)));
  const uint16_t code = fn(buf.data(), size);
  return {code, std::string(buf.data(), strnlen(buf.data(), buf.size()))};
}

#ifdef _WIN32
using SocketHandle = SOCKET;
constexpr SocketHandle kNoSocket = INVALID_SOCKET;
void CloseSocket(SocketHandle s) { closesocket(s); }

// Wine says who it is through an export of its ntdll.
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The test's own sockets and resolver calls need winsock started.
const struct WinsockForTests {
  WinsockForTests() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockForTests() { WSACleanup(); }
} winsockForTests;
#else
bool UnderWine() { return false; }
using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;
void CloseSocket(SocketHandle s) { close(s); }
#endif

// The resolver's own name for a host-order address, empty when it has none.
std::string ReverseName(uint32_t address) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  char host[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0) {
    return {};
  }
  return host;
}
bool HasReverseName(uint32_t address) { return !ReverseName(address).empty(); }

TEST(CompanionContract, GuardBytesAfterBufSizeStayUntouched) {
  MIRELKA_REQUIRE_LOOPBACK_ONLY();
  const std::string inputs[] = {std::string(600, 'x'), "127.0.0.1" + std::string(300, 'Q'),
                                "localhost" + std::string(300, 'z'), std::string(300, '\x83')};
  const int32_t sizes[] = {0, 1, 3, 9, 15, 16};
  constexpr char kGuard = '\x5A';
  for (const EntryPoint& entry : kConversions) {
    for (const std::string& input : inputs) {
      for (int32_t size : sizes) {
        // Input fills buf[0..size] with no NUL, buf[size] included; guards follow.
        std::vector<char> buf(static_cast<size_t>(size) + 1 + 64, kGuard);
        std::memcpy(buf.data(), input.data(), static_cast<size_t>(size) + 1);
        entry.fn(buf.data(), size);
        const std::string where =
            std::string(entry.name) + " size " + std::to_string(size) + " input " + input.substr(0, 12);
        for (size_t i = static_cast<size_t>(size) + 1; i < buf.size(); ++i) {
          ASSERT_EQ(buf[i], kGuard) << where << " byte " << i;
        }
        EXPECT_NE(std::memchr(buf.data(), 0, static_cast<size_t>(size) + 1), nullptr) << where;
      }
    }
  }
}

TEST(CompanionContract, NoBufferOrNegativeSizeFailsWithoutWriting) {
  for (const EntryPoint& entry : kConversions) {
    EXPECT_NE(entry.fn(nullptr, 255), 0) << entry.name;
    char buf[16];
    std::memcpy(buf, "127.0.0.1\0guards", sizeof buf);
    char before[16];
    std::memcpy(before, buf, sizeof buf);
    EXPECT_NE(entry.fn(buf, -1), 0) << entry.name;
    EXPECT_NE(entry.fn(buf, INT32_MIN), 0) << entry.name;
    EXPECT_EQ(std::memcmp(buf, before, sizeof buf), 0) << entry.name;
  }
}

TEST(CompanionContract, InputIsOnlyTheFirstSizeBytes) {
  // "127.0.0.1" followed by more digits: only the first 9 bytes are the input.
  const std::string text = "127.0.0.1999";
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back('\0');
  EXPECT_EQ(nametoip(buf.data(), 9), 0);
  EXPECT_STREQ(buf.data(), "127.0.0.1");
}

TEST(CompanionResolve, DottedTextPassesThrough) {
  for (const char* dotted : {"127.0.0.1", "10.77.0.2", "0.0.0.0", "255.255.255.255", "192.168.100.200"}) {
    const Call call = Convert(nametoip, dotted);
    EXPECT_EQ(call.code, 0) << dotted;
    EXPECT_EQ(call.text, dotted);
  }
}

TEST(CompanionResolve, LocalhostIsLoopback) {
  const Call call = Convert(nametoip, "localhost");
  EXPECT_EQ(call.code, 0);
  EXPECT_EQ(call.text, "127.0.0.1");
}

TEST(CompanionResolve, ReverseOfLoopbackIsTheResolversName) {
  const std::string host = ReverseName(INADDR_LOOPBACK);
  if (host.empty()) GTEST_SKIP() << "this machine has no name for 127.0.0.1";
  const Call call = Convert(iptoname, "127.0.0.1");
  EXPECT_EQ(call.code, 0);
  EXPECT_EQ(call.text, host);
}

TEST(CompanionResolve, FailuresCarryCp932Reasons) {
  MIRELKA_REQUIRE_LOOPBACK_ONLY();
  const struct {
    ConvFn fn;
    std::string input;
    int32_t size;
    const char* reason;  // UTF-8
  } cases[] = {
      {nametoip, "", 255, "入力が空です"},
      {iptoname, "", 255, "入力が空です"},
      {connectpc, "", 255, "入力が空です"},
      {iptoname, "PC01", 255, "IPアドレスではありません"},
      {iptoname, "127.0.0.01", 255, "IPアドレスではありません"},
      {nametoip, "mlk-no-such-computer-anywhere", 255, "名前が見つかりません"},
      {connectpc, "mlk-no-such-computer-anywhere", 255, "名前が見つかりません"},
      // "127.1" is 127.0.0.1 to the resolver, 9 bytes: no room in 5, and the reason is cut to fit.
      {nametoip, "127.1", 5, "バッ"},
  };
  for (const auto& c : cases) {
    const Call call = Convert(c.fn, c.input, c.size);
    EXPECT_NE(call.code, 0) << c.input;
    EXPECT_EQ(textconv::Cp932ToUtf8Escaped(call.text), c.reason) << c.input;
  }
}

TEST(CompanionCheck, ClosedLoopbackPortsProveTheHostIsUp) {
  init();
  EXPECT_EQ(pingresult(), -1);
  // Nothing listens on 445 or 139 here: the refusal is the answer.
  const Call call = Convert(connectpc, "127.0.0.1");
  EXPECT_EQ(call.code, 0);
  EXPECT_EQ(call.text, "127.0.0.1");
  EXPECT_GE(pingresult(), 0);
  const Call byName = Convert(connectpc, "localhost");
  EXPECT_EQ(byName.code, 0);
  EXPECT_EQ(byName.text, "127.0.0.1");
}

TEST(CompanionCheck, InitClearsAndFailuresKeepTheLastRoundTrip) {
  MIRELKA_REQUIRE_LOOPBACK_ONLY();
  ASSERT_EQ(Convert(connectpc, "127.0.0.1").code, 0);
  const int32_t last = pingresult();
  ASSERT_GE(last, 0);
  EXPECT_NE(Convert(connectpc, "mlk-no-such-computer-anywhere").code, 0);
  EXPECT_EQ(pingresult(), last);
  init();
  EXPECT_EQ(pingresult(), -1);
}

TEST(CompanionCheck, EntryPointsFromSeveralThreadsAtOnceGiveWhatOneThreadGets) {
  MIRELKA_REQUIRE_LOOPBACK_ONLY();
  const Call name = Convert(iptoname, "127.0.0.1");
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (size_t t = 0; t < wrong.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        const Call check = Convert(connectpc, "127.0.0.1");
        const Call address = Convert(nametoip, "localhost");
        const Call reverse = Convert(iptoname, "127.0.0.1");
        const Call unknown = Convert(nametoip, "mlk-no-such-computer-anywhere");
        wrong[t] += check.code != 0 || check.text != "127.0.0.1" || address.text != "127.0.0.1" ||
                    reverse.code != name.code || reverse.text != name.text || unknown.code == 0 || pingresult() < -1;
        if (i % 5 == 0) init();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(8, 0));
}

TEST(CompanionCheck, UnroutableAddressHasNoAnswer) {
  MIRELKA_REQUIRE_LOOPBACK_ONLY();
  init();
  const Call call = Convert(connectpc, "10.255.0.1");  // no route inside the namespace
  EXPECT_NE(call.code, 0);
  EXPECT_EQ(textconv::Cp932ToUtf8Escaped(call.text), "応答がありません");
  EXPECT_EQ(pingresult(), -1);
}

// A stand-in computer on 127.0.0.77:137 that answers a node status request
// with a stale reply, a negative one and a reply cut short before the good one.
class FakeStatusResponder {
 public:
  bool Start() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa = Address();
    if (fd_ == kNoSocket || bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return false;
#ifdef _WIN32
    const DWORD timeout = 5000;
#else
    const timeval timeout{5, 0};
#endif
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    thread_ = std::thread([this] { Serve(); });
    return true;
  }
  ~FakeStatusResponder() {
    if (thread_.joinable()) thread_.join();
    if (fd_ != kNoSocket) CloseSocket(fd_);
  }
  static sockaddr_in Address() {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(137);
    sa.sin_addr.s_addr = htonl(0x7F00004D);  // 127.0.0.77
    return sa;
  }

 private:
  static std::vector<uint8_t> Reply(uint16_t id, uint16_t flags, const std::string& name, uint8_t suffix) {
    std::vector<uint8_t> r = {static_cast<uint8_t>(id >> 8),
                              static_cast<uint8_t>(id),
                              static_cast<uint8_t>(flags >> 8),
                              static_cast<uint8_t>(flags),
                              0,
                              0,
                              0,
                              1,
                              0,
                              0,
                              0,
                              0,
                              32,
                              'C',
                              'K'};
    for (int i = 0; i < 30; ++i) r.push_back('A');
    const uint8_t tail[] = {0, 0x00, 0x21, 0x00, 0x01, 0, 0, 0, 0, 0, 19, 1};
    r.insert(r.end(), std::begin(tail), std::end(tail));
    std::string padded = name;
    padded.resize(15, ' ');
    r.insert(r.end(), padded.begin(), padded.end());
    r.push_back(suffix);
    r.push_back(0x04);
    r.push_back(0x00);
    return r;
  }
  void Serve() {
    uint8_t query[576];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const auto got =
        recvfrom(fd_, reinterpret_cast<char*>(query), sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got < 12) return;
    const auto id = static_cast<uint16_t>(query[0] << 8 | query[1]);
    std::vector<uint8_t> cut = Reply(id, 0x8400, "CUTSHORT", 0x00);
    cut.resize(cut.size() - 3);
    const std::vector<uint8_t> replies[] = {Reply(static_cast<uint16_t>(id + 1), 0x8400, "STALE", 0x00),
                                            Reply(id, 0x8403, "NEGATIVE", 0x00), cut,
                                            Reply(id, 0x8400, "MLKFAKE", 0x00)};
    for (const auto& reply : replies) {
      sendto(fd_, reinterpret_cast<const char*>(reply.data()), static_cast<int>(reply.size()), 0,
             reinterpret_cast<sockaddr*>(&from), fromLength);
    }
  }
  SocketHandle fd_ = kNoSocket;
  std::thread thread_;
};

TEST(CompanionResolve, NodeStatusSkipsBadRepliesUntilAGoodOne) {
  MIRELKA_REQUIRE_LOOPBACK_ONLY();
  if (HasReverseName(0x7F00004D)) GTEST_SKIP() << "127.0.0.77 has a name on this machine";
  if (UnderWine()) {
    // Wine binds a UDP socket on an interface address to the whole interface,
    // so the stand-in's replies leave from 127.0.0.1 and are rightly ignored.
    GTEST_SKIP() << "Wine: bind() to 127.0.0.77 does not fix the source address of replies";
  }
  FakeStatusResponder responder;
  if (!responder.Start()) GTEST_SKIP() << "cannot bind 127.0.0.77:137: " << std::strerror(errno);
  const Call call = Convert(iptoname, "127.0.0.77");
  EXPECT_EQ(call.code, 0);
  EXPECT_EQ(call.text, "MLKFAKE");
}

TEST(CompanionResolve, NodeStatusWithoutAnAnswerFails) {
  MIRELKA_REQUIRE_LOOPBACK_ONLY();
  if (HasReverseName(0x7F00004E)) GTEST_SKIP() << "127.0.0.78 has a name on this machine";
  const Call call = Convert(iptoname, "127.0.0.78");  // nobody listens on 137 there
  EXPECT_NE(call.code, 0);
  EXPECT_EQ(textconv::Cp932ToUtf8Escaped(call.text), "名前を取得できません");
}

}  // namespace
