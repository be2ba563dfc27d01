#include "wsd_session.h"

#include <algorithm>
#include <cstring>

#include "wsd_messages.h"

namespace discovery::wsd {

namespace {

// The URL among xaddrs that points at `from` itself on the metadata port,
// rewritten to that very address; a forged answer must not make us send
// requests to any other host or service.
std::optional<QUrl> XAddrOnSender(const QStringList& xaddrs, const QHostAddress& from) {
  for (const QString& text : xaddrs) {
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || !url.userInfo().isEmpty() ||
        url.port() != kMetadataPort)
      continue;
    const QHostAddress host(url.host());
    if (host.isNull() || host.protocol() != from.protocol()) continue;
    // The same address; an IPv6 scope is the sender's, the URL seldom has one.
    const Q_IPV6ADDR a = host.toIPv6Address(), b = from.toIPv6Address();
    if (std::memcmp(&a, &b, sizeof a) != 0) continue;
    url.setHost(from.toString());  // keeps an IPv6 link-local scope
    return url;
  }
  return std::nullopt;
}

Session::Fetch MakeFetch(const QUrl& url, const Match& match, const QHostAddress& from) {
  const QString& endpoint = match.endpoint;
  Session::Fetch fetch;
  fetch.url = url;
  fetch.endpoint = endpoint;
  fetch.messageId = NewMessageId();
  fetch.body = BuildGet(fetch.messageId, endpoint);
  fetch.host = from;
  fetch.metadataVersion = match.metadataVersion;
  return fetch;
}

}  // namespace

std::vector<int> ProbeGapsMs(std::mt19937& random, bool quick) {
  std::uniform_int_distribution<int> first(50, quick ? 75 : 250);
  int gap = first(random);
  std::vector<int> gaps;
  for (int i = 0; i < 3; ++i) {
    gaps.push_back(gap);
    gap = quick ? 50 : std::min(gap * 2, 500);
  }
  return gaps;
}

Session::Session(QString probeId) : probeId_(probeId.isEmpty() ? NewMessageId() : std::move(probeId)) {
  probe_ = BuildProbe(probeId_);
}

Session::Actions Session::OnDatagram(const QByteArray& bytes, const QHostAddress& from) {
  Actions actions;
  const std::optional<Message> message = Parse(bytes);
  if (!message) return actions;
  const bool probeMatch = message->kind == Kind::ProbeMatches && message->relatesTo == probeId_;
  const bool resolveMatch = message->kind == Kind::ResolveMatches && resolveFor_.contains(message->relatesTo);
  if (!(probeMatch || resolveMatch)) return actions;
  // Repeats of an answer we acted on are dropped. Only answers acted on are
  // remembered, so a forged copy of an ID cannot hide the real answer.
  if (seenIds_.contains(message->messageId) || seenIds_.size() >= kMaxMessageIds) return actions;

  for (const Match& match : message->matches) {
    if (!match.computer || match.endpoint.isEmpty() || match.endpoint.size() > 512) continue;
    const auto known = endpoints_.constFind(match.endpoint);
    if (resolveMatch) {
      // Only the endpoint this Resolve asked for, and only once.
      if (resolveFor_.value(message->relatesTo) != match.endpoint || known == endpoints_.cend() || *known) continue;
    } else {
      if (known != endpoints_.cend()) continue;
      if (endpoints_.size() >= kMaxEndpoints) break;
      if (match.xaddrs.isEmpty()) {
        endpoints_.insert(match.endpoint, false);
        const QString id = NewMessageId();
        resolveFor_.insert(id, match.endpoint);
        actions.resolves.push_back(BuildResolve(id, match.endpoint));
        continue;
      }
    }
    const std::optional<QUrl> url = XAddrOnSender(match.xaddrs, from);
    if (!url) continue;
    endpoints_.insert(match.endpoint, true);
    actions.fetches.push_back(MakeFetch(*url, match, from));
  }
  if (!actions.resolves.empty() || !actions.fetches.empty()) seenIds_.insert(message->messageId);
  return actions;
}

Session::Heard Session::OnAnnouncement(const QByteArray& bytes, const QHostAddress& from) const {
  Heard heard;
  const std::optional<Message> message = Parse(bytes);
  if (!message || message->matches.empty()) return heard;
  const Match& match = message->matches.front();
  if (match.endpoint.isEmpty() || match.endpoint.size() > 512) return heard;
  if (message->kind == Kind::Bye) {
    heard.bye = match.endpoint;
  } else if (message->kind == Kind::Hello && (match.computer || !match.typed)) {
    // wsdd's Hello names no Types: the metadata from the sender tells. A
    // Hello without an address on its sender is left to the next search.
    if (const std::optional<QUrl> url = XAddrOnSender(match.xaddrs, from)) heard.fetch = MakeFetch(*url, match, from);
  }
  return heard;
}

std::optional<Computer> Session::OnMetadata(const Fetch& fetch, const QByteArray& body) const {
  const std::optional<Message> message = Parse(body);
  if (!message || message->kind != Kind::GetResponse || message->relatesTo != fetch.messageId) return std::nullopt;
  for (const Host& host : message->hosts) {
    if (!host.computer) continue;
    const std::optional<ComputerName> name = ParseComputerText(host.computerText);
    if (!name) continue;
    return Computer{name->name,         name->workgroup,          fetch.host,           message->manufacturer,
                    message->modelName, message->presentationUrl, message->friendlyName};
  }
  return std::nullopt;
}

}  // namespace discovery::wsd
