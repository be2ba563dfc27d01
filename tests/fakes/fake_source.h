#pragma once
// A discovery source for tests: reports scripted findings from the event
// loop after their delays, then ends its window, as a real source does.
//
//   FakeSource wsd;
//   wsd.Find(20, {Origin::WsDiscovery, "PC01", "10.0.0.1", "WG"}).EndAfter(100);
//   wsd.Refuse(Outcome::NoInterface);   // Start says it cannot ask
//   wsd.Announce({Origin::WsDiscovery, "PC02", "10.0.0.2", "WG", "urn:2"});  // a Hello, now
//   wsd.Leave("urn:2");                                                     // its Bye
//   wsd.clock = &fakeClock;  // delays run on a test's clock (default: the real one)
#include <memory>
#include <optional>
#include <vector>

#include "clock.h"
#include "source.h"

namespace fakes {

class FakeSource final : public discovery::Source {
 public:
  FakeSource& Find(int afterMs, discovery::Finding finding);
  // The window closes after ms; -1: never (only Cancel ends the search).
  // With an outcome, the search ends with it (the daemon went: NoDaemon).
  FakeSource& EndAfter(int ms, std::optional<discovery::Outcome> outcome = std::nullopt);
  FakeSource& Refuse(discovery::Outcome outcome);
  // A search settles after ms when its owner asked to hear it; -1: never.
  FakeSource& SettleAfter(int ms);

  discovery::Outcome Start(int windowMs, Found found, Done done) override;
  void Cancel() override;
  bool Follow(Found found, Gone gone) override;
  void WhenSettled(Settled settled) override { settled_ = std::move(settled); }

  // What a followed source hears, delivered at once; false when nobody follows.
  bool Announce(const discovery::Finding& finding);
  bool Leave(const std::string& key);

  int starts = 0;
  int follows = 0;
  int cancels = 0;
  int lastWindowMs = 0;
  base::Clock* clock = &base::RealClock();

 private:
  using Timers = std::vector<std::unique_ptr<base::Clock::Timer>>;
  std::vector<std::pair<int, discovery::Finding>> script_;
  int endAfterMs_ = 0;
  std::optional<discovery::Outcome> endsWith_;
  int settleAfterMs_ = -1;
  Settled settled_;
  std::optional<discovery::Outcome> refuse_;
  std::unique_ptr<Timers> run_;  // the pending timers of a search
  Found followFound_;
  Gone followGone_;
};

// Node status for tests: the addresses asked, and scripted answers that come
// from the event loop after their delays; unscripted questions are given up
// after giveUpMs.
//
//   FakeNodeStatus nodeStatus;
//   nodeStatus.Answer("10.0.0.9", 5, "WG");
class FakeNodeStatus final : public discovery::WorkgroupQuery {
 public:
  FakeNodeStatus& Answer(std::string address, int afterMs, std::string workgroup);

  void Begin(int windowMs, discovery::WorkgroupQuery::Answer answer) override;
  bool Ask(const std::string& address) override;
  bool Waiting() const override { return open_ > 0; }
  void Cancel() override;

  std::vector<std::string> asked;
  int giveUpMs = 50;
  base::Clock* clock = &base::RealClock();

 private:
  struct Scripted {
    std::string address;
    int afterMs;
    std::string workgroup;
  };
  std::vector<Scripted> script_;
  discovery::WorkgroupQuery::Answer answer_;
  int open_ = 0;
  std::unique_ptr<std::vector<std::unique_ptr<base::Clock::Timer>>> run_;
};

}  // namespace fakes
