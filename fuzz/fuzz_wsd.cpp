// Feeds arbitrary bytes to the WS-Discovery reader: as a datagram to a search
// (Probe and Resolve answers), as a Hello or Bye, as the body of a metadata
// fetch, and as a computer text. Whatever the bytes, a fetch may only go to
// the sender's own address on the metadata port, and what is read stays
// within the reader's bounds.
#include <QHostAddress>
#include <QUrl>
#include <cstddef>
#include <cstdint>

#include "wsd_messages.h"
#include "wsd_session.h"

using namespace discovery::wsd;

namespace {

const QHostAddress kFrom(QStringLiteral("10.99.0.1"));

void CheckFetch(const Session::Fetch& fetch) {
  if (fetch.url.port() != kMetadataPort || QHostAddress(fetch.url.host()) != kFrom || fetch.host != kFrom)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (const std::optional<Message> message = Parse(bytes)) {
    if (message->matches.size() > 64 || message->hosts.size() > 8) __builtin_trap();
    for (const Match& match : message->matches)
      if (match.xaddrs.size() > 16 || match.metadataVersion.size() > 10) __builtin_trap();
  }
  // The probe ID the seeds answer; the session lives across inputs, so its
  // own bounds are exercised too.
  static Session session(QStringLiteral("urn:uuid:12d5483f-d588-47a7-aa27-353d94ca7555"));
  const Session::Actions actions = session.OnDatagram(bytes, kFrom);
  for (const Session::Fetch& fetch : actions.fetches) CheckFetch(fetch);
  const Session::Heard heard = session.OnAnnouncement(bytes, kFrom);
  if (heard.fetch) CheckFetch(*heard.fetch);

  Session::Fetch fetch;
  fetch.messageId = QStringLiteral("urn:uuid:0d2d5e2a-5b5f-4b59-9a2e-7a6f0f1b2c3d");
  fetch.host = kFrom;
  if (const std::optional<Computer> computer = session.OnMetadata(fetch, bytes))
    if (computer->name.isEmpty()) __builtin_trap();
  if (const std::optional<ComputerName> name = ParseComputerText(QString::fromUtf8(bytes)))
    if (name->name.isEmpty()) __builtin_trap();
  return 0;
}
