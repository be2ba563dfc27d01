// DNS-SD through the desktop's mDNS daemon (libavahi-client): browses
// "_smb._tcp" and resolves each service to its host name and address. A
// search ends when the daemon has said all it knows and every service is
// resolved (or at its window); following keeps one browser open and reports
// services as they come and go. With no daemon to talk to, the source cannot
// ask (Outcome::NoDaemon). The follower outlives the daemon: when it stops or
// restarts, a new client waits for it (AVAHI_CLIENT_NO_FAIL) and browses again
// once it runs; a client that cannot be made at all is tried again later.
#include <QHostAddress>
#include <QTimer>
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

#include <algorithm>
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
// The follower's next try after a client could not be made or was lost:
// doubling from the first, up to the last.
constexpr int kFirstRetryMs = 1000;
constexpr int kLastRetryMs = 60 * 1000;

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
      : found_(std::move(found)), done_(std::move(done)), gone_(std::move(gone)), follow_(!done_) {
    window_.setSingleShot(true);
    connect(&window_, &QTimer::timeout, this, &Browse::Close);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] {
      if (!stopped_ && !client_) Open();
    });
  }
  ~Browse() override {
    FreeLookups();
    if (client_) avahi_client_free(client_);
  }

  // A follower's client waits for a daemon that is not there (yet, or again)
  // and browses once it runs; a search's fails at once.
  Outcome Open() {
    int error = 0;
    const auto flags = follow_ ? AVAHI_CLIENT_NO_FAIL : static_cast<AvahiClientFlags>(0);
    client_ = avahi_client_new(poll_.get(), flags, &Browse::OnClient, this, &error);
    if (client_ && (avahi_client_get_state(client_) == AVAHI_CLIENT_CONNECTING || Browsing())) return Outcome::Answered;
    if (follow_) Lost();
    return Outcome::NoDaemon;
  }

  void Begin(int windowMs) { window_.start(windowMs); }

  // A stopped search browses no more: its lookups go at the next turn of the loop.
  void Stop() {
    stopped_ = true;
    window_.stop();
    retry_.stop();
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

  bool Browsing() {
    if (!browser_)
      browser_ = avahi_service_browser_new(client_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, kServiceType, nullptr,
                                           static_cast<AvahiLookupFlags>(0), &Browse::OnBrowse, this);
    return browser_ != nullptr;
  }

  // Called inside avahi_client_new too (client_ not yet set): Open looks at
  // the state itself then. Freeing or browsing waits for the event loop.
  static void OnClient(AvahiClient*, AvahiClientState state, void* self) {
    auto* s = static_cast<Browse*>(self);
    if (!s->client_) return;
    if (state == AVAHI_CLIENT_FAILURE)  // the daemon went away, or the bus did
      s->Later(s->follow_ ? &Browse::Lost : &Browse::Close);
    else if (state == AVAHI_CLIENT_S_RUNNING && s->follow_)
      s->Later(&Browse::Running);
  }

  // The daemon (back) for the follower: browse, and start the next loss's tries afresh.
  void Running() {
    if (!client_ || avahi_client_get_state(client_) != AVAHI_CLIENT_S_RUNNING) return;
    if (!Browsing()) return Lost();
    retryMs_ = kFirstRetryMs;
  }

  // The follower's client is gone: its lookups and client go, and a new one
  // is made after a pause (it then waits for the daemon by itself).
  void Lost() {
    FreeLookups();
    if (client_) avahi_client_free(client_);
    client_ = nullptr;
    retry_.start(retryMs_);
    retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
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
        s->Later(s->follow_ ? &Browse::Lost : &Browse::Close);
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

  // The TXT record's "model" value, if the service has one (cut to the
  // details' bound; the peer's text, unchecked).
  static std::string TxtModel(AvahiStringList* txt) {
    AvahiStringList* entry = avahi_string_list_find(txt, "model");
    if (!entry) return {};
    char* key = nullptr;
    char* value = nullptr;
    size_t size = 0;
    if (avahi_string_list_get_pair(entry, &key, &value, &size) < 0) return {};
    std::string model = value ? std::string(value, std::min(size, Details::kMaxDetailChars)) : std::string();
    avahi_free(key);
    avahi_free(value);
    return model;
  }

  static void OnResolve(AvahiServiceResolver* r, AvahiIfIndex interface, AvahiProtocol protocol,
                        AvahiResolverEvent event, const char* name, const char*, const char*, const char* hostName,
                        const AvahiAddress* address, uint16_t, AvahiStringList* txt, AvahiLookupResultFlags,
                        void* self) {
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
        finding->details.model = TxtModel(txt);
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
  const bool follow_;  // made without done: follows until stopped
  AvahiQtPoll poll_;   // outlives the client: declared before it is freed in the destructor
  AvahiClient* client_ = nullptr;
  AvahiServiceBrowser* browser_ = nullptr;
  std::set<AvahiServiceResolver*> resolvers_;
  std::deque<Service> waiting_;
  QTimer window_;
  QTimer retry_;  // the follower's next client
  int retryMs_ = kFirstRetryMs;
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
    // Kept even when no client can be made now: it tries again by itself.
    following_ = std::make_unique<Browse>(std::move(found), Done(), std::move(gone));
    return following_->Open() == Outcome::Answered;
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
