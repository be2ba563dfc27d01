#pragma once
// WS-Discovery and WS-Transfer messages (SOAP 1.2 over UDP and HTTP): the
// three we send and a strict reader for the answers. Plain code over bytes.
// The reader drops anything larger than kMaxMessageBytes, any document with a
// DOCTYPE, malformed XML and nesting deeper than a real answer needs.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace discovery::wsd {

constexpr int kMaxMessageBytes = 32767;
constexpr quint16 kPort = 3702;
constexpr int kMetadataPort = 5357;     // the only port metadata is fetched from
extern const char* const kMulticastV4;  // 239.255.255.250
extern const char* const kMulticastV6;  // ff02::c

// A Probe for Types exactly "wsdp:Device" (peers compare the text).
QByteArray BuildProbe(const QString& messageId);
// A Resolve for one endpoint address.
QByteArray BuildResolve(const QString& messageId, const QString& endpoint);
// A WS-Transfer Get addressed to one endpoint, for an HTTP POST.
QByteArray BuildGet(const QString& messageId, const QString& endpoint);

// A fresh "urn:uuid:..." message identifier.
QString NewMessageId();

// One ProbeMatch, ResolveMatch, Hello or Bye.
struct Match {
  QString endpoint;       // EndpointReference/Address
  bool computer = false;  // Types hold pub:Computer
  bool typed = false;     // a Types element was there (a Hello may leave it out)
  QStringList xaddrs;
  QString metadataVersion;  // changes when the metadata does; empty when absent or overlong
};

// The host described by a Get response's Relationship section.
struct Host {
  bool computer = false;  // Types hold pub:Computer
  QString computerText;   // the pub:Computer text, e.g. "NAME/Workgroup:WG"
};

enum class Kind { Other, ProbeMatches, ResolveMatches, GetResponse, Hello, Bye };

struct Message {
  Kind kind = Kind::Other;
  QString messageId;
  QString relatesTo;
  std::vector<Match> matches;  // ProbeMatches, ResolveMatches, Hello and Bye (one)
  std::vector<Host> hosts;     // GetResponse
  // GetResponse: the ThisModel and ThisDevice sections (the first text of
  // each, trimmed; empty when absent).
  QString manufacturer, modelName, presentationUrl, friendlyName;
};

// Reads one answer; nothing when it is not one we could trust to read.
std::optional<Message> Parse(const QByteArray& bytes);

// The computer named by a pub:Computer text: "NAME/Workgroup:WG",
// "NAME/Domain:DOM" or "NAME\NotJoined", "/" and "\" alike.
struct ComputerName {
  QString name;
  QString workgroup;  // workgroup or domain; empty when not joined
};
std::optional<ComputerName> ParseComputerText(const QString& text);

}  // namespace discovery::wsd
