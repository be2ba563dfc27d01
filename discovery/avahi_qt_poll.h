#pragma once
// Avahi's poll API driven from Qt's event loop: watches are socket notifiers,
// timeouts are single-shot timers. Avahi may free a watch or a timeout from
// inside its own callback, so their Qt objects are deleted from the loop.
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
