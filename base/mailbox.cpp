#include "mailbox.h"

#include <QCoreApplication>
#include <QEvent>

namespace base {

namespace {
const QEvent::Type kWake = static_cast<QEvent::Type>(QEvent::registerEventType());
}

// One wake-up per call, each taking the call at the front: the calls run in
// order, one per turn of the loop, as queued invocations do (a call that
// runs a nested loop lets the next ones run inside it).
void Mailbox::Post(std::function<void()> call) {
  const std::lock_guard<std::mutex> hold(lock_);
  calls_.push_back(std::move(call));
  QCoreApplication::postEvent(this, new QEvent(kWake));
}

// Only wake-ups are posted here. The event itself is not looked at: it was
// allocated by the posting thread under lock_, and is ordered for
// ThreadSanitizer only once lock_ is taken here (Qt frees it after this).
void Mailbox::customEvent(QEvent*) {
  std::function<void()> call;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    if (calls_.empty()) return;
    call = std::move(calls_.front());
    calls_.pop_front();
  }
  call();
}

}  // namespace base
