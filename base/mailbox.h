#pragma once
// Calls handed from worker threads to the thread of Qt's event loop, in the
// order they were posted, through a queue of our own under a lock: what the
// worker did before posting is then ordered before the call for
// ThreadSanitizer too. Qt's own event queue is locked inside Qt, which is not
// built with it, so a functor posted through Qt's queue (invokeMethod) would
// look like a race on everything it carries. Qt carries only a bare wake-up.
#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

namespace base {

class Mailbox final : public QObject {
 public:
  explicit Mailbox(QObject* parent = nullptr) : QObject(parent) {}

  // From any thread while this object lives: call runs on this object's
  // thread. Calls still queued when it goes are dropped.
  void Post(std::function<void()> call);

 protected:
  void customEvent(QEvent* event) override;

 private:
  std::mutex lock_;
  std::deque<std::function<void()>> calls_;
};

}  // namespace base
