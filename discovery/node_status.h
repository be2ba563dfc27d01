#pragma once
// The workgroup of a computer that a source found without one, asked by
// NetBIOS node status: one unicast datagram to UDP 137 of its address, sent
// again once when no answer comes. An answer counts only when it comes from
// that address and port, carries the question's transaction id and reads
// soundly; its <00> group name is the workgroup.
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <memory>
#include <random>
#include <vector>

#include "source.h"

class QUdpSocket;

namespace discovery {

class NodeStatusQuery final : public QObject, public WorkgroupQuery {
 public:
  NodeStatusQuery();
  ~NodeStatusQuery() override;

  void Begin(int windowMs, Answer answer) override;
  bool Ask(const std::string& address) override;
  bool Waiting() const override;
  void Cancel() override;
  const Details* AnswerDetails() const override { return answering_; }

  // The port questions go to; tests point it at a stand-in.
  void SetPort(quint16 port) { port_ = port; }

 private:
  struct Question {
    QHostAddress address;
    std::string text;
    uint16_t id = 0;
    bool open = true;
  };
  void Send(Question& q);
  void Read();
  void Close(size_t index);

  quint16 port_;
  Answer answer_;
  std::unique_ptr<QUdpSocket> socket_;
  std::vector<Question> questions_;
  QTimer window_;
  unsigned round_ = 0;  // tells a timer of an ended round from the current one's
  int datagrams_ = 0;
  std::mt19937 random_;
  const Details* answering_ = nullptr;  // set while answer_ runs
};

}  // namespace discovery
