#include "clock.h"

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <climits>

namespace base {

namespace {

class QtTimer final : public Clock::Timer {
 public:
  QtTimer(std::function<void()> fire, bool repeat) : fire_(std::move(fire)), timer_(new QTimer) {
    timer_->setSingleShot(!repeat);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, [this] {
      // The timer may go from inside fire: nothing of it is touched after.
      const std::shared_ptr<bool> alive = alive_;
      const std::function<void()> call = fire_;
      firing_ = true;
      call();
      if (*alive) firing_ = false;
    });
  }
  ~QtTimer() override {
    *alive_ = false;
    timer_->stop();
    if (firing_)
      timer_->deleteLater();  // its timeout is still being delivered
    else
      delete timer_;
  }
  void Start(qint64 ms) override { timer_->start(static_cast<int>(std::clamp<qint64>(ms, 0, INT_MAX))); }
  void Stop() override { timer_->stop(); }
  bool Active() const override { return timer_->isActive(); }
  qint64 Remaining() const override { return timer_->remainingTime(); }

 private:
  std::function<void()> fire_;
  QTimer* timer_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool firing_ = false;
};

class SteadyClock final : public Clock {
 public:
  qint64 Now() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  std::unique_ptr<Timer> MakeTimer(std::function<void()> fire, bool repeat) override {
    return std::make_unique<QtTimer>(std::move(fire), repeat);
  }
};

}  // namespace

Clock& RealClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace base
