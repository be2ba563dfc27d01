#pragma once
// Time for the listing engine, its sources and the window's watch: a
// monotonic now in milliseconds, and timers that fire from it on the event
// loop's thread. The real clock is the steady clock with Qt's timers; tests
// advance a fake one (tests/fakes/fake_clock.h) instead of waiting.
#include <QtGlobal>
#include <functional>
#include <memory>

namespace base {

class Clock {
 public:
  class Timer {
   public:
    virtual ~Timer() = default;
    // (Re)starts it: fires ms from now, and every ms after that when it repeats.
    virtual void Start(qint64 ms) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
    // Milliseconds to the next firing; -1 when stopped.
    virtual qint64 Remaining() const = 0;
  };
  virtual ~Clock() = default;

  virtual qint64 Now() const = 0;
  // A stopped timer that calls fire on the event loop's thread. It may be
  // stopped, restarted or destroyed from inside fire.
  virtual std::unique_ptr<Timer> MakeTimer(std::function<void()> fire, bool repeat = false) = 0;
};

// The steady clock and Qt's timers; one for the process.
Clock& RealClock();

// A repeating timer on a clock with the calls of QTimer that the window's
// connection watch uses.
class IntervalTimer {
 public:
  IntervalTimer(Clock& clock, std::function<void()> fire) : timer_(clock.MakeTimer(std::move(fire), true)) {}
  // A running timer starts again with the new interval, as QTimer's does.
  void setInterval(int ms) {
    interval_ = ms;
    if (timer_->Active()) timer_->Start(ms);
  }
  int interval() const { return interval_; }
  void start() { timer_->Start(interval_); }
  void stop() { timer_->Stop(); }
  bool isActive() const { return timer_->Active(); }
  int remainingTime() const { return static_cast<int>(timer_->Remaining()); }

 private:
  std::unique_ptr<Clock::Timer> timer_;
  int interval_ = 0;
};

}  // namespace base
