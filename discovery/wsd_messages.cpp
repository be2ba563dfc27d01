#include "wsd_messages.h"

#include <QRegularExpression>
#include <QUuid>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cstring>

namespace discovery::wsd {

const char* const kMulticastV4 = "239.255.255.250";
const char* const kMulticastV6 = "ff02::c";

namespace {

const QString kSoap = QStringLiteral("http://www.w3.org/2003/05/soap-envelope");
const QString kWsa = QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing");
const QString kWsd = QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery");
const QString kWsdp = QStringLiteral("http://schemas.xmlsoap.org/ws/2006/02/devprof");
const QString kWsx = QStringLiteral("http://schemas.xmlsoap.org/ws/2004/09/mex");
const QString kPub = QStringLiteral("http://schemas.microsoft.com/windows/pub/2005/07");
const QString kDiscoveryTo = QStringLiteral("urn:schemas-xmlsoap-org:ws:2005:04:discovery");
const QString kAnonymous = QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous");
const QString kHostRelationship = QStringLiteral("http://schemas.xmlsoap.org/ws/2006/02/devprof/host");

QString Action(const char* name) { return kWsd + QLatin1Char('/') + QLatin1String(name); }
const QString kGetAction = QStringLiteral("http://schemas.xmlsoap.org/ws/2004/09/transfer/Get");
const QString kGetResponseAction = QStringLiteral("http://schemas.xmlsoap.org/ws/2004/09/transfer/GetResponse");

// Real answers nest about ten deep and carry a handful of matches.
constexpr int kMaxDepth = 24;
constexpr size_t kMaxMatches = 64;
constexpr size_t kMaxHosts = 8;
constexpr qsizetype kMaxXAddrs = 16;
constexpr qsizetype kMaxVersionChars = 10;  // an unsigned 32-bit number
constexpr qsizetype kMaxDetailChars = 128;  // a manufacturer's, model's or device's text kept

// Writes the envelope around a header (To, Action, MessageID) and calls body
// inside soap:Body.
template <typename Body>
QByteArray Envelope(const QString& to, const QString& action, const QString& messageId, bool replyTo, Body body) {
  QByteArray out;
  QXmlStreamWriter w(&out);
  w.writeStartDocument();
  w.writeNamespace(kSoap, QStringLiteral("soap"));
  w.writeNamespace(kWsa, QStringLiteral("wsa"));
  w.writeNamespace(kWsd, QStringLiteral("wsd"));
  w.writeNamespace(kWsdp, QStringLiteral("wsdp"));
  w.writeStartElement(kSoap, QStringLiteral("Envelope"));
  w.writeStartElement(kSoap, QStringLiteral("Header"));
  w.writeTextElement(kWsa, QStringLiteral("To"), to);
  w.writeTextElement(kWsa, QStringLiteral("Action"), action);
  w.writeTextElement(kWsa, QStringLiteral("MessageID"), messageId);
  if (replyTo) {
    w.writeStartElement(kWsa, QStringLiteral("ReplyTo"));
    w.writeTextElement(kWsa, QStringLiteral("Address"), kAnonymous);
    w.writeEndElement();
  }
  w.writeEndElement();
  w.writeStartElement(kSoap, QStringLiteral("Body"));
  body(w);
  w.writeEndElement();
  w.writeEndElement();
  w.writeEndDocument();
  return out;
}

// Namespace declarations in scope, innermost last, for reading QName lists
// such as "wsdp:Device pub:Computer".
using Scopes = std::vector<QXmlStreamNamespaceDeclarations>;

bool HasQName(const QString& list, const Scopes& scopes, const QString& ns, const QString& local) {
  static const QRegularExpression space(QStringLiteral("\\s+"));
  for (const QString& token : list.split(space, Qt::SkipEmptyParts)) {
    const qsizetype colon = token.indexOf(QLatin1Char(':'));
    const QString prefix = colon < 0 ? QString() : token.left(colon);
    if (token.mid(colon + 1) != local) continue;
    for (auto scope = scopes.rbegin(); scope != scopes.rend(); ++scope) {
      auto it = std::find_if(scope->begin(), scope->end(),
                             [&](const QXmlStreamNamespaceDeclaration& d) { return d.prefix() == prefix; });
      if (it != scope->end()) {
        if (it->namespaceUri() == ns) return true;
        break;
      }
    }
  }
  return false;
}

struct Name {
  QString ns, local;
  bool is(const QString& n, const char* l) const { return ns == n && local == QLatin1String(l); }
};

class Reader {
 public:
  explicit Reader(const QByteArray& bytes) : r_(bytes) {}

  std::optional<Message> Read() {
    while (!r_.atEnd()) {
      switch (r_.readNext()) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
          return std::nullopt;
        case QXmlStreamReader::StartElement:
          if (!Start()) return std::nullopt;
          break;
        case QXmlStreamReader::EndElement:
          if (inHost_ && path_.size() - 1 == inHost_) inHost_ = 0;
          path_.pop_back();
          scopes_.pop_back();
          break;
        default:
          break;
      }
    }
    if (r_.hasError() || m_.messageId.isEmpty()) return std::nullopt;
    const bool matchBody = m_.kind == Kind::ProbeMatches || m_.kind == Kind::ResolveMatches || m_.kind == Kind::Hello ||
                           m_.kind == Kind::Bye;
    if (!matchBody) m_.matches.clear();
    if (m_.kind != Kind::GetResponse) {
      m_.hosts.clear();
      m_.manufacturer = m_.modelName = m_.presentationUrl = m_.friendlyName = QString();
    }
    return m_;
  }

 private:
  // One start tag; leaf elements we read are consumed whole here.
  bool Start() {
    const Name name{r_.namespaceUri().toString(), r_.name().toString()};
    scopes_.push_back(r_.namespaceDeclarations());
    const size_t depth = path_.size();
    if (depth + 1 > kMaxDepth) return false;
    if (depth == 0 && !name.is(kSoap, "Envelope")) return false;
    const Name* parent = depth ? &path_.back() : nullptr;

    // Header fields.
    if (depth == 2 && path_[1].is(kSoap, "Header") && name.ns == kWsa) {
      if (name.local == QLatin1String("Action")) return Leaf(&action_) && SetKind();
      if (name.local == QLatin1String("MessageID")) return Leaf(&m_.messageId);
      if (name.local == QLatin1String("RelatesTo")) return Leaf(&m_.relatesTo);
    }
    // ProbeMatch / ResolveMatch.
    if (parent && IsMatch(name)) {
      if (m_.matches.size() >= kMaxMatches) return false;
      m_.matches.emplace_back();
    }
    if (parent && !m_.matches.empty() && InMatch()) {
      Match& match = m_.matches.back();
      if (name.is(kWsa, "Address") && parent->is(kWsa, "EndpointReference")) return Leaf(&match.endpoint);
      if (name.is(kWsd, "Types") && IsMatch(*parent)) {
        QString types;
        if (!Leaf(&types)) return false;
        match.computer = HasQName(types, scopes_, kPub, QStringLiteral("Computer"));
        match.typed = true;
        return true;
      }
      if (name.is(kWsd, "MetadataVersion") && IsMatch(*parent)) {
        QString version;
        if (!Leaf(&version)) return false;
        if (version.size() <= kMaxVersionChars) match.metadataVersion = version;
        return true;
      }
      if (name.is(kWsd, "XAddrs") && IsMatch(*parent)) {
        QString xaddrs;
        if (!Leaf(&xaddrs)) return false;
        match.xaddrs = xaddrs.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(0, kMaxXAddrs);
        return true;
      }
    }
    // The device's description (ThisModel, ThisDevice): the first of each.
    if (parent && parent->is(kWsdp, "ThisModel")) {
      QString* field = name.is(kWsdp, "Manufacturer")      ? &m_.manufacturer
                       : name.is(kWsdp, "ModelName")       ? &m_.modelName
                       : name.is(kWsdp, "PresentationUrl") ? &m_.presentationUrl
                                                           : nullptr;
      if (field) return LeafOnce(field);
    }
    if (parent && parent->is(kWsdp, "ThisDevice") && name.is(kWsdp, "FriendlyName")) return LeafOnce(&m_.friendlyName);
    // The host of a Relationship section.
    if (parent && name.is(kWsdp, "Host") && parent->is(kWsdp, "Relationship") && hostRelationship_) {
      if (m_.hosts.size() >= kMaxHosts) return false;
      m_.hosts.emplace_back();
      inHost_ = depth;
    }
    if (name.is(kWsdp, "Relationship"))
      hostRelationship_ = r_.attributes().value(QStringLiteral("Type")) == kHostRelationship;
    if (parent && inHost_ && parent->is(kWsdp, "Host") && depth == inHost_ + 1) {
      Host& host = m_.hosts.back();
      if (name.is(kWsdp, "Types")) {
        QString types;
        if (!Leaf(&types)) return false;
        host.computer = HasQName(types, scopes_, kPub, QStringLiteral("Computer"));
        return true;
      }
      if (name.is(kPub, "Computer")) return Leaf(&host.computerText);
    }
    path_.push_back(name);
    return true;
  }

  static bool IsMatch(const Name& n) {
    return n.is(kWsd, "ProbeMatch") || n.is(kWsd, "ResolveMatch") || n.is(kWsd, "Hello") || n.is(kWsd, "Bye");
  }
  bool InMatch() const {
    return std::any_of(path_.begin(), path_.end(), [](const Name& n) { return IsMatch(n); });
  }

  // Reads a text-only element whole (its end tag included).
  bool Leaf(QString* out) {
    *out = r_.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement).trimmed();
    scopes_.pop_back();
    return !r_.hasError();
  }

  // A leaf read into out only when out is still empty (the first of the
  // localized copies a section may hold).
  bool LeafOnce(QString* out) {
    QString text;
    if (!Leaf(&text)) return false;
    if (out->isEmpty()) *out = text.left(kMaxDetailChars);
    return true;
  }

  bool SetKind() {
    if (action_ == Action("ProbeMatches"))
      m_.kind = Kind::ProbeMatches;
    else if (action_ == Action("ResolveMatches"))
      m_.kind = Kind::ResolveMatches;
    else if (action_ == kGetResponseAction)
      m_.kind = Kind::GetResponse;
    else if (action_ == Action("Hello"))
      m_.kind = Kind::Hello;
    else if (action_ == Action("Bye"))
      m_.kind = Kind::Bye;
    return true;
  }

  QXmlStreamReader r_;
  std::vector<Name> path_;
  Scopes scopes_;
  Message m_;
  QString action_;
  bool hostRelationship_ = false;
  size_t inHost_ = 0;
};

}  // namespace

QByteArray BuildProbe(const QString& messageId) {
  return Envelope(kDiscoveryTo, Action("Probe"), messageId, false, [](QXmlStreamWriter& w) {
    w.writeStartElement(kWsd, QStringLiteral("Probe"));
    w.writeTextElement(kWsd, QStringLiteral("Types"), QStringLiteral("wsdp:Device"));
    w.writeEndElement();
  });
}

QByteArray BuildResolve(const QString& messageId, const QString& endpoint) {
  return Envelope(kDiscoveryTo, Action("Resolve"), messageId, false, [&endpoint](QXmlStreamWriter& w) {
    w.writeStartElement(kWsd, QStringLiteral("Resolve"));
    w.writeStartElement(kWsa, QStringLiteral("EndpointReference"));
    w.writeTextElement(kWsa, QStringLiteral("Address"), endpoint);
    w.writeEndElement();
    w.writeEndElement();
  });
}

QByteArray BuildGet(const QString& messageId, const QString& endpoint) {
  return Envelope(endpoint, kGetAction, messageId, true, [](QXmlStreamWriter&) {});
}

QString NewMessageId() { return QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces); }

std::optional<Message> Parse(const QByteArray& bytes) {
  if (bytes.size() > kMaxMessageBytes) return std::nullopt;
  return Reader(bytes).Read();
}

std::optional<ComputerName> ParseComputerText(const QString& text) {
  const qsizetype cut = text.indexOf(QRegularExpression(QStringLiteral("[/\\\\]")));
  if (cut <= 0) return std::nullopt;
  ComputerName out;
  out.name = text.left(cut).trimmed();
  const QString rest = text.mid(cut + 1).trimmed();
  for (const char* key : {"Workgroup:", "Domain:"}) {
    if (rest.startsWith(QLatin1String(key), Qt::CaseInsensitive)) {
      out.workgroup = rest.mid(qsizetype(strlen(key))).trimmed();
      if (out.workgroup.isEmpty()) return std::nullopt;
    }
  }
  if (out.workgroup.isEmpty() && rest.compare(QLatin1String("NotJoined"), Qt::CaseInsensitive) != 0)
    return std::nullopt;
  if (out.name.isEmpty()) return std::nullopt;
  return out;
}

}  // namespace discovery::wsd
