#include "avahi_qt_poll.h"

#include <QSocketNotifier>
#include <QTimer>
#include <sys/time.h>

#include <algorithm>
#include <limits>

// Avahi may free a watch or a timeout from inside its own callback; it is
// then deleted once the callback has returned, else at once (nothing is left
// for the event loop to delete, so nothing outlives the client).
struct AvahiWatch {
  bool dispatching = false;
  bool freed = false;
  int fd = -1;
  AvahiWatchEvent wanted = static_cast<AvahiWatchEvent>(0);
  AvahiWatchEvent happened = static_cast<AvahiWatchEvent>(0);  // during a callback
  AvahiWatchCallback callback = nullptr;
  void* userdata = nullptr;
  QSocketNotifier* read = nullptr;
  QSocketNotifier* write = nullptr;
};

struct AvahiTimeout {
  bool dispatching = false;
  bool freed = false;
  QTimer* timer = nullptr;
  AvahiTimeoutCallback callback = nullptr;
  void* userdata = nullptr;
};

namespace discovery {

namespace {

void Delete(AvahiWatch* w) {
  delete w->read;
  delete w->write;
  delete w;
}

void Dispatch(AvahiWatch* w, AvahiWatchEvent event) {
  w->happened = event;
  w->dispatching = true;
  w->callback(w, w->fd, event, w->userdata);
  if (w->freed)
    Delete(w);
  else
    w->dispatching = false;
}

void Arm(AvahiWatch* w) {
  w->read->setEnabled(w->wanted & AVAHI_WATCH_IN);
  w->write->setEnabled(w->wanted & AVAHI_WATCH_OUT);
}

AvahiWatch* WatchNew(const AvahiPoll*, int fd, AvahiWatchEvent event, AvahiWatchCallback callback, void* userdata) {
  auto* w = new AvahiWatch;
  w->fd = fd;
  w->wanted = event;
  w->callback = callback;
  w->userdata = userdata;
  w->read = new QSocketNotifier(fd, QSocketNotifier::Read);
  w->write = new QSocketNotifier(fd, QSocketNotifier::Write);
  QObject::connect(w->read, &QSocketNotifier::activated, [w] { Dispatch(w, AVAHI_WATCH_IN); });
  QObject::connect(w->write, &QSocketNotifier::activated, [w] { Dispatch(w, AVAHI_WATCH_OUT); });
  Arm(w);
  return w;
}

void WatchUpdate(AvahiWatch* w, AvahiWatchEvent event) {
  w->wanted = event;
  Arm(w);
}

AvahiWatchEvent WatchGetEvents(AvahiWatch* w) { return w->happened; }

void WatchFree(AvahiWatch* w) {
  w->read->setEnabled(false);
  w->write->setEnabled(false);
  if (w->dispatching)
    w->freed = true;
  else
    Delete(w);
}

// Avahi gives absolute wall-clock times; null means "disabled".
void Schedule(AvahiTimeout* t, const struct timeval* tv) {
  if (!tv) {
    t->timer->stop();
    return;
  }
  struct timeval now;
  gettimeofday(&now, nullptr);
  const long long ms = (static_cast<long long>(tv->tv_sec) - now.tv_sec) * 1000 + (tv->tv_usec - now.tv_usec) / 1000;
  t->timer->start(static_cast<int>(std::clamp<long long>(ms, 0, std::numeric_limits<int>::max())));
}

AvahiTimeout* TimeoutNew(const AvahiPoll*, const struct timeval* tv, AvahiTimeoutCallback callback, void* userdata) {
  auto* t = new AvahiTimeout;
  t->callback = callback;
  t->userdata = userdata;
  t->timer = new QTimer;
  t->timer->setSingleShot(true);
  QObject::connect(t->timer, &QTimer::timeout, [t] {
    t->dispatching = true;
    t->callback(t, t->userdata);
    if (t->freed) {
      delete t->timer;
      delete t;
    } else {
      t->dispatching = false;
    }
  });
  Schedule(t, tv);
  return t;
}

void TimeoutUpdate(AvahiTimeout* t, const struct timeval* tv) { Schedule(t, tv); }

void TimeoutFree(AvahiTimeout* t) {
  t->timer->stop();
  if (t->dispatching) {
    t->freed = true;
  } else {
    delete t->timer;
    delete t;
  }
}

}  // namespace

AvahiQtPoll::AvahiQtPoll() {
  poll_.userdata = this;
  poll_.watch_new = WatchNew;
  poll_.watch_update = WatchUpdate;
  poll_.watch_get_events = WatchGetEvents;
  poll_.watch_free = WatchFree;
  poll_.timeout_new = TimeoutNew;
  poll_.timeout_update = TimeoutUpdate;
  poll_.timeout_free = TimeoutFree;
}

}  // namespace discovery
