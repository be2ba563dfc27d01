// Node status over a real socket on loopback: the question goes out by
// unicast, and only a sound answer from the asked address and port to that
// question counts.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUdpSocket>

#include "node_status.h"

namespace {

// A positive node status reply to id: a table of (name, suffix, flags).
QByteArray StatusReply(uint16_t id, const std::vector<std::tuple<std::string, uint8_t, uint16_t>>& names) {
  auto u16 = [](QByteArray& b, int v) { b.append(char(v >> 8)).append(char(v & 0xFF)); };
  QByteArray b;
  u16(b, id);
  u16(b, 0x8400);
  for (int count : {0, 1, 0, 0}) u16(b, count);
  b.append(char(32)).append("CK").append(QByteArray(30, 'A')).append(char(0));
  u16(b, 0x21);
  u16(b, 1);
  b.append(QByteArray(4, 0));
  u16(b, int(1 + names.size() * 18));
  b.append(char(names.size()));
  for (const auto& [name, suffix, flags] : names) {
    b.append(QByteArray::fromStdString(name).leftJustified(15, ' ', true)).append(char(suffix));
    u16(b, flags);
  }
  return b;
}

TEST(NodeStatus, OnlyTheAskedComputersSoundAnswerCounts) {
  int argc = 1;
  char name[] = "node_status_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  QUdpSocket peer, forger;  // forger: the same address, another port
  ASSERT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
  ASSERT_TRUE(forger.bind(QHostAddress::LocalHost, 0));

  discovery::NodeStatusQuery query;
  query.SetPort(peer.localPort());
  std::vector<std::pair<std::string, std::string>> answers;
  query.Begin(2000, [&](const std::string& a, const std::string& g) { answers.emplace_back(a, g); });
  for (const char* never : {"::1", "255.255.255.255", "224.0.0.251", "0.1.2.3", "mdnshost.local", ""})
    EXPECT_FALSE(query.Ask(never)) << never;
  ASSERT_TRUE(query.Ask("127.0.0.1"));
  EXPECT_FALSE(query.Ask("127.0.0.1"));  // once per round

  ASSERT_TRUE(peer.waitForReadyRead(1000));
  QByteArray question(int(peer.pendingDatagramSize()), 0);
  QHostAddress from;
  quint16 port = 0;
  peer.readDatagram(question.data(), question.size(), &from, &port);
  ASSERT_GE(question.size(), 12);
  const auto id = uint16_t(uchar(question[0]) << 8 | uchar(question[1]));
  const QByteArray sound = StatusReply(id, {{"NAS", 0x00, 0x0400}, {"MLKGROUP", 0x00, 0x8400}});

  forger.writeDatagram(StatusReply(id, {{"FORGED", 0x00, 0x8400}}), from, port);
  peer.writeDatagram(StatusReply(uint16_t(id ^ 1), {{"WRONGID", 0x00, 0x8400}}), from, port);
  peer.writeDatagram(sound.left(sound.size() - 1), from, port);              // cut short
  peer.writeDatagram(StatusReply(id, {{"NAS", 0x20, 0x0400}}), from, port);  // no group: not one to wait for
  QElapsedTimer clock;
  clock.start();
  while (query.Waiting() && clock.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_FALSE(query.Waiting());
  EXPECT_TRUE(answers.empty());  // the sound table without a group closed the question

  // Asked again in a new round, the sound answer names the workgroup; an
  // unanswered question is given up within its bound.
  query.Begin(5000, [&](const std::string& a, const std::string& g) { answers.emplace_back(a, g); });
  ASSERT_TRUE(query.Ask("127.0.0.1"));
  ASSERT_TRUE(query.Ask("127.0.0.2"));
  ASSERT_TRUE(peer.waitForReadyRead(1000));
  peer.readDatagram(question.data(), question.size(), &from, &port);
  const auto id2 = uint16_t(uchar(question[0]) << 8 | uchar(question[1]));
  peer.writeDatagram(StatusReply(id2, {{"NAS", 0x00, 0x0400}, {"MLKGROUP", 0x00, 0x8400}}), from, port);
  clock.restart();
  while (query.Waiting() && clock.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_FALSE(query.Waiting());  // given up well before the round's end
  EXPECT_EQ(answers, (std::vector<std::pair<std::string, std::string>>{{"127.0.0.1", "MLKGROUP"}}));
}

}  // namespace
