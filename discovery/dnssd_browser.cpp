// DNS-SD through the desktop's mDNS daemon (libavahi-client): browses
// "_smb._tcp" and resolves each service to its host name and address. A
// search ends when the daemon has said all it knows and every service is
// resolved (or at its window); following keeps one browser open and reports
// services as they come and go. With no daemon to talk to, the source cannot
// ask (Outcome::NoDaemon). A search whose owner asks to hear it settles once
// the daemon has handed over its cache, every service is resolved and
// kSettleMs have passed since its browser began (responders answer the
// browser's first query within that); the daemon's own "all for now" comes
// only about a second after the start.
//
// libavahi-client talks to the daemon over the system bus with blocking round
// trips, each bounded only by libdbus's 25 s: making the client (the bus's
// hello, the daemon's version and state), the same version and state check
// whenever the daemon (re)appears, and making or freeing each browser and
// resolver. None of it runs on the window's thread. One thread, owned by the
// source, runs Avahi's own poll loop with the one client, made with
// AVAHI_CLIENT_NO_FAIL so that it outlives daemon restarts; every browser and
// resolver is made and freed there, never inside one of its own callbacks.
// A client that fails outright (the bus went) is freed and made again after
// 1, 2, 4... s, at most every minute. The window's thread posts requests to
// that thread and takes back what it found (the daemon's own text: names
// are encoded on the window's thread), each way through a small queue of our
// own under a lock. When the source goes, the loop is told to quit and the
// thread is joined within kEndMs; one still held in a bus round trip then is
// let go, and touches nothing but its own session (kept alive by it) until
// that call returns.
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/simple-watch.h>
#include <avahi-common/timeval.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dnssd.h"
#include "mailbox.h"
#include "names.h"
#include "search_owner.h"

namespace discovery {

namespace {

constexpr const char* kServiceType = "_smb._tcp";
// Resolves running at once per browser; more services wait their turn, up to
// a bound past which a flood's rest is not resolved.
constexpr size_t kMaxResolvers = 128;
constexpr size_t kMaxWaiting = 1024;
constexpr int kSettleMs = 500;
// The next client after one failed: doubling from the first, up to the last.
constexpr int kFirstRetryMs = 1000;
constexpr int kLastRetryMs = 60 * 1000;
// Avahi's thread as ps and the debugger show it.
constexpr const char* kThreadName = "mirelka-avahi";
// How long the source's end waits for Avahi's thread: freeing the lookups
// takes a round trip each to a daemon that answers at once.
constexpr int kEndMs = 1000;

// The identity of one service as the daemon reports it.
std::string ServiceKey(AvahiIfIndex interface, AvahiProtocol protocol, const char* name) {
  return std::string(name ? name : "") + '/' + std::to_string(interface) + '/' + std::to_string(protocol);
}

// What the daemon is, as the window's thread last heard.
enum class DaemonState { Unknown, Running, Absent };

// The window's side of the reports: calls queued by Avahi's thread and run
// on the window's thread, in order. Cut when the source goes.
struct Inbox {
  std::mutex lock;
  base::Mailbox* receiver = nullptr;  // lives on the window's thread; null: nobody listens

  void Put(std::function<void()> call) {
    const std::lock_guard<std::mutex> hold(lock);
    if (receiver) receiver->Post([call = std::move(call)] { Guarded(call); });
  }
};

// A resolved service as the daemon gave it (UTF-8, unchecked).
struct Resolved {
  std::string key, hostName, address, model;
};

// What the window's thread hears from Avahi's.
struct Reports {
  std::function<void(int id, const Resolved&)> found;
  std::function<void(int id, const std::string& key)> removed;
  std::function<void(int id)> ended;     // a search is over (all said, or the daemon went)
  std::function<void(int id)> noDaemon;  // a search could not ask
  std::function<void(int id)> browsing;  // a search's browser began
  // The cache handed over and nothing left to resolve (false: no longer).
  std::function<void(int id, bool)> quiet;
  std::function<void(DaemonState)> daemon;
};

// Avahi's thread: its poll loop, the client, and the lookups on it. Every
// member below the queue is touched on that thread only.
class Session {
 public:
  // Starts the thread; null when it cannot be started.
  static std::shared_ptr<Session> Start(std::shared_ptr<Inbox> inbox, Reports reports) {
    auto s = std::shared_ptr<Session>(new Session(std::move(inbox), std::move(reports)));
    if (!s->poll_ || pipe2(s->wake_, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
    const AvahiPoll* api = avahi_simple_poll_get(s->poll_);
    s->wakeWatch_ = api->watch_new(api, s->wake_[0], AVAHI_WATCH_IN, &Session::OnWake, s.get());
    s->retry_ = api->timeout_new(api, nullptr, &Session::OnRetry, s.get());
    if (!s->wakeWatch_ || !s->retry_) return nullptr;
    try {
      s->thread_ = std::thread([s] { s->Run(); });  // keeps the session while it runs
    } catch (const std::system_error&) {
      return nullptr;
    }
    s->Post([self = s.get()] { self->MakeClient(); });
    return s;
  }

  // From the owner's thread, once: the loop quits, and the thread is joined
  // if it ends within boundMs; else it is let go (see the top).
  void End(int boundMs) {
    Post([this] { Quit(); });
    std::unique_lock<std::mutex> hold(endLock_);
    const bool ended = endCv_.wait_for(hold, std::chrono::milliseconds(boundMs), [this] { return ended_; });
    hold.unlock();
    if (ended)
      thread_.join();
    else
      thread_.detach();
  }

  ~Session() {
    if (wake_[0] >= 0) close(wake_[0]);
    if (wake_[1] >= 0) close(wake_[1]);
    if (poll_) avahi_simple_poll_free(poll_);
  }

  // From any thread: runs call on Avahi's thread.
  void Post(std::function<void()> call) {
    {
      const std::lock_guard<std::mutex> hold(queueLock_);
      queue_.push_back(std::move(call));
    }
    const char byte = 0;
    ssize_t written = write(wake_[1], &byte, 1);  // a full pipe is already a wake-up
    (void)written;
  }

  // The rest: on Avahi's thread, through Post.

  void Open(int id, bool follow) {
    auto lookup = std::make_unique<Lookup>();
    lookup->session = this;
    lookup->id = id;
    lookup->follow = follow;
    Lookup* const l = lookups_.emplace(id, std::move(lookup)).first->second.get();
    if (Running()) {
      if (!Browse(*l) && !follow) EndSearch(id);
    } else if (!follow) {
      lookups_.erase(id);
      Report([r = reports_, id] { r.noDaemon(id); });
    }
    // A follower browses once the daemon runs.
  }

  void Close(int id) {
    const auto it = lookups_.find(id);
    if (it == lookups_.end()) return;
    Free(*it->second);
    lookups_.erase(it);
  }

  void Quit() {
    for (auto& [id, lookup] : lookups_) Free(*lookup);
    lookups_.clear();
    if (client_) avahi_client_free(client_);
    client_ = nullptr;
    avahi_simple_poll_quit(poll_);
  }

 private:
  struct Service {
    AvahiIfIndex interface;
    AvahiProtocol protocol;
    std::string name, type, domain;
  };
  struct Lookup {
    Session* session = nullptr;
    int id = 0;
    bool follow = false;
    AvahiServiceBrowser* browser = nullptr;
    std::set<AvahiServiceResolver*> resolvers;  // resolving
    std::set<AvahiServiceResolver*> finished;   // answered, freed next from the queue
    std::deque<Service> waiting;
    bool allForNow = false;
    bool cacheRead = false;  // the daemon's cache handed over
  };

  Session(std::shared_ptr<Inbox> inbox, Reports reports)
      : inbox_(std::move(inbox)), reports_(std::move(reports)), poll_(avahi_simple_poll_new()) {}

  void Run() {
    pthread_setname_np(pthread_self(), kThreadName);
    avahi_simple_poll_loop(poll_);
    // Quit has freed the client; what the queue still holds goes unrun.
    {
      const std::lock_guard<std::mutex> hold(queueLock_);
      queue_.clear();
    }
    const std::lock_guard<std::mutex> hold(endLock_);
    ended_ = true;
    endCv_.notify_all();
  }

  void Report(std::function<void()> call) { inbox_->Put(std::move(call)); }

  static void OnWake(AvahiWatch*, int fd, AvahiWatchEvent, void* self) {
    char bytes[64];
    while (read(fd, bytes, sizeof bytes) > 0) {
    }
    static_cast<Session*>(self)->RunQueue();
  }

  void RunQueue() {
    std::deque<std::function<void()>> now;
    {
      const std::lock_guard<std::mutex> hold(queueLock_);
      now.swap(queue_);
    }
    for (const std::function<void()>& call : now) Guarded(call);
  }

  bool Running() const {
    if (!client_) return false;
    const AvahiClientState state = avahi_client_get_state(client_);
    return state == AVAHI_CLIENT_S_RUNNING || state == AVAHI_CLIENT_S_REGISTERING ||
           state == AVAHI_CLIENT_S_COLLISION;
  }

  void MakeClient() {
    int error = 0;
    client_ = avahi_client_new(avahi_simple_poll_get(poll_), AVAHI_CLIENT_NO_FAIL, &Session::OnClient, this, &error);
    if (!client_) return Failed();
    Changed();
  }

  // Called inside avahi_client_new too (client_ not yet set): MakeClient
  // looks at the state itself then. Freeing and browsing wait for the queue.
  static void OnClient(AvahiClient*, AvahiClientState, void* self) {
    auto* s = static_cast<Session*>(self);
    if (!s->client_) return;
    s->Post([s] { s->Changed(); });
  }

  // The client's state, whatever it now is: browse when the daemon runs,
  // drop the lookups' browsers when it went (the client waits for it).
  void Changed() {
    if (!client_) return;
    const AvahiClientState state = avahi_client_get_state(client_);
    if (state == AVAHI_CLIENT_FAILURE) return Failed();
    if (Running()) {
      retryMs_ = kFirstRetryMs;
      Report([r = reports_] { r.daemon(DaemonState::Running); });
      std::vector<int> ended;
      for (auto& [id, lookup] : lookups_)
        if (!lookup->browser && !Browse(*lookup) && !lookup->follow) ended.push_back(id);
      for (int id : ended) EndSearch(id);
      return;
    }
    Gone();
  }

  // The daemon is not there (yet, or any more): searches end, followers
  // wait for it.
  void Gone() {
    Report([r = reports_] { r.daemon(DaemonState::Absent); });
    std::vector<int> searches;
    for (auto& [id, lookup] : lookups_) {
      Free(*lookup);
      if (!lookup->follow) searches.push_back(id);
    }
    for (int id : searches) EndSearch(id);
  }

  // The client failed outright: it goes, and a new one is made later.
  void Failed() {
    Gone();
    if (client_) avahi_client_free(client_);
    client_ = nullptr;
    timeval when{};
    avahi_elapse_time(&when, static_cast<unsigned>(retryMs_), 0);
    avahi_simple_poll_get(poll_)->timeout_update(retry_, &when);
    retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
  }

  static void OnRetry(AvahiTimeout* t, void* self) {
    auto* s = static_cast<Session*>(self);
    avahi_simple_poll_get(s->poll_)->timeout_update(t, nullptr);
    if (!s->client_) s->MakeClient();
  }

  void EndSearch(int id) {
    Close(id);
    Report([r = reports_, id] { r.ended(id); });
  }

  bool Browse(Lookup& l) {
    l.allForNow = false;
    l.cacheRead = false;
    l.browser = avahi_service_browser_new(client_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, kServiceType, nullptr,
                                          static_cast<AvahiLookupFlags>(0), &Session::OnBrowse, &l);
    if (l.browser && !l.follow) Report([r = reports_, id = l.id] { r.browsing(id); });
    return l.browser != nullptr;
  }

  void Free(Lookup& l) {
    for (AvahiServiceResolver* r : l.resolvers) avahi_service_resolver_free(r);
    for (AvahiServiceResolver* r : l.finished) avahi_service_resolver_free(r);
    l.resolvers.clear();
    l.finished.clear();
    l.waiting.clear();
    if (l.browser) avahi_service_browser_free(l.browser);
    l.browser = nullptr;
  }

  // The lookup of id, if it is still open.
  Lookup* Find(int id) {
    const auto it = lookups_.find(id);
    return it == lookups_.end() ? nullptr : it->second.get();
  }

  static void OnBrowse(AvahiServiceBrowser* b, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
                       const char* name, const char* type, const char* domain, AvahiLookupResultFlags, void* data) {
    auto* l = static_cast<Lookup*>(data);
    if (l->browser != b) return;
    Session* const s = l->session;
    const int id = l->id;
    switch (event) {
      case AVAHI_BROWSER_NEW:
        if (name && type && domain && l->waiting.size() < kMaxWaiting) {
          l->waiting.push_back({interface, protocol, name, type, domain});
          s->ResolveSome(*l);
          if (l->cacheRead && !l->follow) s->Report([r = s->reports_, id] { r.quiet(id, false); });
        }
        break;
      case AVAHI_BROWSER_CACHE_EXHAUSTED:
        l->cacheRead = true;
        s->Post([s, id] { s->QuietWhenComplete(id); });
        break;
      case AVAHI_BROWSER_REMOVE:
        if (l->follow)
          s->Report([r = s->reports_, id, key = ServiceKey(interface, protocol, name)] { r.removed(id, key); });
        break;
      case AVAHI_BROWSER_ALL_FOR_NOW:
        l->allForNow = true;
        s->Post([s, id] { s->EndWhenComplete(id); });
        break;
      case AVAHI_BROWSER_FAILURE:
        // Freed from the queue, not inside its own callback.
        s->Post([s, id] {
          Lookup* const lookup = s->Find(id);
          if (!lookup) return;
          if (!lookup->follow) return s->EndSearch(id);
          s->Free(*lookup);  // browses again when the daemon next runs
          s->Failed();
        });
        break;
      default:
        break;
    }
  }

  void ResolveSome(Lookup& l) {
    while (!l.waiting.empty() && l.resolvers.size() < kMaxResolvers) {
      const Service w = std::move(l.waiting.front());
      l.waiting.pop_front();
      if (AvahiServiceResolver* r = avahi_service_resolver_new(
              client_, w.interface, w.protocol, w.name.c_str(), w.type.c_str(), w.domain.c_str(), AVAHI_PROTO_UNSPEC,
              static_cast<AvahiLookupFlags>(0), &Session::OnResolve, &l))
        l.resolvers.insert(r);
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
                        void* data) {
    auto* l = static_cast<Lookup*>(data);
    if (!l->resolvers.erase(r)) return;  // one answer per resolver
    l->finished.insert(r);
    Session* const s = l->session;
    const int id = l->id;
    if (event == AVAHI_RESOLVER_FOUND && hostName && address) {
      char text[AVAHI_ADDRESS_STR_MAX] = {};
      avahi_address_snprint(text, sizeof text, address);
      Resolved found{ServiceKey(interface, protocol, name), hostName, text, TxtModel(txt)};
      s->Report([rep = s->reports_, id, found = std::move(found)] { rep.found(id, found); });
    }
    // The resolver is done: freed from the queue, then the next one starts.
    s->Post([s, id, r] {
      Lookup* const lookup = s->Find(id);
      if (!lookup || !lookup->finished.erase(r)) return;  // freed with its lookup meanwhile
      avahi_service_resolver_free(r);
      s->ResolveSome(*lookup);
      s->QuietWhenComplete(id);
      s->EndWhenComplete(id);
    });
  }

  // The cache handed over and nothing left to resolve: a search may settle.
  void QuietWhenComplete(int id) {
    Lookup* const l = Find(id);
    if (l && !l->follow && l->cacheRead && l->resolvers.empty() && l->waiting.empty())
      Report([r = reports_, id] { r.quiet(id, true); });
  }

  // The daemon has said all it knows and every service is resolved: a
  // search's window need not stay open.
  void EndWhenComplete(int id) {
    Lookup* const l = Find(id);
    if (l && !l->follow && l->allForNow && l->resolvers.empty() && l->waiting.empty()) EndSearch(id);
  }

  const std::shared_ptr<Inbox> inbox_;
  const Reports reports_;
  AvahiSimplePoll* const poll_;
  int wake_[2] = {-1, -1};
  AvahiWatch* wakeWatch_ = nullptr;
  std::mutex queueLock_;
  std::deque<std::function<void()>> queue_;
  std::thread thread_;  // the owner's only
  std::mutex endLock_;
  std::condition_variable endCv_;
  bool ended_ = false;  // the loop has quit

  AvahiClient* client_ = nullptr;
  AvahiTimeout* retry_ = nullptr;
  int retryMs_ = kFirstRetryMs;
  std::map<int, std::unique_ptr<Lookup>> lookups_;
};

class DnsSdBrowser;

// One search, or the follower, as the window's thread sees it: its window,
// what it found, and its lookup on Avahi's thread.
class Browse : public QObject {
 public:
  Browse(DnsSdBrowser& owner, Source::Found found, Source::Done done, Source::Gone gone = {});
  ~Browse() override;

  Outcome Open();
  void Begin(int windowMs) { window_.start(windowMs); }
  void Stop();
  void SetSettled(Source::Settled settled) { settled_ = std::move(settled); }

  // Reports from Avahi's thread.
  void Found(const Finding& finding) {
    if (stopped_) return;
    ++computers_;
    Guarded([&] { found_(finding); });
  }
  void Removed(const std::string& key) {
    if (!stopped_ && gone_) Guarded([&] { gone_(key); });
  }
  void Close() { End(computers_ ? Outcome::Answered : Outcome::NoAnswer); }
  void Browsing() { settle_.start(kSettleMs); }
  void Quiet(bool quiet) {
    quiet_ = quiet;
    MaybeSettled();
  }
  void MaybeSettled() {
    if (stopped_ || !settled_ || !quiet_ || !settleDue_) return;
    Source::Settled settled = std::move(settled_);
    settled_ = nullptr;
    Guarded(settled);
  }
  void End(Outcome outcome) {
    if (stopped_ || !done_) return;  // following: open until the source ends it
    Source::Done done = std::move(done_);
    Stop();
    Guarded([&] { done(outcome); });
  }

 private:
  DnsSdBrowser& owner_;
  Source::Found found_;
  Source::Done done_;
  Source::Gone gone_;
  const bool follow_;  // made without done: follows until stopped
  int id_ = 0;
  QTimer window_;
  bool stopped_ = false;
  int computers_ = 0;
  Source::Settled settled_;  // null: nobody stops at that point
  QTimer settle_;
  bool settleDue_ = false, quiet_ = false;
};

class DnsSdBrowser final : public SearchSource<Browse> {
 public:
  DnsSdBrowser() : inbox_(std::make_shared<Inbox>()) {
    inbox_->receiver = &receiver_;
    Reports reports;
    reports.found = [this](int id, const Resolved& r) {
      Browse* const b = Of(id);
      if (!b) return;
      if (std::optional<Finding> finding =
              DnsSdFinding(QString::fromUtf8(r.hostName), QHostAddress(QString::fromLatin1(r.address)))) {
        finding->key = r.key;
        finding->details.model = r.model;
        b->Found(*finding);
      }
    };
    reports.removed = [this](int id, const std::string& key) {
      if (Browse* b = Of(id)) b->Removed(key);
    };
    reports.ended = [this](int id) {
      if (Browse* b = Of(id)) b->Close();
    };
    reports.noDaemon = [this](int id) {
      if (Browse* b = Of(id)) b->End(Outcome::NoDaemon);
    };
    reports.browsing = [this](int id) {
      if (Browse* b = Of(id)) b->Browsing();
    };
    reports.quiet = [this](int id, bool quiet) {
      if (Browse* b = Of(id)) b->Quiet(quiet);
    };
    reports.daemon = [this](DaemonState state) { daemon_ = state; };
    session_ = Session::Start(inbox_, std::move(reports));
  }

  ~DnsSdBrowser() override {
    Cancel();
    if (following_) following_->Stop();
    following_.reset();
    {
      const std::lock_guard<std::mutex> hold(inbox_->lock);
      inbox_->receiver = nullptr;
    }
    if (session_) session_->End(kEndMs);
  }

  void WhenSettled(Settled settled) override { settled_ = std::move(settled); }

  bool Follow(Found found, Gone gone) override {
    if (following_) {
      following_->Stop();
      following_.release()->deleteLater();
    }
    if (!found || !session_) return false;
    // Kept even while the daemon is away: it browses again once it runs.
    following_ = std::make_unique<Browse>(*this, std::move(found), Done(), std::move(gone));
    return following_->Open() == Outcome::Answered;
  }

  // For Browse.
  int Register(Browse* b) {
    live_[++lastId_] = b;
    return lastId_;
  }
  void Unregister(int id) { live_.erase(id); }
  Session* session() const { return session_.get(); }
  DaemonState daemon() const { return daemon_; }

 protected:
  std::unique_ptr<Browse> Make(Found found, Done done) override {
    auto browse = std::make_unique<Browse>(*this, std::move(found), std::move(done));
    browse->SetSettled(settled_);
    return browse;
  }

 private:
  Browse* Of(int id) const {
    const auto it = live_.find(id);
    return it == live_.end() ? nullptr : it->second;
  }

  base::Mailbox receiver_;  // the inbox's calls run on the window's thread through it
  std::shared_ptr<Inbox> inbox_;
  std::shared_ptr<Session> session_;
  std::map<int, Browse*> live_;
  int lastId_ = 0;
  DaemonState daemon_ = DaemonState::Unknown;
  std::unique_ptr<Browse> following_;
  Settled settled_;
};

Browse::Browse(DnsSdBrowser& owner, Source::Found found, Source::Done done, Source::Gone gone)
    : owner_(owner), found_(std::move(found)), done_(std::move(done)), gone_(std::move(gone)), follow_(!done_) {
  window_.setSingleShot(true);
  connect(&window_, &QTimer::timeout, this, &Browse::Close);
  settle_.setSingleShot(true);
  connect(&settle_, &QTimer::timeout, this, [this] {
    settleDue_ = true;
    MaybeSettled();
  });
}

Browse::~Browse() { Stop(); }

// A search cannot ask while the daemon is known to be away; a follower
// waits for it. Otherwise the lookup opens on Avahi's thread.
Outcome Browse::Open() {
  Session* const session = owner_.session();
  if (!session || (!follow_ && owner_.daemon() == DaemonState::Absent)) return Outcome::NoDaemon;
  id_ = owner_.Register(this);
  session->Post([session, id = id_, follow = follow_] { session->Open(id, follow); });
  return Outcome::Answered;
}

// A stopped search hears no more: its lookup goes on Avahi's thread.
void Browse::Stop() {
  if (stopped_) return;
  stopped_ = true;
  window_.stop();
  settle_.stop();
  if (!id_) return;
  owner_.Unregister(id_);
  if (Session* const session = owner_.session()) session->Post([session, id = id_] { session->Close(id); });
}

}  // namespace

std::unique_ptr<Source> MakeAvahiDnsSd() { return std::make_unique<DnsSdBrowser>(); }

}  // namespace discovery
