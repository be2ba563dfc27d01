// The listing engine on fake sources: a cold table waited for, a warm one
// answered at once, announcements and withdrawals, the table's bound and
// expiry, and an interface set that will not settle (injected clock).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

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
  fakes::FakeSource wsd, dnsSd;
  fakes::FakeNodeStatus nodeStatus;
  std::vector<std::string> browse = {"\\\\PC01"};
  int reads = 0;
  std::function<std::optional<std::string>()> browseWorkgroup;
  qint64 now = 0;
  std::string interfaces = "eth0";
  std::unique_ptr<Listing> listing;

  Listing& Make() {
    discovery::ListingDeps d;
    d.wsDiscovery = &wsd;
    d.dnsSd = &dnsSd;
    d.nodeStatus = &nodeStatus;
    d.browseList = [this](const std::string&) {
      ++reads;  // on the worker; read back only after the listing
      return std::optional<std::vector<std::string>>(browse);
    };
    d.browseWorkgroup = browseWorkgroup;
    d.wait = [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); };
    d.now = [this] { return now; };
    d.interfaces = [this] { return interfaces; };
    listing = std::make_unique<Listing>(std::move(d));
    return *listing;
  }
  std::vector<std::string> List(const std::string& wg = "WG", QString* status = nullptr) {
    rows.clear();
    const Listing::Result r = listing->List(wg, [this](const std::string& row) { rows.push_back(row); });
    if (status) *status = r.status;
    return rows;
  }
  void WarmUp() {
    listing->Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return listing->Warm(); }, 2000));
  }
  std::vector<std::string> rows;
};

TEST(Listing, ColdWaitsForTheWindowWarmAnswersAtOnceAndAddsNothingAfter) {
  Engine e;
  e.wsd.Find(30, {W, "WIN11", "10.0.0.2", "WG", "urn:1"}).EndAfter(60);
  e.dnsSd.EndAfter(10);
  e.browse.push_back("\\\\EVIL\r\n[WGPCLIST]");  // a line break would split the list file
  e.Make();
  EXPECT_EQ(e.List(), (std::vector<std::string>{"PC01", "WIN11"}));  // cold: the first window is waited for
  EXPECT_EQ(e.wsd.starts, 1);

  // Warm: the rows at once, and a new search for the next time; its answers
  // (a computer at 30 ms) are not appended to this listing.
  e.wsd.Find(30, {W, "LATE", "10.0.0.3", "WG", "urn:3"});
  QString status;
  EXPECT_EQ(e.List("WG", &status), (std::vector<std::string>{"PC01", "WIN11"}));
  EXPECT_EQ(status, QStringLiteral("終了"));
  EXPECT_EQ(e.wsd.starts, 2);
  EXPECT_EQ(e.reads, 2);  // a fresh browse list every time
  QTest::qWait(80);
  EXPECT_EQ(e.rows.size(), 2u);  // nothing after the listing returned
  EXPECT_EQ(e.List().back(), "LATE");
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
  ASSERT_TRUE(QTest::qWaitFor([&] { return e.nodeStatus.asked.size() == 3; }, 1000));
  QTest::qWait(60);  // the answer for .9 (1 ms) and the given-up .7 (50 ms)
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
  e.browse.clear();
  e.Make();
  e.WarmUp();
  // A flood of announcements from 10,000 endpoints: the table keeps its bound
  // and the latest ones.
  for (int i = 0; i < 10000; ++i) {
    e.now = i;
    e.wsd.Announce({W, "F" + std::to_string(i), "10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256), "WG",
                    "urn:f" + std::to_string(i)});
  }
  EXPECT_EQ(e.listing->Known(), Listing::kMaxComputers);
  EXPECT_EQ(e.List().size(), Listing::kMaxComputers);
  EXPECT_EQ(e.rows.back(), "F9999");

  // Not seen for longer than the age limit: gone at the next check.
  e.now += Listing::kMaxAgeMs + 1;
  e.listing->Tick();
  EXPECT_EQ(e.listing->Known(), 0u);

  // Missed by two searches in a row: gone.
  e.wsd.Announce({W, "QUIET", "10.0.0.4", "WG", "urn:q"});
  for (int search = 0; search < 2; ++search) {
    EXPECT_EQ(e.listing->Known(), 1u);
    e.now += 1;
    e.List();          // each warm listing starts a search...
    QTest::qWait(30);  // ...that ends without QUIET
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
    e.now = second * 1000;
    e.interfaces = second % 2 ? "eth0 wlan0" : "eth0";
    e.listing->Tick();
  }
  // A probe at 5, 10, 15 and 20 s, each with the listener reopened.
  EXPECT_EQ(e.wsd.starts - before, 4);
  EXPECT_EQ(e.wsd.follows, 1 + 4);
  QString status;
  e.browse.clear();
  e.List("WG", &status);
  EXPECT_EQ(status, QStringLiteral("終了 (ブラウズリスト0台、WSD応答なし、mDNSデーモン停止中)"));
}

// The start-up workgroup's browse read runs on the worker: the loop goes on
// while it does, and one that overruns its bound gives way to the sources
// and is not joined by a listing's read.
TEST(Listing, StartupWorkgroupIsReadOffTheLoopWithinItsBound) {
  Engine e;
  e.wsd.Find(5, {W, "A", "10.0.0.1", "WGW", "urn:a"}).EndAfter(10);
  e.dnsSd.EndAfter(10);
  // Blocks until released, or for 5 s at most (so a read on the loop's
  // own thread fails the test rather than hanging it).
  std::atomic<bool> release{false};
  e.browseWorkgroup = [&release]() -> std::optional<std::string> {
    for (int i = 0; i < 1000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return "SLOW";
  };
  e.Make();
  bool fired = false;
  QTimer::singleShot(50, [&] { fired = true; });
  QTimer::singleShot(300, [&] { release = true; });
  EXPECT_EQ(e.listing->StartupWorkgroup(), "SLOW");
  EXPECT_TRUE(fired);

  Engine stuck;
  stuck.wsd.Find(5, {W, "A", "10.0.0.1", "WGW", "urn:a"}).EndAfter(10);
  stuck.dnsSd.EndAfter(10);
  release = false;
  stuck.browseWorkgroup = e.browseWorkgroup;
  stuck.Make();
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(stuck.listing->StartupWorkgroup(), "WGW");
  EXPECT_GE(clock.elapsed(), Listing::kListingBoundMs - 50);
  EXPECT_EQ(stuck.List("WGW"), std::vector<std::string>{"A"});
  EXPECT_EQ(stuck.reads, 0);  // the provider is not asked again while it hangs
  release = true;
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
