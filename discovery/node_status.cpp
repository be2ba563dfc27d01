#include "node_status.h"

#include <QNetworkInterface>
#include <QUdpSocket>
#include <algorithm>

#include "address.h"
#include "netbios.h"
#include "platform.h"

namespace discovery {

namespace {

namespace nb = mirelka::netbios;

// A question is sent again after this without an answer, and given up after
// twice as long (nmbd answers in milliseconds on a LAN).
constexpr int kResendMs = 250;
constexpr int kGiveUpMs = 2 * kResendMs;
// Bounds per round whatever arrives: questions, datagrams read (in one turn
// of the event loop and in all), and the size of one datagram read.
constexpr size_t kMaxQuestions = 64;
constexpr int kDatagramsPerTurn = 32;
constexpr int kMaxDatagrams = 1024;
constexpr qint64 kMaxDatagramSize = 8192;

// The plain IPv4 form of an address (also when it came as ::ffff:a.b.c.d).
std::optional<quint32> Ipv4Of(const QHostAddress& address) {
  bool ok = false;
  const quint32 v4 = address.toIPv4Address(&ok);
  if (!ok) return std::nullopt;
  return v4;
}

// Never a broadcast: not the limited one, "this network" or multicast, and
// not the broadcast address of a local network either.
bool UnicastTarget(quint32 v4) {
  const mirelka::Ipv4 bytes = {static_cast<uint8_t>(v4 >> 24), static_cast<uint8_t>(v4 >> 16),
                               static_cast<uint8_t>(v4 >> 8), static_cast<uint8_t>(v4)};
  if (!mirelka::IsUnicastTarget(bytes)) return false;
  for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces())
    for (const QNetworkAddressEntry& entry : iface.addressEntries())
      if (entry.broadcast().protocol() == QAbstractSocket::IPv4Protocol && entry.broadcast().toIPv4Address() == v4)
        return false;
  return true;
}

// The names and unit id of an answer, as the listing keeps them.
Details DetailsOf(const std::vector<nb::NodeName>& names, const uint8_t* data, size_t size, uint16_t id) {
  Details d;
  for (const nb::NodeName& n : names) {
    if (d.netbiosNames.size() >= Details::kMaxNetbiosNames) break;
    d.netbiosNames.push_back(Details::NetbiosName{n.name, n.suffix, (n.flags & nb::kGroupFlag) != 0});
  }
  if (const std::optional<std::array<uint8_t, 6>> unit = nb::ParseNodeStatusUnitId(data, size, id)) {
    static const char hex[] = "0123456789abcdef";
    for (const uint8_t b : *unit) {
      if (!d.mac.empty()) d.mac += ':';
      d.mac += hex[b >> 4];
      d.mac += hex[b & 15];
    }
  }
  return d;
}

}  // namespace

NodeStatusQuery::NodeStatusQuery() : port_(nb::kPort), random_(std::random_device{}()) {
  window_.setSingleShot(true);
  connect(&window_, &QTimer::timeout, this, &NodeStatusQuery::Cancel);
}

NodeStatusQuery::~NodeStatusQuery() = default;

void NodeStatusQuery::Begin(int windowMs, Answer answer) {
  Cancel();
  // The socket of an ended round is freed here, never inside its own signal.
  socket_ = std::make_unique<QUdpSocket>();
  if (!socket_->bind(QHostAddress::AnyIPv4, 0)) {
    socket_.reset();
    return;
  }
  // This socket only ever sends to one computer.
  RefuseBroadcast(socket_->socketDescriptor());
  answer_ = std::move(answer);
  datagrams_ = 0;
  connect(socket_.get(), &QUdpSocket::readyRead, this, &NodeStatusQuery::Read);
  window_.start(std::max(0, windowMs));
}

bool NodeStatusQuery::Ask(const std::string& text) {
  if (!socket_ || !answer_ || questions_.size() >= kMaxQuestions) return false;
  const QHostAddress address(QString::fromStdString(text));
  const std::optional<quint32> v4 = Ipv4Of(address);
  if (!v4 || !UnicastTarget(*v4)) return false;
  for (const Question& q : questions_)
    if (q.address.toIPv4Address() == *v4) return false;

  Question q;
  q.address = QHostAddress(*v4);
  q.text = text;
  do {
    q.id = static_cast<uint16_t>(random_());
  } while (std::any_of(questions_.begin(), questions_.end(), [&](const Question& o) { return o.id == q.id; }));
  questions_.push_back(q);
  const size_t index = questions_.size() - 1;
  Send(questions_[index]);
  const unsigned round = round_;
  QTimer::singleShot(kResendMs, this, [this, index, round] {
    if (round == round_ && questions_[index].open) Send(questions_[index]);
  });
  QTimer::singleShot(kGiveUpMs, this, [this, index, round] {
    if (round == round_) Close(index);
  });
  return true;
}

void NodeStatusQuery::Send(Question& q) {
  const std::vector<uint8_t> packet = nb::BuildNodeStatusQuery(q.id);
  socket_->writeDatagram(reinterpret_cast<const char*>(packet.data()), static_cast<qint64>(packet.size()), q.address,
                         port_);
}

void NodeStatusQuery::Close(size_t index) { questions_[index].open = false; }

bool NodeStatusQuery::Waiting() const {
  return std::any_of(questions_.begin(), questions_.end(), [](const Question& q) { return q.open; });
}

void NodeStatusQuery::Read() {
  const unsigned round = round_;
  QByteArray buffer;
  for (int turn = 0; turn < kDatagramsPerTurn && socket_ && socket_->hasPendingDatagrams(); ++turn) {
    if (++datagrams_ > kMaxDatagrams) {
      Cancel();
      return;
    }
    const qint64 size = socket_->pendingDatagramSize();
    QHostAddress from;
    quint16 fromPort = 0;
    if (size < 0 || size > kMaxDatagramSize) {
      socket_->readDatagram(nullptr, 0);  // discarded unread
      continue;
    }
    buffer.resize(static_cast<qsizetype>(size));
    const qint64 got = socket_->readDatagram(buffer.data(), size, &from, &fromPort);
    const std::optional<quint32> sender = Ipv4Of(from);
    if (got < 0 || !sender || fromPort != port_) continue;
    for (size_t i = 0; i < questions_.size(); ++i) {
      Question& q = questions_[i];
      if (!q.open || q.address.toIPv4Address() != *sender) continue;
      const std::vector<nb::NodeName> names = nb::ParseNodeStatusReply(
          reinterpret_cast<const uint8_t*>(buffer.constData()), static_cast<size_t>(got), q.id);
      if (names.empty()) break;  // not an answer to it: the real one may still come
      Close(i);
      if (const std::optional<std::string> workgroup = nb::PickWorkgroupName(names)) {
        const Answer answer = answer_;  // the call may end the round, and with it answer_
        const Details details =
            DetailsOf(names, reinterpret_cast<const uint8_t*>(buffer.constData()), static_cast<size_t>(got), q.id);
        answering_ = &details;
        try {
          answer(std::string(q.text), *workgroup);
        } catch (...) {
          qWarning("mirelka: a node status answer could not be taken");  // never through the event loop
        }
        answering_ = nullptr;
        if (round != round_) return;  // the answer ended the round
      }
      break;
    }
  }
  // More than one turn's share waits for the next turn, so timers still run.
  if (socket_ && socket_->hasPendingDatagrams())
    QTimer::singleShot(0, this, [this, round] {
      if (round == round_) Read();
    });
}

void NodeStatusQuery::Cancel() {
  ++round_;
  window_.stop();
  questions_.clear();
  answer_ = nullptr;
  if (socket_) {
    socket_->disconnect(this);
    socket_->close();
  }
}

std::unique_ptr<WorkgroupQuery> MakeNodeStatus() { return std::make_unique<NodeStatusQuery>(); }

}  // namespace discovery
