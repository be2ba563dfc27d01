#pragma once
// The workgroup listing without widgets. The sources run from start-up and
// keep a bounded table of the computers they know (search answers,
// announcements, node status answers), and the engine keeps the last browse
// list read beside it; a listing merges the two. Until the first search
// window is over the table is cold, and a listing waits for the window as the
// sources answer; a workgroup whose browse list has not been read yet waits
// for its read.
//
// Everything runs on the thread of Qt's event loop except the browse list
// reads (a listing's, the background ones, and the start-up workgroup's),
// which run on a worker thread of their own, one at a time, and hand their
// result back to the event loop's thread.
#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "clock.h"
#include "mailbox.h"
#include "merge.h"
#include "result.h"
#include "source.h"

namespace discovery {

// What the engine is given: the platform's sources and seams, or fakes.
struct ListingDeps {
  Source* wsDiscovery = nullptr;  // null: the platform has none
  Source* dnsSd = nullptr;
  WorkgroupQuery* nodeStatus = nullptr;  // null: workgroups are not asked
  // A workgroup's browse list (entries as the provider gives them, "\\NAME"),
  // or why it cannot be opened: the failure's text is what the listing's
  // status says of it. Runs on a worker thread.
  std::function<base::Result<std::vector<std::string>>(const std::string& workgroup)> browseList;
  // The workgroup the browse list names; empty when none, a failure when it
  // cannot be read.
  std::function<base::Result<std::string>()> browseWorkgroup;
  std::string sambaConfigPath;  // empty: none
  // Waits for the next event from the event loop (the window's pump).
  std::function<void()> wait;
  // Now and the engine's timers; null: the steady clock and Qt's timers.
  base::Clock* clock = nullptr;
  // A text that changes whenever the machine's interfaces or addresses do;
  // default: read from the interface list.
  std::function<std::string()> interfaces;
  // One listing and done (the command line): a cold listing waits for each
  // search only until it settles (Source::WhenSettled), not for its window.
  bool endWhenSettled = false;
};

class Listing final : public QObject {
 public:
  // The table's bound: beyond it the computer seen longest ago makes room.
  static constexpr size_t kMaxComputers = 1024;
  static constexpr int kWindowMs = 1500;          // one search
  static constexpr int kListingBoundMs = 2500;    // the longest a listing waits
  static constexpr int kStartupWaitMs = 1500;     // the longest start-up waits
  static constexpr int kTickMs = 2000;            // interface and expiry checks
  static constexpr qint64 kMinProbeGapMs = 5000;  // probes after interface changes
  static constexpr qint64 kRefreshMs = 10 * 60 * 1000;
  static constexpr qint64 kBrowseRefreshMs = 3 * 60 * 1000;  // the kept browse list read again
  static constexpr qint64 kMaxAgeMs = 30 * 60 * 1000;

  explicit Listing(ListingDeps deps);
  ~Listing() override;

  // The sources begin: a first search each, and announcements from now on.
  void Start();

  // The workgroup name at start-up: the browse list's (read on the worker,
  // within kListingBoundMs), else the one most WS-Discovery computers report,
  // else the local Samba configuration's. Runs the event loop while it waits.
  std::string StartupWorkgroup();

  struct Found {
    QString status;                         // the status text: "終了", with the reasons when nothing was found
    std::vector<MergedComputer> computers;  // the rows given, in order, as the merge knows them at the end
  };
  // List's failure when no source could ask at all; its text is the status
  // text (code page 932), reasons included.
  static constexpr int kNoSourceAsked = 1;
  // Lists one workgroup (bytes): row() for each computer as it becomes
  // known (cold) or all at once (warm), never after this returns. The
  // browse list is the one kept for the workgroup, read again in the
  // background for the next listing; a workgroup with none kept waits for
  // a read (within kListingBoundMs). A browse list that could not be read
  // is named in the status with the failure's text.
  base::Result<Found> List(const std::string& workgroup, const std::function<void(const std::string&)>& row);

  // Ends the wait under way (a listing's, the start-up workgroup's) and
  // every later one at once, with what is known then: the owner is giving
  // up (the command line's --timeout). A browse read still running is not
  // waited for, and none begins any more.
  void Abandon() { abandoned_ = true; }

  // The periodic check the timer runs: a changed interface set or an old
  // table makes a new search; an old browse list is read again; old entries
  // go. Public for tests.
  void Tick();

  bool Warm() const { return coldOver_; }
  size_t Known() const { return table_.size(); }
  // A browse read's result has not come back yet.
  bool Reading();

  // Reads not yet handed back (still inside the browse-list functions, or
  // posting their result), of any engine, including those an engine left
  // running when it went. What those functions use
  // (the provider) must stay until they return: its owner frees it only
  // when WaitForReads says none runs, else leaves it to the process's end.
  static int ReadsRunning();
  // Waits up to boundMs for them (tests, and owners that may wait).
  static bool WaitForReads(int boundMs);

 private:
  struct SourceState {
    Source* source = nullptr;
    Origin origin = Origin::WsDiscovery;
    Outcome outcome = Outcome::NoDaemon;
    bool running = false;
    bool settled = false;     // running, but expects nothing more (endWhenSettled)
    unsigned generation = 0;  // tells an ended search's callbacks from the current one's
  };
  struct Entry {
    Finding finding;
    qint64 seen = 0;
    int missed = 0;      // searches in a row that ended without it
    uint64_t order = 0;  // first seen, for rows in the order found
  };
  struct Active;

  qint64 Now() const;
  void StartSearches();
  void StartSearch(SourceState& s);
  void SearchEnded(SourceState& s, qint64 started, Outcome outcome);
  void Follow(SourceState& s);
  void Seen(const Finding& finding);
  void Gone(Origin origin, const std::string& key);
  void Evict();
  void Expire(qint64 now);
  bool Placed(const Finding& finding) const;
  void AskWorkgroup(const std::string& address);
  void PumpAsks();
  void Answered(const std::string& address, const std::string& workgroup);
  std::vector<Finding> Snapshot() const;
  struct Group;
  static Finding NodeStatusFinding(const Finding& found, const Group& group);
  bool Running() const;
  // A search is running that a listing still waits for.
  bool Waiting() const;
  void EndOverrunSearches();
  void WaitUntil(const std::function<bool()>& done, qint64 boundMs);
  QString Explain(const char* name, const SourceState& s, int elsewhere) const;

  ListingDeps deps_;
  SourceState wsd_, dnsSd_;
  std::map<std::pair<int, std::string>, Entry> table_;  // (origin, key) -> entry
  struct Group {
    std::string workgroup;
    qint64 seen = 0;
    Details details;  // what else the answer said
  };
  std::map<std::string, Group> workgroupAt_;    // node status answers by address
  std::map<std::string, qint64> detailsAsked_;  // WS-Discovery computers asked for details, when
  std::set<std::string> browsed_;               // names on the last browse list read (upper case)
  // The last browse list read: the workgroup asked, its entries (or why it
  // could not be opened) and when it was read.
  struct Kept {
    std::string asked;
    base::Result<std::vector<std::string>> list;
    qint64 read = 0;
  };
  std::optional<Kept> browse_;
  std::deque<std::string> toAsk_;
  std::set<std::string> asking_;  // queued or asked in the running round
  int asksThisRound_ = 0;
  uint64_t order_ = 0;
  bool started_ = false;
  bool coldOver_ = false;
  bool abandoned_ = false;
  qint64 lastProbe_ = 0;
  bool reprobe_ = false;
  std::string interfaces_;
  base::Clock* clock_;
  std::unique_ptr<base::Clock::Timer> tick_;
  Active* active_ = nullptr;  // the cold listing being waited for

  // The browse list (or its workgroup) read on a worker; one at a time.
  struct Read;
  struct Link;
  // Runs work on a worker whose result is collected on the loop's thread;
  // null while the read before still runs. A browse read names its
  // workgroup; its result becomes the kept browse list.
  std::shared_ptr<Read> BeginRead(std::function<base::Result<std::vector<std::string>>()> work,
                                  std::optional<std::string> browseOf);
  // A browse read of workgroup in the background, unless one runs.
  void Refresh(const std::string& workgroup);
  // Takes a finished read's result (on the loop's thread).
  void Collect();
  // List's steps: the browse read it waits for, the kept browse list taken
  // once that read is over, the warm and the cold ways of waiting for rows,
  // and what the listing says at the end.
  std::shared_ptr<Read> ReadFor(const std::string& workgroup);
  bool ReadSettled(const Active& active);
  void TakeBrowse(Active& active);
  void ListWarm(Active& active);
  void ListCold(Active& active);
  base::Result<Found> Report(const Active& active) const;
  std::shared_ptr<Read> reading_;
  base::Mailbox mailbox_;             // the workers' wake-ups
  std::shared_ptr<Link> link_;  // the workers' way back; cut when the engine goes
};

}  // namespace discovery
