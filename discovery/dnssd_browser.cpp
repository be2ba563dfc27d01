#include "dnssd_browser.h"

#include <QHostAddress>
#include <QTimer>
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>

#include <set>

#include "avahi_qt_poll.h"
#include "names.h"

namespace discovery {

namespace {

constexpr const char* kServiceType = "_smb._tcp";
// More services than any LAN announces; the rest of a flood is not resolved.
constexpr size_t kMaxResolvers = 128;

}  // namespace

// One search. Avahi's callbacks may arrive while the window is being
// stopped, so the client is freed only from the event loop (never inside
// one of its callbacks) and callbacks check stopped_ first.
class DnsSdBrowser::Search : public QObject {
 public:
  Search(Found found, Done done) : found_(std::move(found)), done_(std::move(done)) {
    window_.setSingleShot(true);
    connect(&window_, &QTimer::timeout, this, &Search::Close);
  }
  ~Search() override {
    for (AvahiServiceResolver* r : resolvers_) avahi_service_resolver_free(r);
    if (browser_) avahi_service_browser_free(browser_);
    if (client_) avahi_client_free(client_);
  }

  Outcome Open() {
    int error = 0;
    client_ = avahi_client_new(poll_.get(), static_cast<AvahiClientFlags>(0), &Search::OnClient, this, &error);
    if (!client_) return Outcome::NoDaemon;
    browser_ = avahi_service_browser_new(client_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, kServiceType, nullptr,
                                         static_cast<AvahiLookupFlags>(0), &Search::OnBrowse, this);
    if (!browser_) return Outcome::NoDaemon;
    return Outcome::Answered;
  }

  void Begin(int windowMs) { window_.start(windowMs); }

  void Stop() {
    stopped_ = true;
    window_.stop();
  }

 private:
  static void OnClient(AvahiClient*, AvahiClientState state, void* self) {
    auto* s = static_cast<Search*>(self);
    if (state == AVAHI_CLIENT_FAILURE && s->client_) s->Later(&Search::Close);  // the daemon went away
  }

  static void OnBrowse(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
                       const char* name, const char* type, const char* domain, AvahiLookupResultFlags, void* self) {
    auto* s = static_cast<Search*>(self);
    if (s->stopped_) return;
    switch (event) {
      case AVAHI_BROWSER_NEW:
        if (s->resolvers_.size() < kMaxResolvers) {
          if (AvahiServiceResolver* r =
                  avahi_service_resolver_new(s->client_, interface, protocol, name, type, domain, AVAHI_PROTO_UNSPEC,
                                             static_cast<AvahiLookupFlags>(0), &Search::OnResolve, s))
            s->resolvers_.insert(r);
        }
        break;
      case AVAHI_BROWSER_ALL_FOR_NOW:
        s->allForNow_ = true;
        s->Later(&Search::CloseWhenComplete);
        break;
      case AVAHI_BROWSER_FAILURE:
        s->Later(&Search::Close);
        break;
      default:
        break;
    }
  }

  static void OnResolve(AvahiServiceResolver* r, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event, const char*,
                        const char*, const char*, const char* hostName, const AvahiAddress* address, uint16_t,
                        AvahiStringList*, AvahiLookupResultFlags, void* self) {
    auto* s = static_cast<Search*>(self);
    s->resolvers_.erase(r);
    avahi_service_resolver_free(r);
    if (s->stopped_) return;
    if (event == AVAHI_RESOLVER_FOUND && hostName && address) {
      char text[AVAHI_ADDRESS_STR_MAX] = {};
      avahi_address_snprint(text, sizeof text, address);
      if (std::optional<Finding> finding =
              DnsSdFinding(QString::fromUtf8(hostName), QHostAddress(QString::fromLatin1(text)))) {
        ++s->computers_;
        s->found_(*finding);
        if (s->stopped_) return;
      }
    }
    s->Later(&Search::CloseWhenComplete);
  }

  // Runs a step from the event loop rather than inside Avahi's callback.
  void Later(void (Search::*step)()) {
    QTimer::singleShot(0, this, [this, step] {
      if (!stopped_) (this->*step)();
    });
  }

  // The daemon has said all it knows and every service is resolved: the
  // window need not stay open.
  void CloseWhenComplete() {
    if (allForNow_ && resolvers_.empty()) Close();
  }

  void Close() {
    const Outcome outcome = computers_ ? Outcome::Answered : Outcome::NoAnswer;
    Done done = std::move(done_);
    Stop();
    if (done) done(outcome);
  }

  Found found_;
  Done done_;
  AvahiQtPoll poll_;  // outlives the client: declared before it is freed in the destructor
  AvahiClient* client_ = nullptr;
  AvahiServiceBrowser* browser_ = nullptr;
  std::set<AvahiServiceResolver*> resolvers_;
  QTimer window_;
  bool allForNow_ = false;
  bool stopped_ = false;
  int computers_ = 0;
};

DnsSdBrowser::DnsSdBrowser(QObject* parent) : QObject(parent) {}

DnsSdBrowser::~DnsSdBrowser() = default;

void DnsSdBrowser::Cancel() { searches_.Cancel(); }

Outcome DnsSdBrowser::Start(int windowMs, Found found, Done done) {
  return searches_.Start(windowMs, std::move(found), std::move(done));
}

}  // namespace discovery

namespace discovery {
std::unique_ptr<Source> MakeDnsSd() { return std::make_unique<DnsSdBrowser>(); }
}  // namespace discovery
