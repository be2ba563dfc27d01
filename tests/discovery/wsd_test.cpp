// WS-Discovery without sockets: wsdd's captured answers replayed through a
// search, and forged or hostile answers that must come to nothing.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <functional>
#include <random>

#include "wsd_messages.h"
#include "wsd_session.h"

namespace {

using namespace discovery::wsd;

const QString kProbeId = "urn:uuid:12d5483f-d588-47a7-aa27-353d94ca7555";  // what the capture answers
const QString kEndpoint = "urn:uuid:0f5c1d2e-6b1a-4c9e-9a0e-3b2f4c5d6e7f";
const QHostAddress kHost("10.99.0.1");

QByteArray Load(const char* name) {
  QFile f(QStringLiteral(MIRELKA_DISCOVERY_DATA "/") + name);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
  return f.readAll();
}

QByteArray Replace(QByteArray bytes, const char* pattern, const QString& with) {
  return QString::fromUtf8(bytes).replace(QRegularExpression(pattern), with).toUtf8();
}
QByteArray RelateTo(const QByteArray& bytes, const QString& id) {
  return Replace(bytes, "<wsa:RelatesTo>[^<]*</wsa:RelatesTo>", "<wsa:RelatesTo>" + id + "</wsa:RelatesTo>");
}
QString IdOf(const QByteArray& message) { return Parse(message).value().messageId; }

// A search that has sent its Resolve for the captured endpoint.
struct Resolving {
  Session session{kProbeId};
  QString resolveId;
  Resolving() {
    const Session::Actions a = session.OnDatagram(Load("wsdd-probematch.xml"), kHost);
    if (a.resolves.size() == 1) resolveId = IdOf(a.resolves[0]);
  }
  QByteArray Answer() const { return RelateTo(Load("wsdd-resolvematch.xml"), resolveId); }
};

TEST(WsDiscovery, WsddAnswersLeadFromProbeToTheComputer) {
  Session session(kProbeId);
  const QString probe = QString::fromUtf8(session.Probe());
  // Types is exactly "wsdp:Device" with the prefix bound to the devices profile.
  EXPECT_TRUE(probe.contains("<wsd:Types>wsdp:Device</wsd:Types>"));
  EXPECT_TRUE(probe.contains("xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\""));
  EXPECT_EQ(IdOf(session.Probe()), kProbeId);

  // wsdd sends its ProbeMatch twice and with no XAddrs: one Resolve.
  const QByteArray probeMatch = Load("wsdd-probematch.xml");
  Session::Actions a = session.OnDatagram(probeMatch, kHost);
  ASSERT_EQ(a.resolves.size(), 1u);
  EXPECT_TRUE(a.fetches.empty());
  EXPECT_TRUE(QString::fromUtf8(a.resolves[0]).contains("<wsa:Address>" + kEndpoint + "</wsa:Address>"));
  EXPECT_TRUE(session.OnDatagram(probeMatch, kHost).resolves.empty());

  const QByteArray resolveMatch = RelateTo(Load("wsdd-resolvematch.xml"), IdOf(a.resolves[0]));
  a = session.OnDatagram(resolveMatch, kHost);
  ASSERT_EQ(a.fetches.size(), 1u);
  const Session::Fetch fetch = a.fetches[0];
  EXPECT_EQ(fetch.url, QUrl("http://10.99.0.1:5357/0f5c1d2e-6b1a-4c9e-9a0e-3b2f4c5d6e7f"));
  EXPECT_TRUE(QString::fromUtf8(fetch.body).contains("<wsa:To>" + kEndpoint + "</wsa:To>"));
  EXPECT_TRUE(QString::fromUtf8(fetch.body).contains("transfer/Get</wsa:Action>"));
  EXPECT_TRUE(session.OnDatagram(resolveMatch, kHost).fetches.empty());

  const QByteArray metadata = Load("wsdd-getresponse.xml");
  const std::optional<Computer> computer = session.OnMetadata(fetch, RelateTo(metadata, fetch.messageId));
  ASSERT_TRUE(computer);
  EXPECT_EQ(computer->name, "WSDHOST");
  EXPECT_EQ(computer->workgroup, "TESTGROUP");
  EXPECT_EQ(computer->address, kHost);
  // The device's own description is kept for the row's details.
  EXPECT_EQ(computer->friendlyName, "WSD Device WSDHOST");
  EXPECT_EQ(computer->manufacturer, "wsdd");
  EXPECT_EQ(computer->modelName, "wsdd");
  EXPECT_TRUE(computer->presentationUrl.isEmpty());
  EXPECT_FALSE(session.OnMetadata(fetch, metadata));  // answers another request
}

TEST(WsDiscovery, ForgedAndHostileAnswersComeToNothing) {
  const QByteArray pad(kMaxMessageBytes, ' ');
  struct Case {
    const char* what;
    bool afterResolve;  // answers our Resolve rather than the Probe
    std::function<QByteArray(const Resolving&)> message;
    QHostAddress from = kHost;
  };
  const QByteArray probeMatch = Load("wsdd-probematch.xml");
  const std::vector<Case> cases = {
      {"relates to someone else's Probe", false,
       [&](const Resolving&) { return RelateTo(probeMatch, "urn:uuid:00000000-0000-0000-0000-000000000000"); }},
      {"a printer, not a computer", false,
       [&](const Resolving&) { return Replace(probeMatch, "pub:Computer", "wprt:PrintDeviceType"); }},
      {"pub bound to another namespace", false,
       [&](const Resolving&) { return Replace(probeMatch, "windows/pub/2005/07", "windows/other"); }},
      {"XAddrs on another host", false,
       [&](const Resolving&) {
         return Replace(probeMatch, "</wsd:Types>", "</wsd:Types><wsd:XAddrs>http://192.0.2.7:5357/x</wsd:XAddrs>");
       }},
      {"a DOCTYPE", false,
       [&](const Resolving&) {
         return Replace(probeMatch, "\\?>", "?><!DOCTYPE soap:Envelope [<!ENTITY a \"aaaaaaaa\">]>");
       }},
      {"over 32767 bytes", false,
       [&](const Resolving&) { return Replace(probeMatch, "</soap:Envelope>", pad + "</soap:Envelope>"); }},
      {"cut short", false, [&](const Resolving&) { return probeMatch.left(probeMatch.size() / 2); }},
      {"ResolveMatch sent from another address", true, [](const Resolving& r) { return r.Answer(); },
       QHostAddress("10.99.0.66")},
      {"ResolveMatch for an endpoint we did not ask for", true,
       [](const Resolving& r) { return Replace(r.Answer(), "urn:uuid:0f5c1d2e", "urn:uuid:0f5c1d2f"); }},
      {"ResolveMatch by https", true, [](const Resolving& r) { return Replace(r.Answer(), "http://", "https://"); }},
      {"ResolveMatch with credentials in the URL", true,
       [](const Resolving& r) { return Replace(r.Answer(), "http://", "http://user:pw@"); }},
      {"ResolveMatch naming a host by name", true,
       [](const Resolving& r) { return Replace(r.Answer(), "10\\.99\\.0\\.1", "localhost"); }},
      // Only the metadata port: never another service of the same host.
      {"ResolveMatch naming the sender's port 80", true,
       [](const Resolving& r) { return Replace(r.Answer(), ":5357/", ":80/"); }},
      {"ResolveMatch naming the sender's port 9100", true,
       [](const Resolving& r) { return Replace(r.Answer(), ":5357/", ":9100/"); }},
      {"ResolveMatch naming no port", true, [](const Resolving& r) { return Replace(r.Answer(), ":5357/", "/"); }},
  };
  for (const Case& c : cases) {
    Resolving r;
    ASSERT_FALSE(r.resolveId.isEmpty());
    Session& s = r.session;
    if (!c.afterResolve) s = Session(kProbeId);
    const Session::Actions a = s.OnDatagram(c.message(r), c.from);
    EXPECT_TRUE(a.resolves.empty() && a.fetches.empty()) << c.what;
    if (c.afterResolve) {
      EXPECT_EQ(s.OnDatagram(r.Answer(), kHost).fetches.size(), 1u) << c.what << ": the real answer still counts";
    }
  }
}

// Hello and Bye as wsdd sends them: the resolve answer's match under another action.
TEST(WsDiscovery, HelloFetchesFromItsSenderOnlyByeNamesTheEndpoint) {
  const QByteArray resolveMatch = Load("wsdd-resolvematch.xml");
  auto announce = [&](const char* action, const char* from = "ResolveMatch") {
    QByteArray bytes = Replace(resolveMatch, "discovery/ResolveMatches", QStringLiteral("discovery/") + action);
    bytes = Replace(bytes, "<wsa:RelatesTo>[^<]*</wsa:RelatesTo>", "");
    bytes = Replace(bytes, "<wsd:ResolveMatches>|</wsd:ResolveMatches>", "");
    return Replace(bytes, (QStringLiteral("wsd:") + from).toUtf8().constData(), QStringLiteral("wsd:") + action);
  };
  const Session session;
  const Session::Heard hello = session.OnAnnouncement(announce("Hello"), kHost);
  ASSERT_TRUE(hello.fetch);
  EXPECT_EQ(hello.fetch->url, QUrl("http://10.99.0.1:5357/0f5c1d2e-6b1a-4c9e-9a0e-3b2f4c5d6e7f"));
  EXPECT_EQ(hello.fetch->endpoint, kEndpoint);
  EXPECT_EQ(hello.fetch->metadataVersion, "1");
  EXPECT_EQ(
      session.OnAnnouncement(Replace(announce("Hello"), "Version>1<", "Version>2<"), kHost).fetch->metadataVersion,
      "2");
  EXPECT_FALSE(session.OnAnnouncement(announce("Hello"), QHostAddress("10.99.0.66")).fetch);  // forged sender
  EXPECT_FALSE(session.OnAnnouncement(Replace(announce("Hello"), ":5357/", ":9100/"), kHost).fetch);
  EXPECT_FALSE(session.OnAnnouncement(Replace(announce("Hello"), "pub:Computer", "wprt:Printer"), kHost).fetch);
  // wsdd's own Hello has no Types: the metadata decides.
  EXPECT_TRUE(session.OnAnnouncement(Replace(announce("Hello"), "<wsd:Types>[^<]*</wsd:Types>", ""), kHost).fetch);
  EXPECT_EQ(session.OnAnnouncement(announce("Bye"), kHost).bye, kEndpoint);
  EXPECT_TRUE(session.OnAnnouncement(resolveMatch, kHost).bye.isEmpty());  // not an announcement
  EXPECT_FALSE(session.OnAnnouncement(resolveMatch, kHost).fetch);
}

TEST(WsDiscovery, AKnownComputerMovesOnlyByMetadataFromItsNewAddress) {
  KnownComputers known;
  const discovery::Finding wsdhost(discovery::Origin::WsDiscovery, "WSDHOST", "10.99.0.1", "WG", "urn:e");
  known.Put(kEndpoint, kHost, "1", wsdhost);
  EXPECT_EQ(known.At(kEndpoint, kHost, "1")->name, "WSDHOST");          // seen again there: no fetch
  EXPECT_EQ(known.At(kEndpoint, kHost, "2"), nullptr);                  // new metadata (renamed?): fetch it
  EXPECT_EQ(known.At(kEndpoint, kHost)->name, "WSDHOST");               // no version said: as known
  EXPECT_EQ(known.At(kEndpoint, QHostAddress("10.99.0.66")), nullptr);  // elsewhere: fetch from there first
  EXPECT_FALSE(known.Forget(kEndpoint, QHostAddress("10.99.0.66")));    // a forged Bye
  EXPECT_TRUE(known.Forget(kEndpoint, kHost));
  EXPECT_EQ(known.At(kEndpoint, kHost), nullptr);
  for (int i = 0; i < KnownComputers::kMax + 10; ++i) known.Put(QString::number(i), kHost, "1", wsdhost);
  EXPECT_EQ(known.Size(), KnownComputers::kMax);
}

TEST(WsDiscovery, AFloodStaysBounded) {
  Session session(kProbeId);
  const QByteArray probeMatch = Load("wsdd-probematch.xml");
  size_t resolves = 0;
  for (int i = 0; i < Session::kMaxMessageIds + 100; ++i) {
    const QString n = QString::number(i);
    QByteArray forged = Replace(probeMatch, "<wsa:MessageID>[^<]*", "<wsa:MessageID>urn:uuid:m" + n);
    forged = Replace(forged, "<wsa:Address>[^<]*", "<wsa:Address>urn:uuid:e" + n);
    resolves += session.OnDatagram(forged, kHost).resolves.size();
  }
  EXPECT_EQ(resolves, static_cast<size_t>(Session::kMaxEndpoints));
}

TEST(WsDiscovery, ProbeRepeatsFollowSoapOverUdp) {
  for (unsigned seed = 0; seed < 50; ++seed) {
    std::mt19937 random(seed);
    const std::vector<int> gaps = ProbeGapsMs(random);
    ASSERT_EQ(gaps.size(), 3u);  // four sends
    EXPECT_GE(gaps[0], 50);
    EXPECT_LE(gaps[0], 250);
    EXPECT_EQ(gaps[1], std::min(2 * gaps[0], 500));
    EXPECT_EQ(gaps[2], std::min(2 * gaps[1], 500));
    // A search its owner stops once it settles: every send within 175 ms,
    // no gap below the protocol's least.
    const std::vector<int> quick = ProbeGapsMs(random, true);
    ASSERT_EQ(quick.size(), 3u);
    EXPECT_GE(*std::min_element(quick.begin(), quick.end()), 50);
    EXPECT_LE(quick[0] + quick[1] + quick[2], 175);
  }
}

TEST(WsDiscovery, ComputerTexts) {
  struct Case {
    const char* text;
    const char* name;  // nullptr: refused
    const char* workgroup;
  };
  const Case cases[] = {
      {"WSDHOST/Workgroup:TESTGROUP", "WSDHOST", "TESTGROUP"},
      {"pc1\\Domain:corp.example", "pc1", "corp.example"},
      {"PC2\\NotJoined", "PC2", ""},
      {"PC3/workgroup:wg", "PC3", "wg"},
      {"/Workgroup:WG", nullptr, nullptr},
      {"PC4", nullptr, nullptr},
      {"PC5/Workgroup:", nullptr, nullptr},
      {"PC6/Printer:X", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<ComputerName> parsed = ParseComputerText(c.text);
    ASSERT_EQ(parsed.has_value(), c.name != nullptr) << c.text;
    if (!parsed) continue;
    EXPECT_EQ(parsed->name, c.name);
    EXPECT_EQ(parsed->workgroup, c.workgroup);
  }
}

}  // namespace
