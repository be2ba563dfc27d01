#pragma once
// Avahi's poll API driven from Qt's event loop: watches are socket notifiers,
// timeouts are single-shot timers.
#include <avahi-common/watch.h>

namespace discovery {

class AvahiQtPoll {
 public:
  AvahiQtPoll();
  AvahiQtPoll(const AvahiQtPoll&) = delete;
  AvahiQtPoll& operator=(const AvahiQtPoll&) = delete;

  // Valid as long as this object; every client made with it must be freed first.
  const AvahiPoll* get() const { return &poll_; }

 private:
  AvahiPoll poll_;
};

}  // namespace discovery
