#include "wsd_client.h"

#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>
#include <QUdpSocket>
#include <deque>
#include <random>

#include "names.h"
#include "wsd_messages.h"
#include "wsd_session.h"

namespace discovery {

namespace {

// Work per search stays bounded whatever arrives: datagrams read in one turn
// of the event loop and in all, and HTTP requests at once.
constexpr int kDatagramsPerTurn = 64;
constexpr int kMaxDatagrams = 4096;
constexpr size_t kMaxFetchesInFlight = 8;

struct Sender {
  std::unique_ptr<QUdpSocket> socket;
  QHostAddress group;
};

}  // namespace

// One search. Callbacks may end it (destroy it) from inside, so every place
// that calls out checks a guard afterwards.
class WsdClient::Search : public QObject {
 public:
  Search(Found found, Done done) : found_(std::move(found)), done_(std::move(done)), random_(std::random_device{}()) {
    window_.setSingleShot(true);
    repeat_.setSingleShot(true);
    nam_.setProxy(QNetworkProxy::NoProxy);
    nam_.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    connect(&window_, &QTimer::timeout, this, &Search::Close);
    connect(&repeat_, &QTimer::timeout, this, &Search::SendProbe);
  }
  ~Search() override { Stop(); }

  // Nothing is sent, read or reported after this.
  void Stop() {
    stopped_ = true;
    window_.stop();
    repeat_.stop();
    for (Sender& s : senders_) s.socket->close();
    std::vector<QNetworkReply*> replies;
    replies.swap(replies_);
    for (QNetworkReply* reply : replies) {
      reply->disconnect(this);
      reply->abort();
      reply->deleteLater();
    }
    queued_.clear();
  }

  Outcome Open() {
    bool anyInterface = false;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
      const auto flags = iface.flags();
      if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
          !(flags & QNetworkInterface::CanMulticast) || (flags & QNetworkInterface::IsLoopBack))
        continue;
      for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
        const QHostAddress local = entry.ip();
        QHostAddress group;
        if (local.protocol() == QAbstractSocket::IPv4Protocol) {
          group = QHostAddress(QString::fromLatin1(wsd::kMulticastV4));
        } else if (local.protocol() == QAbstractSocket::IPv6Protocol && local.isLinkLocal()) {
          group = QHostAddress(QString::fromLatin1(wsd::kMulticastV6));
          group.setScopeId(iface.name());
        } else {
          continue;
        }
        anyInterface = true;
        auto socket = std::make_unique<QUdpSocket>();
        // Replies come back by unicast to this address and port; the group is
        // reached through this interface only (a namespace without a default
        // route has no other way), one hop away.
        if (!socket->bind(local, 0)) continue;
        socket->setMulticastInterface(iface);
        socket->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
        QUdpSocket* raw = socket.get();
        connect(raw, &QUdpSocket::readyRead, this, [this, raw] { Read(raw); });
        senders_.push_back({std::move(socket), group});
      }
    }
    if (!anyInterface) return Outcome::NoInterface;
    if (senders_.empty()) return Outcome::NoSocket;
    return Outcome::Answered;
  }

  void Begin(int windowMs) {
    gaps_ = wsd::ProbeGapsMs(random_);
    window_.start(windowMs);
    SendProbe();
  }

 private:
  void Send(const QByteArray& message) {
    for (Sender& s : senders_) s.socket->writeDatagram(message, s.group, wsd::kPort);
  }

  // The same Probe (one MessageID) four times, the gaps growing.
  void SendProbe() {
    Send(session_.Probe());
    if (sends_++ < static_cast<int>(gaps_.size())) repeat_.start(gaps_[static_cast<size_t>(sends_ - 1)]);
  }

  void Read(QUdpSocket* socket) {
    if (stopped_) return;
    for (int i = 0; i < kDatagramsPerTurn && socket->hasPendingDatagrams(); ++i) {
      if (++datagrams_ > kMaxDatagrams) {
        for (Sender& s : senders_) s.socket->close();  // a flood: stop listening, keep what was found
        return;
      }
      const qint64 size = socket->pendingDatagramSize();
      if (size < 0 || size > wsd::kMaxMessageBytes) {
        socket->readDatagram(nullptr, 0);  // dropped unread
        continue;
      }
      QByteArray bytes(size, Qt::Uninitialized);
      QHostAddress from;
      if (socket->readDatagram(bytes.data(), size, &from) != size) continue;
      wsd::Session::Actions actions = session_.OnDatagram(bytes, from);
      for (const QByteArray& resolve : actions.resolves) Send(resolve);
      for (wsd::Session::Fetch& fetch : actions.fetches) queued_.push_back(std::move(fetch));
    }
    StartFetches();
    // What is left waits for the next turn, so timers (the window) still run.
    if (socket->hasPendingDatagrams()) QTimer::singleShot(0, this, [this, socket] { Read(socket); });
  }

  void StartFetches() {
    while (!queued_.empty() && replies_.size() < kMaxFetchesInFlight) {
      wsd::Session::Fetch fetch = std::move(queued_.front());
      queued_.pop_front();
      QNetworkRequest request(fetch.url);
      request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/soap+xml"));
      request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Mirelka"));
      request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
      request.setTransferTimeout(std::max(1, window_.remainingTime()));
      QNetworkReply* reply = nam_.post(request, fetch.body);
      replies_.push_back(reply);
      // An answer larger than any metadata needs is cut off.
      connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > wsd::kMaxMessageBytes) reply->abort();
      });
      connect(reply, &QNetworkReply::finished, this, [this, reply, fetch] { Fetched(reply, fetch); });
    }
  }

  void Fetched(QNetworkReply* reply, const wsd::Session::Fetch& fetch) {
    if (stopped_) return;
    QByteArray body;
    if (reply->error() == QNetworkReply::NoError &&
        reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200)
      body = reply->read(wsd::kMaxMessageBytes + 1);
    replies_.erase(std::find(replies_.begin(), replies_.end(), reply));
    reply->deleteLater();
    if (const std::optional<wsd::Computer> computer = session_.OnMetadata(fetch, body)) {
      if (std::optional<Finding> finding = WsdFinding(computer->name, computer->workgroup, computer->address)) {
        ++computers_;
        found_(*finding);
        if (stopped_) return;
      }
    }
    StartFetches();
  }

  // The window has closed: answers after this are not read.
  void Close() {
    const Outcome outcome = computers_ ? Outcome::Answered : Outcome::NoAnswer;
    Done done = std::move(done_);
    Stop();
    if (done) done(outcome);
  }

  Found found_;
  Done done_;
  wsd::Session session_;
  std::vector<Sender> senders_;
  std::mt19937 random_;
  std::vector<int> gaps_;
  int sends_ = 0;
  QTimer window_, repeat_;
  QNetworkAccessManager nam_;
  std::deque<wsd::Session::Fetch> queued_;
  std::vector<QNetworkReply*> replies_;
  int datagrams_ = 0;
  int computers_ = 0;
  bool stopped_ = false;
};

WsdClient::WsdClient(QObject* parent) : QObject(parent) {}

WsdClient::~WsdClient() = default;

void WsdClient::Cancel() { searches_.Cancel(); }

Outcome WsdClient::Start(int windowMs, Found found, Done done) {
  return searches_.Start(windowMs, std::move(found), std::move(done));
}

}  // namespace discovery

namespace discovery {
std::unique_ptr<Source> MakeWsDiscovery() { return std::make_unique<WsdClient>(); }
}  // namespace discovery
