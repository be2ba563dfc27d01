// DNS-SD through the desktop's mDNS daemon (libavahi-client): browses
// "_smb._tcp" and resolves each service to its host name and address. A
// search ends when the daemon has said all it knows and every service is
// resolved (or at its window); following keeps one browser open and reports
// services as they come and go. With no daemon to talk to, the source cannot
// ask (Outcome::NoDaemon).
#include <QHostAddress>
#include <QTimer>
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>

#include <deque>
#include <set>
#include <string>

#include "avahi_qt_poll.h"
#include "names.h"
#include "search_owner.h"

namespace discovery {

namespace {

constexpr const char* kServiceType = "_smb._tcp";
// Resolves running at once; more services wait their turn, up to a bound
// past which a flood's rest is not resolved.
constexpr size_t kMaxResolvers = 128;
constexpr size_t kMaxWaiting = 1024;

// The identity of one service as the daemon reports it.
std::string ServiceKey(AvahiIfIndex interface, AvahiProtocol protocol, const char* name) {
  return std::string(name ? name : "") + '/' + std::to_string(interface) + '/' + std::to_string(protocol);
}

// One browser and its resolves. Avahi's callbacks may arrive while it is
// being stopped, so the lookups are freed only from the event loop (never
// inside one of Avahi's callbacks) and callbacks check stopped_ first.
// Without done it follows: it never closes and reports withdrawn services.
class Browse : public QObject {
 public:
  Browse(Source::Found found, Source::Done done, Source::Gone gone = {})
      : found_(std::move(found)), done_(std::move(done)), gone_(std::move(gone)) {
    window_.setSingleShot(true);
    connect(&window_, &QTimer::timeout, this, &Browse::Close);
  }
  ~Browse() override {
    FreeLookups();
    if (client_) avahi_client_free(client_);
  }

  Outcome Open() {
    int error = 0;
    client_ = avahi_client_new(poll_.get(), static_cast<AvahiClientFlags>(0), &Browse::OnClient, this, &error);
    if (!client_) return Outcome::NoDaemon;
    browser_ = avahi_service_browser_new(client_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, kServiceType, nullptr,
                                         static_cast<AvahiLookupFlags>(0), &Browse::OnBrowse, this);
    if (!browser_) return Outcome::NoDaemon;
    return Outcome::Answered;
  }

  void Begin(int windowMs) { window_.start(windowMs); }

  // A stopped search browses no more: its lookups go at the next turn of the loop.
  void Stop() {
    stopped_ = true;
    window_.stop();
    QTimer::singleShot(0, this, [this] { FreeLookups(); });
  }

 private:
  struct Service {
    AvahiIfIndex interface;
    AvahiProtocol protocol;
    std::string name, type, domain;
  };

  void FreeLookups() {
    for (AvahiServiceResolver* r : resolvers_) avahi_service_resolver_free(r);
    resolvers_.clear();
    waiting_.clear();
    if (browser_) avahi_service_browser_free(browser_);
    browser_ = nullptr;
  }

  static void OnClient(AvahiClient*, AvahiClientState state, void* self) {
    auto* s = static_cast<Browse*>(self);
    if (state == AVAHI_CLIENT_FAILURE && s->client_) s->Later(&Browse::Close);  // the daemon went away
  }

  static void OnBrowse(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
                       const char* name, const char* type, const char* domain, AvahiLookupResultFlags, void* self) {
    auto* s = static_cast<Browse*>(self);
    if (s->stopped_) return;
    switch (event) {
      case AVAHI_BROWSER_NEW:
        if (name && type && domain && s->waiting_.size() < kMaxWaiting) {
          s->waiting_.push_back({interface, protocol, name, type, domain});
          s->ResolveSome();
        }
        break;
      case AVAHI_BROWSER_REMOVE:
        if (s->gone_) {
          const std::string key = ServiceKey(interface, protocol, name);
          Guarded([&] { s->gone_(key); });
        }
        break;
      case AVAHI_BROWSER_ALL_FOR_NOW:
        s->allForNow_ = true;
        s->Later(&Browse::CloseWhenComplete);
        break;
      case AVAHI_BROWSER_FAILURE:
        s->Later(&Browse::Close);
        break;
      default:
        break;
    }
  }

  void ResolveSome() {
    while (!stopped_ && !waiting_.empty() && resolvers_.size() < kMaxResolvers) {
      const Service w = std::move(waiting_.front());
      waiting_.pop_front();
      if (AvahiServiceResolver* r = avahi_service_resolver_new(
              client_, w.interface, w.protocol, w.name.c_str(), w.type.c_str(), w.domain.c_str(), AVAHI_PROTO_UNSPEC,
              static_cast<AvahiLookupFlags>(0), &Browse::OnResolve, this))
        resolvers_.insert(r);
    }
  }

  static void OnResolve(AvahiServiceResolver* r, AvahiIfIndex interface, AvahiProtocol protocol,
                        AvahiResolverEvent event, const char* name, const char*, const char*, const char* hostName,
                        const AvahiAddress* address, uint16_t, AvahiStringList*, AvahiLookupResultFlags, void* self) {
    auto* s = static_cast<Browse*>(self);
    s->resolvers_.erase(r);
    avahi_service_resolver_free(r);
    if (s->stopped_) return;
    if (event == AVAHI_RESOLVER_FOUND && hostName && address) {
      char text[AVAHI_ADDRESS_STR_MAX] = {};
      avahi_address_snprint(text, sizeof text, address);
      if (std::optional<Finding> finding =
              DnsSdFinding(QString::fromUtf8(hostName), QHostAddress(QString::fromLatin1(text)))) {
        finding->key = ServiceKey(interface, protocol, name);
        ++s->computers_;
        Guarded([&] { s->found_(*finding); });
        if (s->stopped_) return;
      }
    }
    s->ResolveSome();
    s->Later(&Browse::CloseWhenComplete);
  }

  // Runs a step from the event loop rather than inside Avahi's callback.
  void Later(void (Browse::*step)()) {
    QTimer::singleShot(0, this, [this, step] {
      if (!stopped_) (this->*step)();
    });
  }

  // The daemon has said all it knows and every service is resolved: the
  // window need not stay open.
  void CloseWhenComplete() {
    if (allForNow_ && resolvers_.empty() && waiting_.empty()) Close();
  }

  void Close() {
    if (!done_) return;  // following: open until the source ends it
    const Outcome outcome = computers_ ? Outcome::Answered : Outcome::NoAnswer;
    Source::Done done = std::move(done_);
    Stop();
    Guarded([&] { done(outcome); });
  }

  Source::Found found_;
  Source::Done done_;
  Source::Gone gone_;
  AvahiQtPoll poll_;  // outlives the client: declared before it is freed in the destructor
  AvahiClient* client_ = nullptr;
  AvahiServiceBrowser* browser_ = nullptr;
  std::set<AvahiServiceResolver*> resolvers_;
  std::deque<Service> waiting_;
  QTimer window_;
  bool allForNow_ = false;
  bool stopped_ = false;
  int computers_ = 0;
};

class DnsSdBrowser final : public SearchSource<Browse> {
 public:
  bool Follow(Found found, Gone gone) override {
    if (following_) {
      following_->Stop();
      following_.release()->deleteLater();
    }
    if (!found) return false;
    auto browse = std::make_unique<Browse>(std::move(found), Done(), std::move(gone));
    if (browse->Open() != Outcome::Answered) return false;
    following_ = std::move(browse);
    return true;
  }

 protected:
  std::unique_ptr<Browse> Make(Found found, Done done) override {
    return std::make_unique<Browse>(std::move(found), std::move(done));
  }

 private:
  std::unique_ptr<Browse> following_;
};

}  // namespace

std::unique_ptr<Source> MakeDnsSd() { return std::make_unique<DnsSdBrowser>(); }

}  // namespace discovery
