#include "fake_clock.h"

#include <memory>

namespace fakes {

class FakeClock::FakeTimer final : public base::Clock::Timer {
 public:
  FakeTimer(FakeClock& clock, std::function<void()> call, bool repeats)
      : clock_(&clock), fire(std::move(call)), repeat(repeats) {
    clock_->timers_.insert(this);
  }
  ~FakeTimer() override {
    if (clock_) clock_->timers_.erase(this);
  }
  void Start(qint64 ms) override {
    interval = ms < 0 ? 0 : ms;
    due = clock_->now_ + interval;
    order = ++clock_->started_;
    active = true;
  }
  void Stop() override { active = false; }
  bool Active() const override { return active; }
  qint64 Remaining() const override { return active ? due - clock_->now_ : -1; }

  FakeClock* clock_;
  std::function<void()> fire;
  bool repeat;
  bool active = false;
  qint64 interval = 0;
  qint64 due = 0;
  uint64_t order = 0;
};

FakeClock::~FakeClock() {
  for (FakeTimer* t : timers_) t->clock_ = nullptr;
}

std::unique_ptr<base::Clock::Timer> FakeClock::MakeTimer(std::function<void()> fire, bool repeat) {
  return std::make_unique<FakeTimer>(*this, std::move(fire), repeat);
}

FakeClock::FakeTimer* FakeClock::Due(qint64 until) const {
  FakeTimer* first = nullptr;
  for (FakeTimer* t : timers_)
    if (t->active && t->due <= until &&
        (!first || t->due < first->due || (t->due == first->due && t->order < first->order)))
      first = t;
  return first;
}

void FakeClock::Fire(FakeTimer* t) {
  if (t->due > now_) now_ = t->due;
  if (t->repeat && t->interval > 0)
    t->Start(t->interval);
  else
    t->active = false;
  const std::function<void()> fire = t->fire;  // the timer may go inside it
  fire();
}

void FakeClock::Advance(qint64 ms) {
  const qint64 until = now_ + ms;
  while (FakeTimer* t = Due(until)) Fire(t);
  now_ = until;
}

bool FakeClock::Next() {
  FakeTimer* t = Due(INT64_MAX);
  if (!t) return false;
  Fire(t);
  return true;
}

}  // namespace fakes
