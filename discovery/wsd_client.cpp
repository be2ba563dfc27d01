// WS-Discovery over Qt Network. A search: one UDP socket per up,
// multicast-capable, non-loopback interface (IPv4, and IPv6 link-local where
// present), a Probe sent four times, Resolves for matches without addresses,
// and the metadata fetched by HTTP from the answering host itself. Between
// searches a listener on UDP 3702 hears Hello and Bye.
//
// Trust: metadata is fetched only from the address a message came from and
// only on port 5357. A computer already known (its endpoint at that very
// address, its metadata version unchanged) is reported again without a
// fetch; an endpoint heard from a new address counts at that address only
// once the metadata fetched from there names a computer. A Bye counts only
// from the address its endpoint is known at.
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSet>
#include <QTimer>
#include <QUdpSocket>
#include <deque>
#include <random>

#include "names.h"
#include "search_owner.h"
#include "wsd_messages.h"
#include "wsd_session.h"

namespace discovery {

namespace {

// Work stays bounded whatever arrives: datagrams read in one turn of the
// event loop and per search, HTTP requests at once and waiting, and the
// distinct hosts one search fetches from (the rest wait for the next search).
constexpr int kDatagramsPerTurn = 64;
constexpr int kMaxDatagrams = 4096;
constexpr size_t kMaxFetchesInFlight = 8;
constexpr size_t kMaxQueuedFetches = 64;
constexpr int kMaxFetchHosts = 32;
// A fetch for a Hello has no search window: it gets this long.
constexpr int kAnnouncedFetchMs = 5000;
// A search settles this long after its last Probe or Resolve (the answer's
// way back beyond the target's delay), once no fetch is under way.
constexpr int kSettleMs = wsd::kAppMaxDelayMs + 100;

bool Usable(const QNetworkInterface& iface) {
  const auto flags = iface.flags();
  return (flags & QNetworkInterface::IsUp) && (flags & QNetworkInterface::IsRunning) &&
         (flags & QNetworkInterface::CanMulticast) && !(flags & QNetworkInterface::IsLoopBack);
}

// Metadata fetches, a few at a time, each read to at most the message cap.
class Fetches : public QObject {
 public:
  using Done = std::function<void(const wsd::Session::Fetch&, const QByteArray& body)>;
  explicit Fetches(Done done) : done_(std::move(done)) {
    nam_.setProxy(QNetworkProxy::NoProxy);
    nam_.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
  }
  ~Fetches() override { Stop(); }

  // False when too many wait already.
  bool Add(wsd::Session::Fetch fetch, int timeoutMs) {
    if (queued_.size() >= kMaxQueuedFetches) return false;
    queued_.push_back({std::move(fetch), std::max(1, timeoutMs)});
    StartSome();
    return true;
  }

  void Stop() {
    stopped_ = true;
    std::vector<QNetworkReply*> replies;
    replies.swap(replies_);
    for (QNetworkReply* reply : replies) {
      reply->disconnect(this);
      reply->abort();
      reply->deleteLater();
    }
    queued_.clear();
  }

  bool Idle() const { return queued_.empty() && replies_.empty(); }

 private:
  void StartSome() {
    while (!stopped_ && !queued_.empty() && replies_.size() < kMaxFetchesInFlight) {
      auto [fetch, timeoutMs] = std::move(queued_.front());
      queued_.pop_front();
      QNetworkRequest request(fetch.url);
      request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/soap+xml"));
      request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Mirelka"));
      request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
      request.setTransferTimeout(timeoutMs);
      QNetworkReply* reply = nam_.post(request, fetch.body);
      // Never more than the cap buffered; an answer beyond it is cut off.
      reply->setReadBufferSize(wsd::kMaxMessageBytes + 1);
      replies_.push_back(reply);
      connect(reply, &QNetworkReply::readyRead, this, [reply] {
        if (reply->bytesAvailable() > wsd::kMaxMessageBytes) reply->abort();
      });
      connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > wsd::kMaxMessageBytes) reply->abort();
      });
      connect(reply, &QNetworkReply::finished, this,
              [this, reply, fetch = std::move(fetch)] { Fetched(reply, fetch); });
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
    done_(fetch, body);  // may stop these fetches
    StartSome();
  }

  struct Queued {
    wsd::Session::Fetch fetch;
    int timeoutMs;
  };
  Done done_;
  QNetworkAccessManager nam_;
  std::deque<Queued> queued_;
  std::vector<QNetworkReply*> replies_;
  bool stopped_ = false;
};

// The computer the metadata names, as a finding keyed by its endpoint.
std::optional<Finding> FindingOf(const wsd::Session& session, const wsd::Session::Fetch& fetch,
                                 const QByteArray& body) {
  const std::optional<wsd::Computer> computer = session.OnMetadata(fetch, body);
  if (!computer) return std::nullopt;
  std::optional<Finding> finding = WsdFinding(computer->name, computer->workgroup, computer->address);
  if (finding) {
    finding->key = fetch.endpoint.toStdString();
    Details& d = finding->details;
    d.manufacturer = computer->manufacturer.toStdString();
    d.model = computer->modelName.toStdString();
    d.presentationUrl = computer->presentationUrl.toStdString();
    d.friendlyName = computer->friendlyName.toStdString();
  }
  return finding;
}

struct Sender {
  std::unique_ptr<QUdpSocket> socket;
  QHostAddress group;
};

// One search. Callbacks may end it from inside, so every place that calls
// out checks stopped_ afterwards.
class Search : public QObject {
 public:
  Search(Source::Found found, Source::Done done, Source::Settled settled, wsd::KnownComputers* known)
      : found_(std::move(found)),
        done_(std::move(done)),
        settled_(std::move(settled)),
        known_(known),
        random_(std::random_device{}()),
        fetches_([this](const wsd::Session::Fetch& f, const QByteArray& body) { Fetched(f, body); }) {
    window_.setSingleShot(true);
    repeat_.setSingleShot(true);
    connect(&window_, &QTimer::timeout, this, &Search::Close);
    connect(&repeat_, &QTimer::timeout, this, &Search::SendProbe);
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, [this] {
      settleDue_ = true;
      MaybeSettled();
    });
  }
  ~Search() override { Stop(); }

  // Nothing is sent, read or reported after this.
  void Stop() {
    stopped_ = true;
    window_.stop();
    repeat_.stop();
    settle_.stop();
    for (Sender& s : senders_) s.socket->close();
    fetches_.Stop();
  }

  Outcome Open() {
    bool anyInterface = false;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
      if (!Usable(iface)) continue;
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
    gaps_ = wsd::ProbeGapsMs(random_, static_cast<bool>(settled_));
    window_.start(windowMs);
    SendProbe();
  }

 private:
  void Send(const QByteArray& message) {
    for (Sender& s : senders_) s.socket->writeDatagram(message, s.group, wsd::kPort);
    settleDue_ = false;
    if (settled_) settle_.start(kSettleMs);
  }

  // Settled once the answers to the last send are due and no fetch runs.
  void MaybeSettled() {
    if (stopped_ || !settleDue_ || !settled_ || !fetches_.Idle()) return;
    Source::Settled settled = std::move(settled_);
    settled_ = nullptr;
    Guarded(settled);
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
      for (wsd::Session::Fetch& fetch : actions.fetches) {
        if (const Finding* known = known_->At(fetch.endpoint, fetch.host, fetch.metadataVersion)) {
          Report(*known);  // seen again where it was: no fetch
          if (stopped_) return;
          continue;
        }
        const QString host = fetch.host.toString();
        if (!hosts_.contains(host) && hosts_.size() >= kMaxFetchHosts) continue;
        hosts_.insert(host);
        fetches_.Add(std::move(fetch), window_.remainingTime());
      }
    }
    // What is left waits for the next turn, so timers (the window) still run.
    if (socket->hasPendingDatagrams()) QTimer::singleShot(0, this, [this, socket] { Read(socket); });
  }

  void Fetched(const wsd::Session::Fetch& fetch, const QByteArray& body) {
    if (const std::optional<Finding> finding = FindingOf(session_, fetch, body)) {
      known_->Put(fetch.endpoint, fetch.host, fetch.metadataVersion, *finding);
      Report(*finding);
    }
    // Called from inside the fetches: the one that ended is no longer counted.
    QTimer::singleShot(0, this, [this] { MaybeSettled(); });
  }

  void Report(const Finding& finding) {
    ++computers_;
    Guarded([&] { found_(finding); });
  }

  // The window has closed: answers after this are not read.
  void Close() {
    const Outcome outcome = computers_ ? Outcome::Answered : Outcome::NoAnswer;
    Source::Done done = std::move(done_);
    Stop();
    if (done) Guarded([&] { done(outcome); });
  }

  Source::Found found_;
  Source::Done done_;
  Source::Settled settled_;  // null: the owner waits for the window
  wsd::KnownComputers* known_;
  wsd::Session session_;
  std::vector<Sender> senders_;
  std::mt19937 random_;
  std::vector<int> gaps_;
  int sends_ = 0;
  QTimer window_, repeat_, settle_;
  bool settleDue_ = false;
  Fetches fetches_;
  QSet<QString> hosts_;  // fetched from in this search
  int datagrams_ = 0;
  int computers_ = 0;
  bool stopped_ = false;
};

// Hello and Bye on UDP 3702, joined to the groups on every usable interface.
class Listener : public QObject {
 public:
  Listener(Source::Found found, Source::Gone gone, wsd::KnownComputers* known)
      : found_(std::move(found)),
        gone_(std::move(gone)),
        known_(known),
        fetches_([this](const wsd::Session::Fetch& f, const QByteArray& body) { Fetched(f, body); }) {}
  ~Listener() override { Stop(); }

  bool Open() {
    for (const bool v6 : {false, true}) {
      auto socket = std::make_unique<QUdpSocket>();
      if (!socket->bind(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4, wsd::kPort,
                        QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        continue;
      bool joined = false;
      for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        if (!Usable(iface)) continue;
        QHostAddress group(QString::fromLatin1(v6 ? wsd::kMulticastV6 : wsd::kMulticastV4));
        joined = socket->joinMulticastGroup(group, iface) || joined;
      }
      if (!joined) continue;
      QUdpSocket* raw = socket.get();
      connect(raw, &QUdpSocket::readyRead, this, [this, raw] { Read(raw); });
      sockets_.push_back(std::move(socket));
    }
    return !sockets_.empty();
  }

  void Stop() {
    stopped_ = true;
    for (auto& socket : sockets_) socket->close();
    fetches_.Stop();
  }

 private:
  void Read(QUdpSocket* socket) {
    for (int i = 0; !stopped_ && i < kDatagramsPerTurn && socket->hasPendingDatagrams(); ++i) {
      const qint64 size = socket->pendingDatagramSize();
      if (size < 0 || size > wsd::kMaxMessageBytes) {
        socket->readDatagram(nullptr, 0);
        continue;
      }
      QByteArray bytes(size, Qt::Uninitialized);
      QHostAddress from;
      if (socket->readDatagram(bytes.data(), size, &from) != size) continue;
      bool ok = false;
      const quint32 v4 = from.toIPv4Address(&ok);
      if (ok) from = QHostAddress(v4);
      wsd::Session::Heard heard = session_.OnAnnouncement(bytes, from);
      if (!heard.bye.isEmpty()) {
        if (known_->Forget(heard.bye, from)) Guarded([&] { gone_(heard.bye.toStdString()); });
      } else if (heard.fetch) {
        if (const Finding* known = known_->At(heard.fetch->endpoint, from, heard.fetch->metadataVersion)) {
          const Finding again = *known;
          Guarded([&] { found_(again); });
          continue;
        }
        // One fetch at a time per endpoint and address, however often it says hello.
        const QString key = heard.fetch->endpoint + QLatin1Char(' ') + from.toString();
        if (fetching_.contains(key) || fetching_.size() >= int(kMaxQueuedFetches)) continue;
        if (fetches_.Add(*heard.fetch, kAnnouncedFetchMs)) fetching_.insert(key);
      }
    }
    if (!stopped_ && socket->hasPendingDatagrams()) QTimer::singleShot(0, this, [this, socket] { Read(socket); });
  }

  void Fetched(const wsd::Session::Fetch& fetch, const QByteArray& body) {
    fetching_.remove(fetch.endpoint + QLatin1Char(' ') + fetch.host.toString());
    if (const std::optional<Finding> finding = FindingOf(session_, fetch, body)) {
      known_->Put(fetch.endpoint, fetch.host, fetch.metadataVersion, *finding);
      Guarded([&] { found_(*finding); });
    }
  }

  Source::Found found_;
  Source::Gone gone_;
  wsd::KnownComputers* known_;
  wsd::Session session_;
  std::vector<std::unique_ptr<QUdpSocket>> sockets_;
  Fetches fetches_;
  QSet<QString> fetching_;
  bool stopped_ = false;
};

class WsdClient final : public SearchSource<Search> {
 public:
  void WhenSettled(Settled settled) override { settled_ = std::move(settled); }

  bool Follow(Found found, Gone gone) override {
    if (listener_) {
      listener_->Stop();
      listener_.release()->deleteLater();  // may be inside one of its own callbacks
    }
    if (!found) return false;
    auto listener = std::make_unique<Listener>(std::move(found), std::move(gone), &known_);
    if (!listener->Open()) return false;
    listener_ = std::move(listener);
    return true;
  }

 protected:
  std::unique_ptr<Search> Make(Found found, Done done) override {
    return std::make_unique<Search>(std::move(found), std::move(done), settled_, &known_);
  }

 private:
  wsd::KnownComputers known_;  // outlives the listener and the search, declared first
  std::unique_ptr<Listener> listener_;
  Settled settled_;
};

}  // namespace

std::unique_ptr<Source> MakeWsDiscovery() { return std::make_unique<WsdClient>(); }

}  // namespace discovery
