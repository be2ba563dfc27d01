#include "listing.h"

#include <QNetworkInterface>
#include <pthread.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "cp932.h"
#include "merge.h"
#include "names.h"
#include "samba_conf.h"

namespace discovery {

namespace {

constexpr int kMaxAsksPerRound = 64;  // what one node status round takes
std::atomic<int> readsRunning{0};
constexpr size_t kMaxQueuedAsks = 1024;
// A browse read whose function threw: no code of the provider's.
constexpr int kReadThrew = -1;

std::string Fold(const std::string& name) { return cp932::UpperAscii(name); }

std::string InterfaceText() {
  std::string text;
  for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
    if (!(iface.flags() & QNetworkInterface::IsUp)) continue;
    text += iface.name().toStdString() + '/' + std::to_string(int(iface.flags())) + ':';
    for (const QNetworkAddressEntry& entry : iface.addressEntries()) text += entry.ip().toString().toStdString() + ',';
    text += ';';
  }
  return text;
}

// Runs work on a thread of its own that nobody joins, made detached from the
// start. A std::thread detached after it was made will not do on Windows:
// the MinGW runtime's detach of a thread that has just ended hands the
// thread's record back while the ending thread still uses it, and the next
// thread made could then get a cleared record and end without running its
// work (seen under Wine: a read whose worker never ran). A thread made
// detached gives its record back itself. Throws std::system_error when no
// thread can be made.
void* RunDetached(void* arg) {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(arg));
  (*work)();
  return nullptr;
}

void StartDetached(std::function<void()> work) {
  auto owned = std::make_unique<std::function<void()>>(std::move(work));
  pthread_attr_t attr;
  int error = pthread_attr_init(&attr);
  if (error == 0) {
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    error = pthread_create(&thread, &attr, RunDetached, owned.get());
    pthread_attr_destroy(&attr);
  }
  if (error != 0) throw std::system_error(error, std::generic_category());
  static_cast<void>(owned.release());  // the thread's now
}

}  // namespace

// A listing under way: its rows go through the merge as findings come (on a
// cold table, also those that arrive while it waits), and it waits for the
// browse read of its workgroup, if any, before it takes the kept list.
struct Listing::Active {
  Active(const std::string& workgroup, std::function<void(const std::string&)> rowFn)
      : merge(workgroup), row(std::move(rowFn)), folded(Fold(workgroup)) {}
  Merge merge;
  std::function<void(const std::string&)> row;
  std::string folded;          // the workgroup asked, folded
  std::shared_ptr<Read> read;  // the browse read waited for; null: none
  bool browseTaken = false;
  bool browsed = false;                       // a browse list was read and taken
  std::optional<base::Failure> browseFailed;  // the taken list could not be read: why
  void Take(const Finding& finding) {
    if (const std::optional<std::string> caption = merge.Add(finding)) row(*caption);
  }
};

// One read on a worker. The worker leaves its result here under the lock and
// then wakes the loop through the engine's mailbox; the loop's thread takes
// it under the same lock.
struct Listing::Read {
  std::optional<std::string> browseOf;  // a browse read: the workgroup asked
  qint64 started = 0;
  // The loop's thread only: the result has been collected, and what it is.
  bool done = false;
  std::optional<base::Result<std::vector<std::string>>> list;
  // Shared with the worker.
  std::mutex lock;
  bool finished = false;
  std::optional<base::Result<std::vector<std::string>>> result;
};

// The workers' way back to the engine, cut when the engine goes: a read that
// outlives it (a hung server) finishes on its own and reports to nobody.
struct Listing::Link {
  std::mutex lock;
  Listing* engine = nullptr;
  base::Mailbox* mailbox = nullptr;
};

Listing::Listing(ListingDeps deps)
    : deps_(std::move(deps)), clock_(deps_.clock ? deps_.clock : &base::RealClock()), link_(std::make_shared<Link>()) {
  wsd_.source = deps_.wsDiscovery;
  wsd_.origin = Origin::WsDiscovery;
  dnsSd_.source = deps_.dnsSd;
  dnsSd_.origin = Origin::DnsSd;
  if (!deps_.interfaces) deps_.interfaces = InterfaceText;
  tick_ = clock_->MakeTimer([this] { Tick(); }, true);
  link_->engine = this;
  link_->mailbox = &mailbox_;
}

Listing::~Listing() {
  tick_->Stop();
  for (SourceState* s : {&wsd_, &dnsSd_}) {
    if (!s->source) continue;
    ++s->generation;
    s->source->Cancel();
    s->source->Follow({}, {});
  }
  if (deps_.nodeStatus) deps_.nodeStatus->Cancel();
  // A read still running is not waited for: its worker is detached and its
  // result dropped; the provider's own bound ends it.
  const std::lock_guard<std::mutex> hold(link_->lock);
  link_->engine = nullptr;
  link_->mailbox = nullptr;
}

qint64 Listing::Now() const { return clock_->Now(); }

void Listing::Start() {
  if (started_) return;
  started_ = true;
  interfaces_ = deps_.interfaces();
  Follow(wsd_);
  Follow(dnsSd_);
  StartSearches();
  tick_->Start(kTickMs);
}

void Listing::Follow(SourceState& s) {
  if (!s.source) return;
  const Origin origin = s.origin;
  s.source->Follow([this](const Finding& f) { Seen(f); },
                   [this, origin](const std::string& key) { Gone(origin, key); });
}

void Listing::StartSearches() {
  lastProbe_ = Now();
  StartSearch(wsd_);
  StartSearch(dnsSd_);
  if (!Running()) coldOver_ = true;
}

void Listing::StartSearch(SourceState& s) {
  if (!s.source) return;
  const unsigned generation = ++s.generation;
  const qint64 started = Now();
  s.running = true;
  s.settled = false;
  if (deps_.endWhenSettled)
    s.source->WhenSettled([this, &s, generation] {
      if (generation == s.generation) s.settled = true;
    });
  s.outcome = s.source->Start(
      kWindowMs, [this](const Finding& f) { Seen(f); },
      [this, &s, generation, started](Outcome outcome) {
        if (generation == s.generation) SearchEnded(s, started, outcome);
      });
  s.running = s.outcome == Outcome::Answered;
}

void Listing::SearchEnded(SourceState& s, qint64 started, Outcome outcome) {
  s.running = false;
  s.outcome = outcome;
  // Expiry: a computer that two searches in a row did not find has gone.
  for (auto it = table_.begin(); it != table_.end();) {
    Entry& e = it->second;
    if (e.finding.origin == s.origin && e.seen < started && ++e.missed >= 2)
      it = table_.erase(it);
    else
      ++it;
  }
  if (!Running()) coldOver_ = true;
}

bool Listing::Running() const { return wsd_.running || dnsSd_.running; }

bool Listing::Waiting() const { return (wsd_.running && !wsd_.settled) || (dnsSd_.running && !dnsSd_.settled); }

void Listing::Seen(const Finding& f) {
  if (f.name.empty()) return;
  const std::pair<int, std::string> key(static_cast<int>(f.origin), f.key.empty() ? f.name : f.key);
  auto it = table_.find(key);
  if (it == table_.end()) {
    if (table_.size() >= kMaxComputers) Evict();
    it = table_.emplace(key, Entry{f, Now(), 0, ++order_}).first;
  } else {
    it->second.finding = f;
    it->second.seen = Now();
    it->second.missed = 0;
  }
  if (active_) active_->Take(f);
  // Found only by DNS-SD so far: its own answer to node status may place it.
  if (f.origin == Origin::DnsSd && !f.address.empty() && !Placed(f)) AskWorkgroup(f.address);
  // Its names and adapter address, asked once in kMaxAgeMs of a computer
  // WS-Discovery gave an address (an answer is kept as a workgroup's is).
  else if (f.origin == Origin::WsDiscovery && !f.address.empty() && !workgroupAt_.count(f.address) &&
           detailsAsked_.size() < kMaxComputers && detailsAsked_.emplace(f.address, Now()).second)
    AskWorkgroup(f.address);
}

void Listing::Gone(Origin origin, const std::string& key) { table_.erase({static_cast<int>(origin), key}); }

void Listing::Evict() {
  auto oldest = std::min_element(table_.begin(), table_.end(),
                                 [](const auto& a, const auto& b) { return a.second.seen < b.second.seen; });
  if (oldest != table_.end()) table_.erase(oldest);
}

void Listing::Expire(qint64 now) {
  for (auto it = table_.begin(); it != table_.end();)
    it = now - it->second.seen > kMaxAgeMs ? table_.erase(it) : std::next(it);
  for (auto it = workgroupAt_.begin(); it != workgroupAt_.end();)
    it = now - it->second.seen > kMaxAgeMs ? workgroupAt_.erase(it) : std::next(it);
  for (auto it = detailsAsked_.begin(); it != detailsAsked_.end();)
    it = now - it->second > kMaxAgeMs ? detailsAsked_.erase(it) : std::next(it);
}

bool Listing::Placed(const Finding& f) const {
  if (workgroupAt_.count(f.address) || browsed_.count(Fold(f.name))) return true;
  return std::any_of(table_.begin(), table_.end(), [&](const auto& item) {
    const Finding& o = item.second.finding;
    return !o.workgroup.empty() && (SameName(o.name, f.name) || (!f.address.empty() && o.address == f.address));
  });
}

void Listing::AskWorkgroup(const std::string& address) {
  if (!deps_.nodeStatus || asking_.count(address) || toAsk_.size() >= kMaxQueuedAsks) return;
  asking_.insert(address);
  toAsk_.push_back(address);
  PumpAsks();
}

void Listing::PumpAsks() {
  WorkgroupQuery* const q = deps_.nodeStatus;
  if (!q || toAsk_.empty()) return;
  if (!q->Waiting()) {
    // The round before is over: its addresses may be asked again later.
    asking_ = std::set<std::string>(toAsk_.begin(), toAsk_.end());
    asksThisRound_ = 0;
    q->Begin(kWindowMs,
             [this](const std::string& address, const std::string& workgroup) { Answered(address, workgroup); });
  }
  while (!toAsk_.empty() && asksThisRound_ < kMaxAsksPerRound) {
    const std::string address = std::move(toAsk_.front());
    toAsk_.pop_front();
    ++asksThisRound_;
    q->Ask(address);
  }
}

void Listing::Answered(const std::string& address, const std::string& workgroup) {
  if (!workgroupAt_.count(address) && workgroupAt_.size() >= kMaxComputers) {
    workgroupAt_.erase(std::min_element(workgroupAt_.begin(), workgroupAt_.end(),
                                        [](const auto& a, const auto& b) { return a.second.seen < b.second.seen; }));
  }
  const Details* details = deps_.nodeStatus ? deps_.nodeStatus->AnswerDetails() : nullptr;
  workgroupAt_[address] = Group{workgroup, Now(), details ? *details : Details()};
  if (!active_) return;
  for (const auto& [key, e] : table_)
    if (e.finding.address == address && (e.finding.origin == Origin::DnsSd || e.finding.origin == Origin::WsDiscovery))
      active_->Take(NodeStatusFinding(e.finding, workgroupAt_[address]));
}

// A node status answer about the computer a source found at its address.
// For a computer WS-Discovery placed itself only the details count: the
// first source to name a workgroup decides it, and its own is that source.
Finding Listing::NodeStatusFinding(const Finding& found, const Group& group) {
  Finding f{Origin::NodeStatus, found.name, found.address, group.workgroup, {}};
  if (found.origin == Origin::WsDiscovery && !found.workgroup.empty()) f.workgroup.clear();
  f.details = group.details;
  return f;
}

// The table as findings, in the order the computers were first found; a
// DNS-SD computer is followed by its node status answer.
std::vector<Finding> Listing::Snapshot() const {
  std::vector<const Entry*> entries;
  entries.reserve(table_.size());
  for (const auto& item : table_) entries.push_back(&item.second);
  std::sort(entries.begin(), entries.end(), [](const Entry* a, const Entry* b) { return a->order < b->order; });
  std::vector<Finding> findings;
  for (const Entry* e : entries) {
    findings.push_back(e->finding);
    if (e->finding.origin != Origin::DnsSd && e->finding.origin != Origin::WsDiscovery) continue;
    const auto group = workgroupAt_.find(e->finding.address);
    if (group != workgroupAt_.end()) findings.push_back(NodeStatusFinding(e->finding, group->second));
  }
  return findings;
}

void Listing::WaitUntil(const std::function<bool()>& done, qint64 boundMs) {
  const qint64 deadline = Now() + boundMs;
  const std::unique_ptr<base::Clock::Timer> bound = clock_->MakeTimer([] {});  // wakes the wait at the bound
  // A read that has finished is taken here too, not only when its wake-up
  // comes through the loop: under Wine that event now and then never came.
  for (Collect(); !done() && !abandoned_; Collect()) {
    const qint64 left = deadline - Now();
    if (left <= 0) break;
    bound->Start(left);
    deps_.wait();
  }
}

void Listing::EndOverrunSearches() {
  // A search that overran its bound is not waited for again: it counts as
  // not answering.
  for (SourceState* s : {&wsd_, &dnsSd_}) {
    if (!s->running) continue;
    ++s->generation;
    s->source->Cancel();
    s->running = false;
    s->outcome = Outcome::NoAnswer;
  }
  coldOver_ = true;
}

void Listing::Tick() {
  const qint64 now = Now();
  const std::string interfaces = deps_.interfaces();
  if (interfaces != interfaces_) {
    interfaces_ = interfaces;
    reprobe_ = true;
  }
  // A changed interface set is asked again at once, but at most every
  // kMinProbeGapMs however often it changes; a quiet table now and then.
  if ((reprobe_ && now - lastProbe_ >= kMinProbeGapMs) || now - lastProbe_ >= kRefreshMs) {
    if (reprobe_) {
      Follow(wsd_);  // listens on the interfaces there are now
      Follow(dnsSd_);
    }
    reprobe_ = false;
    StartSearches();
  }
  if (browse_ && now - browse_->read >= kBrowseRefreshMs) Refresh(browse_->asked);
  Expire(now);
  PumpAsks();
}

std::shared_ptr<Listing::Read> Listing::BeginRead(std::function<base::Result<std::vector<std::string>>()> work,
                                                  std::optional<std::string> browseOf) {
  Collect();
  if (abandoned_ || (reading_ && !reading_->done)) return nullptr;
  std::shared_ptr<Read> read = std::make_shared<Read>();
  read->browseOf = std::move(browseOf);
  read->started = Now();
  try {
    ++readsRunning;
    StartDetached([work = std::move(work), read, link = link_] {
      std::optional<base::Result<std::vector<std::string>>> list;
      try {
        list = work();
      } catch (...) {
        list = base::Failure{kReadThrew, "internal"};  // counts as a list that could not be read
      }
      {
        const std::lock_guard<std::mutex> hold(read->lock);
        read->result = std::move(list);
        read->finished = true;
      }
      {
        const std::lock_guard<std::mutex> hold(link->lock);
        if (Listing* const engine = link->engine) link->mailbox->Post([engine] { engine->Collect(); });
      }
      --readsRunning;  // handed over: a loop that waits for it has its wake-up
    });
  } catch (const std::system_error&) {
    --readsRunning;
    return nullptr;  // no thread: no read this time
  }
  reading_ = read;
  return read;
}

void Listing::Collect() {
  const std::shared_ptr<Read> read = reading_;
  if (!read || read->done) return;
  {
    const std::lock_guard<std::mutex> hold(read->lock);
    if (!read->finished) return;
    read->list = std::move(read->result);
  }
  read->done = true;
  if (!read->browseOf) return;
  browse_ = Kept{*read->browseOf, *read->list, Now()};
  if (!browse_->list) return;
  browsed_.clear();
  for (const std::string& entry : *browse_->list)
    if (const std::optional<std::string> name = BrowseListName(entry)) browsed_.insert(Fold(*name));
}

bool Listing::Reading() {
  Collect();
  return reading_ && !reading_->done;
}

int Listing::ReadsRunning() { return readsRunning.load(); }

bool Listing::WaitForReads(int boundMs) {
  // The bound is in time, not in turns: a sleep of 1 ms may last far longer.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
  while (readsRunning.load() > 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void Listing::Refresh(const std::string& workgroup) {
  if (!deps_.browseList) return;
  BeginRead([browse = deps_.browseList, workgroup] { return browse(workgroup); }, workgroup);
}

std::string Listing::StartupWorkgroup() {
  const qint64 started = Now();
  Start();
  // The browse list's workgroup is read on a worker as a listing's browse
  // list is; the loop runs meanwhile, and a read that overruns its bound
  // gives way to the other sources (its late answer is dropped). The
  // workgroup found has its browse list read next, for the first listing.
  if (deps_.browseWorkgroup) {
    const std::shared_ptr<Read> read = BeginRead(
        [find = deps_.browseWorkgroup]() -> base::Result<std::vector<std::string>> {
          base::Result<std::string> workgroup = find();
          if (!workgroup) return workgroup.failure();
          if (workgroup->empty()) return std::vector<std::string>();
          return std::vector<std::string>{std::move(workgroup).value()};
        },
        std::nullopt);
    if (read)
      WaitUntil(
          [this, &read] {
            Collect();
            return read->done;
          },
          kListingBoundMs);
    // A workgroup that cannot be read gives way to the other sources, as
    // one that overran does.
    if (read && read->done && *read->list && !(*read->list)->empty()) {
      const std::string workgroup = (*read->list)->front();
      Refresh(workgroup);
      return workgroup;
    }
  }
  WaitUntil([this] { return coldOver_ || !Waiting(); }, kStartupWaitMs - (Now() - started));
  EndOverrunSearches();
  std::vector<Finding> found;
  std::vector<const Entry*> entries;
  for (const auto& item : table_)
    if (item.second.finding.origin == Origin::WsDiscovery) entries.push_back(&item.second);
  std::sort(entries.begin(), entries.end(), [](const Entry* a, const Entry* b) { return a->order < b->order; });
  for (const Entry* e : entries) found.push_back(e->finding);
  std::string workgroup = MostReportedWorkgroup(found);
  if (workgroup.empty() && !deps_.sambaConfigPath.empty()) workgroup = SambaWorkgroup(deps_.sambaConfigPath);
  if (!workgroup.empty()) Refresh(workgroup);
  return workgroup;
}

QString Listing::Explain(const char* name, const SourceState& s, int elsewhere) const {
  const QString source = QString::fromUtf8(name);
  if (!s.source) return {};
  Outcome outcome = s.outcome;
  if (!CouldNotRun(outcome)) {
    const bool any = std::any_of(table_.begin(), table_.end(),
                                 [&](const auto& item) { return item.second.finding.origin == s.origin; });
    outcome = any ? Outcome::Answered : Outcome::NoAnswer;
  }
  switch (outcome) {
    case Outcome::NoInterface:
      return source + QStringLiteral("送信先なし");
    case Outcome::NoSocket:
      return source + QStringLiteral("送信不可");
    case Outcome::NoDaemon:
      return QStringLiteral("mDNSデーモン停止中");
    case Outcome::NoAnswer:
      return source + QStringLiteral("応答なし");
    case Outcome::Answered:
      return source + QStringLiteral("は他WGの%1台のみ").arg(elsewhere);
  }
  return {};
}

// Without a kept browse list for the workgroup a read is waited for: this
// listing's own, or one already running for the same workgroup, within its
// bound from when it began. One read at a time, so a provider that hangs is
// not asked again while it does (no read: no browse list).
std::shared_ptr<Listing::Read> Listing::ReadFor(const std::string& workgroup) {
  const auto begin = [&] {
    return BeginRead([browse = deps_.browseList, workgroup] { return browse(workgroup); }, workgroup);
  };
  std::shared_ptr<Read> read = begin();
  if (read || !reading_ || reading_->done) return read;
  if (reading_->browseOf && Fold(*reading_->browseOf) == Fold(workgroup)) return reading_;
  // Another workgroup's read (the start-up's, a background one) is let end
  // within its bound; then this one's begins.
  const std::shared_ptr<Read> other = reading_;
  WaitUntil(
      [&] {
        Collect();
        return other->done;
      },
      other->started + kListingBoundMs - Now());
  return begin();
}

bool Listing::ReadSettled(const Active& active) {
  Collect();
  return !active.read || active.read->done || Now() - active.read->started >= kListingBoundMs;
}

// The kept browse list goes into the merge once, when the read waited for is
// over and the list kept is this workgroup's.
void Listing::TakeBrowse(Active& active) {
  if (active.browseTaken || (active.read && !active.read->done)) return;
  if (!browse_ || Fold(browse_->asked) != active.folded) return;
  active.browseTaken = true;
  if (!browse_->list) {
    active.browseFailed = browse_->list.failure();
    return;
  }
  active.browsed = true;
  for (const std::string& entry : *browse_->list)
    if (const std::optional<std::string> name = BrowseListName(entry))
      active.Take(Finding{Origin::BrowseList, *name, {}, {}, {}});
}

// Warm: the table as it was at the click, beside the browse list; a new
// search refreshes the table for the next listing.
void Listing::ListWarm(Active& active) {
  const std::vector<Finding> known = Snapshot();
  StartSearches();
  if (active.read) WaitUntil([&] { return ReadSettled(active); }, active.read->started + kListingBoundMs - Now());
  TakeBrowse(active);
  for (const Finding& f : known) active.Take(f);
}

// Cold: rows as the first search windows find them.
void Listing::ListCold(Active& active) {
  struct Attach {
    Active*& slot;
    ~Attach() { slot = nullptr; }
  } attach{active_};
  active_ = &active;
  for (const Finding& f : Snapshot()) active.Take(f);
  WaitUntil(
      [&] {
        const bool settled = ReadSettled(active);
        TakeBrowse(active);
        return settled && !Waiting() && !(deps_.nodeStatus && deps_.nodeStatus->Waiting());
      },
      kListingBoundMs);
  TakeBrowse(active);
  active_ = nullptr;
  EndOverrunSearches();
}

// "終了" when rows were given; else one short line on what each source found
// or why it could not ask. A failure when no source could ask at all.
base::Result<Listing::Found> Listing::Report(const Active& active) const {
  Found found;
  found.computers = active.merge.Listed();
  found.status = QStringLiteral("終了");
  if (active.merge.Rows() == 0) {
    QString browse = active.browsed ? QStringLiteral("ブラウズリスト0台") : QStringLiteral("ブラウズリストなし");
    if (active.browseFailed && !active.browseFailed->text.empty())
      browse += QStringLiteral(": ") + cp932::Decode(active.browseFailed->text);
    QStringList parts{browse};
    for (const QString& part : {Explain("WSD", wsd_, active.merge.Elsewhere(Origin::WsDiscovery)),
                                Explain("DNS-SD", dnsSd_, active.merge.Elsewhere(Origin::DnsSd))})
      if (!part.isEmpty()) parts << part;
    found.status += QStringLiteral(" (") + parts.join(QStringLiteral("、")) + QStringLiteral(")");
  }
  const bool wsdAsked = wsd_.source && !CouldNotRun(wsd_.outcome);
  const bool dnsSdAsked = dnsSd_.source && !CouldNotRun(dnsSd_.outcome);
  if (!active.browsed && !wsdAsked && !dnsSdAsked)
    return base::Failure{kNoSourceAsked, cp932::EncodeLossy(found.status)};
  return found;
}

base::Result<Listing::Found> Listing::List(const std::string& workgroup,
                                           const std::function<void(const std::string&)>& row) {
  Start();
  Collect();
  Active active(workgroup, row);
  // The browse list kept for this workgroup answers at once and is read
  // again in the background for the next listing.
  const bool kept = browse_ && Fold(browse_->asked) == active.folded;
  if (!kept && deps_.browseList) active.read = ReadFor(workgroup);
  if (coldOver_)
    ListWarm(active);
  else
    ListCold(active);
  if (kept) Refresh(workgroup);
  for (const std::string& caption : active.merge.Finish()) row(caption);
  return Report(active);
}

}  // namespace discovery
