// DNS-SD without a daemon, over Qt Network: a search sends one-shot PTR
// queries for _smb._tcp.local to 224.0.0.251:5353 from an ephemeral port, one
// socket per IPv4 address of every up, multicast-capable, non-loopback
// interface (the group reached through that interface: a namespace without
// a default route has no other way). Responders answer those by unicast to
// that port with the query's id (RFC 6762 §6.7). Where port 5353 can be
// shared (another responder may hold it), a socket there joined to the group
// also hears responders that answer only by multicast; without it the
// unicast sockets go on alone. The query goes again twice to cover a lost
// packet; instances that came without their SRV, TXT or A records are asked
// for them. The search ends kAnswerMarginMs after its last question, or at
// its window. Nothing is followed between searches.
//
// Trust (mdns_messages.h for the reader's bounds): an answer counts only
// from port 5353 of an address on the subnet of an interface the query left
// by, on a unicast socket only with the query's id; an A record only for an
// on-link address. Datagrams are read at most kDatagramsPerTurn per turn of
// the event loop and kMaxDatagrams per search, past which the search stops
// listening and keeps what it found.
#include <QHostAddress>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>
#include <QVariant>
#include <algorithm>
#include <iterator>
#include <random>

#include "dnssd.h"
#include "mdns_messages.h"
#include "names.h"
#include "search_owner.h"

namespace discovery {

namespace {

// When the browse query goes, from the search's start: responders delay
// shared answers by 20-120 ms, so a lost query is sent again well after.
constexpr int kQueryAtMs[] = {0, 120, 300};
// Time for the answers to a question (a responder's delay and the way back).
constexpr int kAnswerMarginMs = 250;
// Follow-up questions wait this long after the read that called for them, so
// that answers arriving together are asked about once.
constexpr int kFollowUpDelayMs = 20;
constexpr int kDatagramsPerTurn = 64;
constexpr int kMaxDatagrams = 4096;

bool Usable(const QNetworkInterface& iface) {
  const auto flags = iface.flags();
  return (flags & QNetworkInterface::IsUp) && (flags & QNetworkInterface::IsRunning) &&
         (flags & QNetworkInterface::CanMulticast) && !(flags & QNetworkInterface::IsLoopBack);
}

std::optional<quint32> Ipv4Of(const QHostAddress& address) {
  bool ok = false;
  const quint32 v4 = address.toIPv4Address(&ok);
  if (!ok) return std::nullopt;
  return v4;
}

class Search : public QObject {
 public:
  Search(Source::Found found, Source::Done done)
      : found_(std::move(found)), done_(std::move(done)), id_(static_cast<uint16_t>(std::random_device{}())) {
    for (QTimer* t : {&window_, &end_, &followUp_}) t->setSingleShot(true);
    connect(&window_, &QTimer::timeout, this, &Search::Close);
    connect(&end_, &QTimer::timeout, this, &Search::Close);
    connect(&followUp_, &QTimer::timeout, this, &Search::AskFollowUps);
  }
  ~Search() override { Stop(); }

  void Stop() {
    stopped_ = true;
    for (QTimer* t : {&window_, &end_, &followUp_}) t->stop();
    for (auto& s : senders_) s->close();
    if (listener_) listener_->close();
  }

  Outcome Open() {
    std::vector<mdns::Link> links;
    std::vector<QNetworkInterface> interfaces;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
      if (!Usable(iface)) continue;
      for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
        const std::optional<quint32> local = Ipv4Of(entry.ip());
        const std::optional<quint32> mask = Ipv4Of(entry.netmask());
        if (!local || entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
        links.push_back({*local, mask.value_or(0xFFFFFFFFu)});
        if (std::none_of(interfaces.begin(), interfaces.end(),
                         [&](const QNetworkInterface& known) { return known.index() == iface.index(); }))
          interfaces.push_back(iface);
        auto socket = std::make_unique<QUdpSocket>();
        if (!socket->bind(entry.ip(), 0)) continue;
        socket->setMulticastInterface(iface);
        // 255: a receiver can tell the query was not forwarded.
        socket->setSocketOption(QAbstractSocket::MulticastTtlOption, 255);
        QUdpSocket* raw = socket.get();
        connect(raw, &QUdpSocket::readyRead, this, [this, raw] { Read(raw, true); });
        senders_.push_back(std::move(socket));
      }
    }
    if (links.empty()) return Outcome::NoInterface;
    if (senders_.empty()) return Outcome::NoSocket;
    gathering_.emplace(std::move(links));
    OpenListener(interfaces);
    return Outcome::Answered;
  }

  void Begin(int windowMs) {
    window_.start(windowMs);
    const size_t queries = std::size(kQueryAtMs);
    for (size_t i = 0; i < queries; ++i) {
      const bool last = i + 1 == queries;
      QTimer::singleShot(kQueryAtMs[i], this, [this, last] {
        if (stopped_) return;
        Send(mdns::ServiceType(), mdns::kTypePtr);
        if (last) {
          lastQuerySent_ = true;
          AskFollowUps();  // again, for those still incomplete
          end_.start(kAnswerMarginMs);
        }
      });
    }
  }

 private:
  void OpenListener(const std::vector<QNetworkInterface>& interfaces) {
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(QHostAddress::AnyIPv4, mdns::kPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
      return;
    bool joined = false;
    for (const QNetworkInterface& iface : interfaces)
      joined = socket->joinMulticastGroup(QHostAddress(mdns::kGroup), iface) || joined;
    if (!joined) return;
    QUdpSocket* raw = socket.get();
    connect(raw, &QUdpSocket::readyRead, this, [this, raw] { Read(raw, false); });
    listener_ = std::move(socket);
  }

  void Send(const mdns::WireName& name, uint16_t type) {
    const std::vector<uint8_t> query = mdns::BuildQuery(id_, name, type);
    const QByteArray bytes(reinterpret_cast<const char*>(query.data()), static_cast<qsizetype>(query.size()));
    for (auto& s : senders_) s->writeDatagram(bytes, QHostAddress(mdns::kGroup), mdns::kPort);
  }

  void AskFollowUps() {
    if (stopped_) return;
    const std::vector<mdns::Gathering::Question> questions = gathering_->FollowUps();
    for (const mdns::Gathering::Question& q : questions) Send(q.name, q.type);
    // Their answers are waited for, within the window.
    if (!questions.empty() && lastQuerySent_) end_.start(kAnswerMarginMs);
  }

  void Read(QUdpSocket* socket, bool unicast) {
    if (stopped_) return;
    for (int i = 0; i < kDatagramsPerTurn && socket->hasPendingDatagrams(); ++i) {
      if (++datagrams_ > kMaxDatagrams) {
        // A flood: stop listening, keep what was found.
        for (auto& s : senders_) s->close();
        if (listener_) listener_->close();
        return;
      }
      const qint64 size = socket->pendingDatagramSize();
      if (size < 0 || size > static_cast<qint64>(mdns::kMaxMessageBytes)) {
        socket->readDatagram(nullptr, 0);  // dropped unread
        gathering_->Refused(mdns::Refusal::Oversized);
        continue;
      }
      QByteArray bytes(size, Qt::Uninitialized);
      QHostAddress from;
      quint16 port = 0;
      if (socket->readDatagram(bytes.data(), size, &from, &port) != size) continue;
      const std::optional<quint32> v4 = Ipv4Of(from);
      if (!v4 || port != mdns::kPort) continue;
      mdns::Refusal why = mdns::Refusal::None;
      const std::optional<mdns::Response> response =
          mdns::ReadResponse(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size(), &why);
      if (!response) {
        gathering_->Refused(why);
        continue;
      }
      if (unicast && response->id != id_) continue;
      gathering_->Take(*response, *v4);
    }
    Report(gathering_->Ready(false));
    if (stopped_) return;
    if (!followUp_.isActive()) followUp_.start(kFollowUpDelayMs);
    // What is left waits for the next turn, so timers (the window) still run.
    if (socket->hasPendingDatagrams()) QTimer::singleShot(0, this, [this, socket, unicast] { Read(socket, unicast); });
  }

  void Report(const std::vector<mdns::Gathering::Found>& ready) {
    for (const mdns::Gathering::Found& f : ready) {
      std::optional<Finding> finding = DnsSdFinding(QString::fromUtf8(f.host.data(), qsizetype(f.host.size())),
                                                    QHostAddress(static_cast<quint32>(f.address)));
      if (!finding) continue;
      finding->key = f.instance;
      finding->details.model = f.model;
      ++computers_;
      Guarded([&] { found_(*finding); });
      if (stopped_) return;
    }
  }

  void Close() {
    if (stopped_) return;
    Report(gathering_->Ready(true));  // complete but for their TXT record
    if (stopped_) return;
    const Outcome outcome = computers_ ? Outcome::Answered : Outcome::NoAnswer;
    Source::Done done = std::move(done_);
    Stop();
    if (done) Guarded([&] { done(outcome); });
  }

  Source::Found found_;
  Source::Done done_;
  const uint16_t id_;  // every query of the search carries it
  std::vector<std::unique_ptr<QUdpSocket>> senders_;
  std::unique_ptr<QUdpSocket> listener_;  // port 5353, joined to the group; null: not shared here
  std::optional<mdns::Gathering> gathering_;
  QTimer window_, end_, followUp_;
  bool lastQuerySent_ = false;
  int datagrams_ = 0;
  int computers_ = 0;
  bool stopped_ = false;
};

class MdnsBrowse final : public SearchSource<Search> {
 protected:
  std::unique_ptr<Search> Make(Found found, Done done) override {
    return std::make_unique<Search>(std::move(found), std::move(done));
  }
};

}  // namespace

std::unique_ptr<Source> MakeMdnsBrowse() { return std::make_unique<MdnsBrowse>(); }

}  // namespace discovery
