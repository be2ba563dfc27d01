// The listing engine on fake sources and a fake clock: a cold table waited
// for, a warm one answered at once with the kept browse list, announcements
// and withdrawals, the table's bound and expiry, an interface set that will
// not settle, and browse reads that hang. No test waits for a bound in real
// time: the engine's waits move the fake clock on.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "cp932.h"
#include "dnssd.h"
#include "fake_clock.h"
#include "fake_source.h"
#include "listing.h"
#include "search_owner.h"

namespace {

using discovery::Finding;
using discovery::Listing;
using discovery::Origin;
using discovery::Outcome;
constexpr Origin W = Origin::WsDiscovery, D = Origin::DnsSd;

struct Engine {
  fakes::FakeClock clock;
  fakes::FakeSource wsd, dnsSd;
  fakes::FakeNodeStatus nodeStatus;
  std::atomic<int> reads{0};
  std::function<base::Result<std::string>()> browseWorkgroup;
  std::function<void()> browseStall;  // run by each browse read before it answers
  // Browse reads come back while the engine waits; false: they hang, and
  // the engine's waits run the clock on to their bounds.
  bool readsAnswer = true;
  std::string interfaces = "eth0";
  bool oneShot = false;                      // ListingDeps::endWhenSettled
  discovery::Source* dnsSdSource = nullptr;  // null: dnsSd
  std::unique_ptr<Listing> listing;

  // A read still running uses the fixture: it comes back first.
  ~Engine() {
    if (listing) static_cast<void>(QTest::qWaitFor([&] { return !listing->Reading(); }, 5000));
  }
  void SetBrowse(std::vector<std::string> entries) {
    const std::lock_guard<std::mutex> hold(lock);
    browse = std::move(entries);
  }
  void FailBrowse(base::Failure why) {
    const std::lock_guard<std::mutex> hold(lock);
    browse = std::move(why);
  }
  Listing& Make() {
    wsd.clock = dnsSd.clock = nodeStatus.clock = &clock;
    discovery::ListingDeps d;
    d.wsDiscovery = &wsd;
    d.dnsSd = dnsSdSource ? dnsSdSource : &dnsSd;
    d.nodeStatus = &nodeStatus;
    d.endWhenSettled = oneShot;
    d.browseList = [this](const std::string&) {
      ++reads;  // on the worker
      std::function<void()> stall;
      base::Result<std::vector<std::string>> list = base::Failure{};
      {
        const std::lock_guard<std::mutex> hold(lock);
        stall = browseStall;
        list = browse;
      }
      if (stall) stall();  // touches nothing of the fixture: it may go meanwhile
      return list;
    };
    d.browseWorkgroup = browseWorkgroup;
    d.wait = [this] {
      QCoreApplication::processEvents();
      if (readsAnswer && listing->Reading())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the worker's hand-over is due: look again
      else
        clock.Next();
    };
    d.clock = &clock;
    d.interfaces = [this] { return interfaces; };
    listing = std::make_unique<Listing>(std::move(d));
    return *listing;
  }
  // The read under way has come back: woken by its hand-over to the loop,
  // not by polling; false when it has not within boundMs (a hang).
  bool ReadBack(int boundMs = 5000) {
    bool over = false;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [&over] { over = true; });
    bound.start(boundMs);
    while (listing->Reading() && !over) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return !listing->Reading();
  }
  // The background read started by the last call has come back.
  void Settle() { ASSERT_TRUE(ReadBack()); }
  std::vector<std::string> List(const std::string& wg = "WG", QString* status = nullptr) {
    rows.clear();
    const base::Result<Listing::Found> r = listing->List(wg, [this](const std::string& row) { rows.push_back(row); });
    failedCode = r ? 0 : r.failure().code;
    if (status) *status = r ? r->status : cp932::Decode(r.failure().text);
    return rows;
  }
  void WarmUp() {
    listing->Start();
    while (!listing->Warm() && clock.Next()) {}
    ASSERT_TRUE(listing->Warm());
  }
  std::vector<std::string> rows;
  int failedCode = 0;  // the last listing's failure; 0: none

 private:
  std::mutex lock;
  base::Result<std::vector<std::string>> browse = std::vector<std::string>{"\\\\PC01"};
};

TEST(Listing, ColdWaitsForTheWindowWarmAnswersAtOnceAndAddsNothingAfter) {
  Engine e;
  e.wsd.Find(30, {W, "WIN11", "10.0.0.2", "WG", "urn:1"}).EndAfter(60);
  e.dnsSd.EndAfter(10);
  e.SetBrowse({"\\\\PC01", "\\\\EVIL\r\n[WGPCLIST]"});  // a line break would split the list file
  e.Make();
  EXPECT_EQ(e.List(), (std::vector<std::string>{"PC01", "WIN11"}));  // cold: the first window is waited for
  // The window (60 ms), then WIN11's details asked of node status, given up
  // after 50 ms.
  EXPECT_EQ(e.clock.Now(), 30 + e.nodeStatus.giveUpMs);
  const qint64 cold = e.clock.Now();
  EXPECT_EQ(e.wsd.starts, 1);
  EXPECT_EQ(e.reads, 1);

  // Warm: the table and the kept browse list at once (the clock does not
  // move), a new search for the next time whose answers (a computer at
  // 30 ms) are not appended to this listing, and the browse list read again
  // in the background (a computer joined it meanwhile).
  e.wsd.Find(30, {W, "LATE", "10.0.0.3", "WG", "urn:3"});
  e.SetBrowse({"\\\\PC01", "\\\\PC02"});
  QString status;
  EXPECT_EQ(e.List("wg", &status), (std::vector<std::string>{"PC01", "WIN11"}));  // the kept list, any case
  EXPECT_EQ(e.clock.Now(), cold);
  EXPECT_EQ(status, QStringLiteral("終了"));
  EXPECT_EQ(e.wsd.starts, 2);
  e.Settle();
  EXPECT_EQ(e.reads, 2);
  e.clock.Advance(80);
  EXPECT_EQ(e.rows.size(), 2u);  // nothing after the listing returned
  EXPECT_EQ(e.List(), (std::vector<std::string>{"PC01", "PC02", "WIN11", "LATE"}));

  // Another workgroup has no kept list: its read is waited for.
  e.Settle();
  const int before = e.reads;
  EXPECT_EQ(e.List("OTHER"), (std::vector<std::string>{"PC01", "PC02"}));  // the fake's browse list is any group's
  EXPECT_EQ(e.reads, before + 1);

  // A quiet kept list is read again every few minutes.
  e.Settle();
  e.SetBrowse({"\\\\PC03"});
  e.clock.Advance(Listing::kBrowseRefreshMs + Listing::kTickMs);
  e.Settle();
  EXPECT_EQ(e.reads, before + 2);
  EXPECT_EQ(e.List("OTHER").front(), "PC03");
}

TEST(Listing, HelloByeAndWithdrawalFollowedNodeStatusKeptByAddress) {
  Engine e;
  e.wsd.EndAfter(5);
  e.dnsSd.EndAfter(5);
  e.nodeStatus.Answer("10.0.0.9", 1, "wg");
  e.Make();
  e.WarmUp();
  EXPECT_TRUE(e.wsd.Announce({W, "HELLO", "10.0.0.5", "WG", "urn:5"}));
  EXPECT_TRUE(e.dnsSd.Announce({D, "nas", "10.0.0.9", "", "nas/eth0"}));
  EXPECT_TRUE(e.dnsSd.Announce({D, "far", "10.0.0.7", "", "far/eth0"}));  // never answers: unknown, listed
  // HELLO is asked too, for its names and adapter address; once.
  ASSERT_EQ(e.nodeStatus.asked.size(), 3u);
  e.clock.Advance(60);  // the answer for .9 (1 ms) and the given-up .7 (50 ms)
  EXPECT_EQ(e.List(), (std::vector<std::string>{"PC01", "HELLO", "nas", "far"}));
  EXPECT_EQ(e.List("OTHER"), (std::vector<std::string>{"PC01", "far"}));  // the fake's browse list is any group's

  e.wsd.Leave("urn:5");
  e.dnsSd.Leave("nas/eth0");
  e.wsd.Leave("urn:never-seen");  // a Bye for an endpoint never seen changes nothing
  EXPECT_EQ(e.List(), (std::vector<std::string>{"PC01", "far"}));
}

TEST(Listing, TableStaysBoundedAndOldOrMissingComputersGo) {
  Engine e;
  e.wsd.EndAfter(5);
  e.dnsSd.EndAfter(5);
  e.SetBrowse({});
  e.Make();
  e.WarmUp();
  // A flood of announcements from 10,000 endpoints: the table keeps its bound
  // and the latest ones.
  for (int i = 0; i < 10000; ++i) {
    e.clock.Set(i);
    e.wsd.Announce({W, "F" + std::to_string(i), "10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256), "WG",
                    "urn:f" + std::to_string(i)});
  }
  EXPECT_EQ(e.listing->Known(), Listing::kMaxComputers);
  EXPECT_EQ(e.List().size(), Listing::kMaxComputers);
  EXPECT_EQ(e.rows.back(), "F9999");

  // Not seen for longer than the age limit: gone at the next check.
  e.clock.Set(e.clock.Now() + Listing::kMaxAgeMs + 1);  // a machine that slept: no search ran
  e.listing->Tick();
  EXPECT_EQ(e.listing->Known(), 0u);

  // Missed by two searches in a row: gone.
  e.wsd.Announce({W, "QUIET", "10.0.0.4", "WG", "urn:q"});
  for (int search = 0; search < 2; ++search) {
    EXPECT_EQ(e.listing->Known(), 1u);
    e.clock.Advance(1);
    e.List();             // each warm listing starts a search...
    e.clock.Advance(30);  // ...that ends without QUIET
  }
  EXPECT_EQ(e.listing->Known(), 0u);
}

TEST(Listing, AnInterfaceThatComesAndGoesProbesAtMostEveryFewSeconds) {
  Engine e;
  e.wsd.EndAfter(5);
  e.dnsSd.Refuse(Outcome::NoDaemon);
  e.Make();
  e.WarmUp();
  const int before = e.wsd.starts;
  for (int second = 1; second <= 20; ++second) {
    e.interfaces = second % 2 ? "eth0 wlan0" : "eth0";
    e.clock.Advance(1000);  // the engine's own check, every 2 s
    e.listing->Tick();
  }
  // A probe at 5, 10, 15 and 20 s, each with the listener reopened.
  EXPECT_EQ(e.wsd.starts - before, 4);
  EXPECT_EQ(e.wsd.follows, 1 + 4);
  QString status;
  e.SetBrowse({});
  e.List("WG", &status);
  EXPECT_EQ(status, QStringLiteral("終了 (ブラウズリスト0台、WSD応答なし、mDNSデーモン停止中)"));
}

// The start-up workgroup's browse read runs on the worker: the loop goes on
// while it does (the read ends only when the loop releases it), and the
// workgroup's browse list is read next for the first listing. One that
// overruns its bound gives way to the sources and is not joined by a
// listing's read.
TEST(Listing, StartupWorkgroupIsReadOffTheLoopWithinItsBound) {
  Engine e;
  e.wsd.Find(5, {W, "A", "10.0.0.1", "WGW", "urn:a"}).EndAfter(10);
  e.dnsSd.EndAfter(10);
  // Blocks until released, or for 5 s at most (so a read on the loop's own
  // thread fails the test rather than hanging it).
  std::atomic<bool> release{false}, released{false};
  e.browseWorkgroup = [&]() -> base::Result<std::string> {
    for (int i = 0; i < 1000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    released = release.load();
    return std::string("SLOW");
  };
  std::atomic<bool> gate{false};  // holds the browse reads until the loop opens it
  e.browseStall = [&gate] {
    for (int i = 0; i < 5000 && !gate; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  e.Make();
  QTimer::singleShot(0, [&] { release = true; });
  EXPECT_EQ(e.listing->StartupWorkgroup(), "SLOW");
  EXPECT_TRUE(released);
  // SLOW's browse list is read ahead for the first listing; a listing of
  // another workgroup meanwhile lets that read end, then reads its own.
  QTimer::singleShot(0, [&] { gate = true; });
  EXPECT_EQ(e.List("OTHER"), std::vector<std::string>{"PC01"});
  EXPECT_EQ(e.reads, 2);

  Engine stuck;
  stuck.wsd.Find(5, {W, "A", "10.0.0.1", "WGW", "urn:a"}).EndAfter(10);
  stuck.dnsSd.EndAfter(10);
  stuck.readsAnswer = false;
  release = false;
  stuck.browseWorkgroup = e.browseWorkgroup;
  stuck.Make();
  EXPECT_EQ(stuck.listing->StartupWorkgroup(), "WGW");
  EXPECT_GE(stuck.clock.Now(), Listing::kListingBoundMs);
  EXPECT_EQ(stuck.List("WGW"), std::vector<std::string>{"A"});
  EXPECT_EQ(stuck.reads, 0);  // the provider is not asked again while it hangs
  release = true;
  stuck.Settle();
}

// An owner that gives up (the command line's timeout) gets the rows known
// then, without waiting for the bound of a browse read that hangs.
TEST(Listing, AbandonEndsTheWaitUnderWayAtOnce) {
  Engine e;
  e.wsd.Find(5, {W, "A", "10.0.0.1", "WG", "urn:a"}).EndAfter(10);
  e.dnsSd.EndAfter(10);
  e.readsAnswer = false;
  std::atomic<bool> gate{false};
  e.browseStall = [&gate] {
    for (int i = 0; i < 5000 && !gate; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  e.Make();
  const auto giveUp = e.clock.MakeTimer([&e] { e.listing->Abandon(); });
  giveUp->Start(100);
  EXPECT_EQ(e.List("WG"), std::vector<std::string>{"A"});
  EXPECT_EQ(e.clock.Now(), 100);
  gate = true;
  e.Settle();
  EXPECT_EQ(e.reads, 1);
}

// Closing does not wait for a browse read that hangs: the read is left to
// its own bound and its answer goes nowhere.
TEST(Listing, ClosingLeavesAHungReadBehind) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  auto returned = std::make_shared<std::atomic<bool>>(false);
  Engine e;
  e.wsd.EndAfter(5);
  e.dnsSd.EndAfter(5);
  e.readsAnswer = false;
  e.browseStall = [release, returned] {  // hangs until released, 5 s at most
    for (int i = 0; i < 1000 && !*release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    *returned = true;
  };
  e.Make();
  e.WarmUp();
  QString status;
  EXPECT_EQ(e.List("WG", &status), std::vector<std::string>{});
  EXPECT_EQ(status, QStringLiteral("終了 (ブラウズリストなし、WSD応答なし、DNS-SD応答なし)"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return e.reads == 1; }, 5000));  // its worker is in the provider
  e.listing.reset();
  EXPECT_FALSE(*returned);  // closed while the read still hangs
  *release = true;
  while (!*returned) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A browse list that could not be read is named with its cause, cold and
// warm alike (the warm listing takes the kept failure); with no source able
// to ask at all the listing fails, its text the same status.
TEST(Listing, TheStatusSaysWhyTheBrowseListCouldNotBeRead) {
  struct Case {
    base::Failure browse;
    bool sourcesAsk;
    const char* status;
  };
  const Case cases[] = {
      {{53, "NT_STATUS_BAD_NETWORK_NAME"},
       true,
       "終了 (ブラウズリストなし: NT_STATUS_BAD_NETWORK_NAME、WSD応答なし、DNS-SD応答なし)"},
      {{1222, ""}, true, "終了 (ブラウズリストなし、WSD応答なし、DNS-SD応答なし)"},
      {{1222, "ERROR_NO_NETWORK"},
       false,
       "終了 (ブラウズリストなし: ERROR_NO_NETWORK、WSD送信先なし、mDNSデーモン停止中)"},
  };
  for (const Case& c : cases) {
    Engine e;
    if (c.sourcesAsk) {
      e.wsd.EndAfter(5);
      e.dnsSd.EndAfter(5);
    } else {
      e.wsd.Refuse(Outcome::NoInterface);
      e.dnsSd.Refuse(Outcome::NoDaemon);
    }
    e.FailBrowse(c.browse);
    e.Make();
    for (const char* when : {"cold", "warm"}) {
      QString status;
      EXPECT_EQ(e.List("WG", &status), std::vector<std::string>{}) << when;
      EXPECT_EQ(status, QString::fromUtf8(c.status)) << when;
      EXPECT_EQ(e.failedCode, c.sourcesAsk ? 0 : Listing::kNoSourceAsked) << c.status << " " << when;
      e.Settle();  // the background read of the kept list
    }
  }
}

TEST(Listing, EveryReadBegunRunsThoughTheOneBeforeHasJustEnded) {
  // A read's worker that answers at once ends while the next one starts:
  // each must still run (under the MinGW runtime one now and then never did).
  Engine e;
  e.wsd.EndAfter(5);
  e.dnsSd.EndAfter(5);
  e.readsAnswer = false;
  e.Make();
  e.WarmUp();
  constexpr int kReads = 1000;
  for (int i = 0; i < kReads; ++i) {
    e.List("WG" + std::to_string(i));
    if (!e.ReadBack()) break;
  }
  EXPECT_EQ(e.reads, kReads);
}

// A search that finds one computer as soon as it begins, then ends.
class InstantSearch : public QObject {
 public:
  InstantSearch(discovery::Source::Found found, discovery::Source::Done done)
      : found_(std::move(found)), done_(std::move(done)) {}
  Outcome Open() { return Outcome::Answered; }
  void Begin(int) {
    QTimer::singleShot(0, this, [this] {
      found_({W, "PC", "10.0.0.1", "WG"});
      if (stopped_) return;  // reads its own member: it must still be alive
      const discovery::Source::Done done = std::move(done_);
      done(Outcome::Answered);
    });
  }
  void Stop() { stopped_ = true; }

 private:
  discovery::Source::Found found_;
  discovery::Source::Done done_;
  bool stopped_ = false;
};

class InstantSource final : public discovery::SearchSource<InstantSearch> {
 protected:
  std::unique_ptr<InstantSearch> Make(Found found, Done done) override {
    return std::make_unique<InstantSearch>(std::move(found), std::move(done));
  }
};

// The command line's listing ends when each search has settled or ended;
// the window's waits for the windows and takes what comes late.
TEST(Listing, AOneShotListingEndsWhenEverySourceHasSettled) {
  for (const bool oneShot : {true, false}) {
    SCOPED_TRACE(oneShot ? "one-shot" : "window");
    Engine e;
    e.oneShot = oneShot;
    e.wsd.Find(30, {W, "WIN11", "10.0.0.2", "WG", "urn:1"})
        .Find(1200, {W, "LATE", "10.0.0.3", "WG", "urn:3"})
        .SettleAfter(100)
        .EndAfter(1500);
    e.dnsSd.Find(5, {D, "MAC", "10.0.0.4", "", "mac"}).EndAfter(20);  // ends as soon as it has all
    e.Make();
    const std::vector<std::string> rows = e.List();
    if (oneShot) {
      EXPECT_EQ(rows, (std::vector<std::string>{"PC01", "WIN11", "MAC"}));
      EXPECT_EQ(e.clock.Now(), 100);  // WS-Discovery settled; node status gave up at 80
    } else {
      EXPECT_EQ(rows, (std::vector<std::string>{"PC01", "WIN11", "LATE", "MAC"}));
      EXPECT_EQ(e.clock.Now(), 1500);
    }
  }
}

TEST(Listing, DnsSdFallsBackToItsOwnBrowseWhenTheDaemonIsNotThere) {
  struct Case {
    const char* what;
    std::function<void(fakes::FakeSource&)> daemon;
    std::vector<std::string> rows;
    int ownStarts;
  };
  const std::vector<Case> cases = {
      {"no daemon at the start", [](fakes::FakeSource& d) { d.Refuse(Outcome::NoDaemon); }, {"PC01", "MDNSHOST"}, 1},
      {"daemon found missing", [](fakes::FakeSource& d) { d.EndAfter(5, Outcome::NoDaemon); }, {"PC01", "MDNSHOST"}, 1},
      {"daemon answers",
       [](fakes::FakeSource& d) {
         d.Find(10, {D, "AVAHIPC", "10.0.0.5", "", "a"}).EndAfter(30);
       },
       {"PC01", "AVAHIPC"},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Engine e;
    auto daemon = std::make_unique<fakes::FakeSource>();
    auto own = std::make_unique<fakes::FakeSource>();
    fakes::FakeSource& d = *daemon;
    fakes::FakeSource& o = *own;
    d.clock = o.clock = &e.clock;
    c.daemon(d);
    o.Find(10, {D, "MDNSHOST", "10.0.0.31", "", "MDNSHOST"}).EndAfter(30);
    const std::unique_ptr<discovery::Source> fallback = discovery::MakeDnsSdFallback(std::move(daemon), std::move(own));
    e.dnsSdSource = fallback.get();
    e.wsd.EndAfter(40);
    e.Make();
    EXPECT_EQ(e.List(), c.rows);
    EXPECT_EQ(o.starts, c.ownStarts);
    EXPECT_EQ(d.follows, 1);  // announcements: the daemon's alone
    EXPECT_EQ(o.follows, 0);
    e.listing.reset();  // before the sources it holds
  }
}

TEST(SearchSource, ASearchRestartedFromInsideItsOwnCallbackIsSafe) {
  InstantSource source;
  int found = 0, done = 0;
  std::function<void()> start = [&] {
    source.Start(
        100,
        [&](const Finding&) {
          if (++found < 3) start();
        },
        [&](Outcome) { ++done; });
  };
  start();
  QTest::qWait(50);
  EXPECT_EQ(found, 3);
  EXPECT_EQ(done, 1);  // only the last search ran to its end
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
