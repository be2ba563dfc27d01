#pragma once
// A clock for tests: time stands still until the test moves it, and timers
// fire as it passes them, in the order they fall due.
//
//   FakeClock clock;
//   auto t = clock.MakeTimer([&] { ++fired; });
//   t->Start(100);
//   clock.Advance(99);   // nothing yet
//   clock.Advance(1);    // fires
#include <cstdint>
#include <set>

#include "clock.h"

namespace fakes {

class FakeClock final : public base::Clock {
 public:
  ~FakeClock() override;
  qint64 Now() const override { return now_; }
  std::unique_ptr<Timer> MakeTimer(std::function<void()> fire, bool repeat = false) override;

  // Moves time on by ms, firing every timer that falls due on the way.
  void Advance(qint64 ms);
  // Moves time to the next timer due and fires it; false when none is running.
  bool Next();
  // Sets the time (never backwards past a running timer's due time).
  void Set(qint64 now) { now_ = now; }

 private:
  class FakeTimer;
  FakeTimer* Due(qint64 until) const;
  void Fire(FakeTimer* t);

  qint64 now_ = 0;
  uint64_t started_ = 0;
  std::set<FakeTimer*> timers_;
};

}  // namespace fakes
