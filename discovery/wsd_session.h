#pragma once
// The rules of one WS-Discovery search, without sockets or timers: which
// answers to trust, when to Resolve, which metadata to fetch and from where.
// The client feeds it datagrams and HTTP bodies and carries out its actions.
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QSet>
#include <QString>
#include <QUrl>
#include <optional>
#include <random>
#include <vector>

namespace discovery::wsd {

// Gaps between the four sends of one Probe, as SOAP-over-UDP asks: the first
// random in 50-250 ms, each next one doubled, at most 500 ms.
std::vector<int> ProbeGapsMs(std::mt19937& random);

struct Computer {
  QString name;
  QString workgroup;  // workgroup or domain; empty when not joined
  QHostAddress address;
};

class Session {
 public:
  // Bounds that keep a flood of answers from growing memory or work.
  static constexpr int kMaxEndpoints = 256;
  static constexpr int kMaxMessageIds = 4096;

  explicit Session(QString probeId = QString());

  const QByteArray& Probe() const { return probe_; }

  struct Fetch {
    QUrl url;
    QString endpoint;
    QString messageId;
    QByteArray body;
    QHostAddress host;  // the address the answer came from; the URL's host
  };
  struct Actions {
    std::vector<QByteArray> resolves;  // to send to the multicast groups
    std::vector<Fetch> fetches;        // to POST
  };

  // One datagram that came from `from`.
  Actions OnDatagram(const QByteArray& bytes, const QHostAddress& from);
  // A Hello or Bye heard between searches: the metadata to fetch for a
  // computer that says hello, or the endpoint that says goodbye.
  struct Heard {
    std::optional<Fetch> fetch;
    QString bye;
  };
  Heard OnAnnouncement(const QByteArray& bytes, const QHostAddress& from) const;
  // The body an HTTP POST of `fetch` brought back.
  std::optional<Computer> OnMetadata(const Fetch& fetch, const QByteArray& body) const;

 private:
  QString probeId_;
  QByteArray probe_;
  QHash<QString, QString> resolveFor_;  // Resolve MessageID -> endpoint
  QSet<QString> seenIds_;
  QHash<QString, bool> endpoints_;  // endpoint -> its metadata is fetched (else: being resolved)
};

}  // namespace discovery::wsd
