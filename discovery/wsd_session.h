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

#include "source.h"

namespace discovery::wsd {

// Gaps between the four sends of one Probe, as SOAP-over-UDP asks: the first
// random in 50-250 ms, each next one doubled, at most 500 ms. Quick (a search
// whose owner stops once it settles, APP_MAX_DELAY after the last send): the
// first random in 50-75 ms, the next ones 50 ms, the protocol's least.
std::vector<int> ProbeGapsMs(std::mt19937& random, bool quick = false);
// WS-Discovery's APP_MAX_DELAY: a target answers a multicast Probe or
// Resolve within a random delay of at most this.
constexpr int kAppMaxDelayMs = 500;

struct Computer {
  QString name;
  QString workgroup;  // workgroup or domain; empty when not joined
  QHostAddress address;
  QString manufacturer, modelName, presentationUrl, friendlyName;  // the metadata's, unchecked
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
    QHostAddress host;        // the address the answer came from; the URL's host
    QString metadataVersion;  // what the answer said it was
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

// The computers whose metadata was fetched, by endpoint, with the address
// it was fetched from and its version. The trust rule for what is heard
// between fetches: an endpoint is known only at that address, so a Hello or
// match from any other address needs a fetch from there, and a Bye counts
// only from there. A new metadata version (a computer renamed, say) needs a
// fetch too.
class KnownComputers {
 public:
  static constexpr int kMax = 1024;

  // The computer endpoint names when it is known at address with metadata
  // of that version (empty: any).
  const Finding* At(const QString& endpoint, const QHostAddress& address, const QString& version = {}) const {
    const auto it = map_.constFind(endpoint);
    if (it == map_.cend() || it->address != address) return nullptr;
    return version.isEmpty() || version == it->version ? &it->finding : nullptr;
  }
  // Fetched from address: known there from now on (beyond kMax, another goes).
  void Put(const QString& endpoint, const QHostAddress& address, const QString& version, const Finding& finding) {
    if (!map_.contains(endpoint) && map_.size() >= kMax) map_.erase(map_.begin());
    map_.insert(endpoint, {address, version, finding});
  }
  // A Bye from address: forgets endpoint when it is known there.
  bool Forget(const QString& endpoint, const QHostAddress& address) {
    if (!At(endpoint, address)) return false;
    map_.remove(endpoint);
    return true;
  }
  int Size() const { return static_cast<int>(map_.size()); }

 private:
  struct Computer {
    QHostAddress address;
    QString version;
    Finding finding;
  };
  QHash<QString, Computer> map_;
};

}  // namespace discovery::wsd
