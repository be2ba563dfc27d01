#include "offthread.h"

#include <exception>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "cp932_codec.h"
#include "mailbox.h"

OffThreadCalls::OffThreadCalls(StartThread start) : mailbox_(new base::Mailbox(this)), start_(std::move(start)) {
  if (!start_) start_ = [](std::function<void()> fn) { return std::thread(std::move(fn)); };
}

OffThreadCalls::~OffThreadCalls() { JoinAll(); }

void OffThreadCalls::Run(Work work, Closure onFailure) {
  const int id = next_++;
  auto run = [this, id, generation = generation_, work = std::move(work), onFailure] {
    Closure done;
    try {
      done = work();
    } catch (...) {
      done = [error = std::current_exception(), onFailure] {
        if (onFailure) onFailure();
        std::rethrow_exception(error);
      };
    }
    Post([this, id, generation, done = std::move(done)] {
      if (generation != generation_) return;
      if (const auto it = threads_.find(id); it != threads_.end()) {
        it->second.join();
        threads_.erase(it);
      }
      if (guard_)
        guard_(done);
      else
        try {
          done();
        } catch (...) {}
    });
  };
  try {
    threads_.emplace(id, start_(std::move(run)));
  } catch (const std::system_error& e) {
    // Nothing runs: the caller's busy state is released, and the user is told.
    if (onFailure) onFailure();
    throw ThreadNotStarted(e.what());
  }
}

void OffThreadCalls::Post(Closure fn) {
  // Dropped when this object is gone before it runs; through a queue of our
  // own, so ThreadSanitizer sees the work ordered before fn (mailbox.h).
  mailbox_->Post(std::move(fn));
}

void OffThreadCalls::JoinAll() {
  for (auto& [id, thread] : threads_) thread.join();
  threads_.clear();
  ++generation_;
}

ThreadNotStarted::ThreadNotStarted(const std::string& reason)
    : std::runtime_error(cp932::FromUtf8Lossy("処理を開始できません (" + reason + ")")) {}
