#pragma once
// Bounded calls run on threads of their own, their results handed back to
// the thread this object lives on (the window's). Qt Core only.
//
// Each call's work runs on a new thread and returns a closure; the closure
// runs on the owner's thread through Qt's queue, after the thread is joined.
// What the work throws runs onFailure there, then is rethrown into the
// owner's guard. JoinAll waits for every thread (each call is bounded) and
// drops the closures not yet run, so none runs after it returns.
#include <QObject>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>

namespace base {
class Mailbox;
}

class OffThreadCalls final : public QObject {
 public:
  using Closure = std::function<void()>;
  using Work = std::function<Closure()>;
  // Starts a thread; throws std::system_error when it cannot (the default,
  // std::thread). Tests give one that fails.
  using StartThread = std::function<std::thread(std::function<void()>)>;
  // Runs a closure on the owner's thread: the owner's handler guard.
  using Guard = std::function<void(const Closure&)>;

  explicit OffThreadCalls(StartThread start = {});
  ~OffThreadCalls() override;

  // The guard every closure runs in; without one a closure's exception is
  // dropped.
  void SetGuard(Guard guard) { guard_ = std::move(guard); }

  // Runs work on a thread of its own. When no thread can be started,
  // onFailure runs at once and ThreadNotStarted is thrown (its what() is the
  // user's text, code page 932).
  void Run(Work work, Closure onFailure);
  // Queues fn to run on the owner's thread; callable from any thread. Dropped
  // by a JoinAll that comes first.
  void Post(Closure fn);
  // Joins every thread; closures not yet run are dropped.
  void JoinAll();
  // A call still runs or its closure has not run yet.
  bool Pending() const { return !threads_.empty(); }

 private:
  base::Mailbox* mailbox_;  // Post's queue, seen by ThreadSanitizer (a child)
  StartThread start_;
  Guard guard_;
  std::map<int, std::thread> threads_;  // by number
  int next_ = 0;
  int generation_ = 0;  // JoinAll drops the closures posted before it
};

// The user's text (code page 932) for a thread that could not be started:
// 「処理を開始できません」, the system's reason after it.
class ThreadNotStarted : public std::runtime_error {
 public:
  explicit ThreadNotStarted(const std::string& reason);
};
