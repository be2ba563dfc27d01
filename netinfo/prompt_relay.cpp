#include "prompt_relay.h"

#include <utility>

namespace netinfo {

void PromptRelay::Open(Post post) {
  const std::lock_guard<std::mutex> lock(mutex_);
  post_ = std::move(post);
  owner_ = std::this_thread::get_id();
  closed_ = false;
}

void PromptRelay::Close() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    post_ = nullptr;
  }
  answered_.notify_all();
}

bool PromptRelay::RunOnOwner(std::function<void()> fn) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!post_ || std::this_thread::get_id() == owner_) {
    const bool closed = closed_;
    lock.unlock();
    if (closed) return false;
    fn();
    return true;
  }
  auto done = std::make_shared<bool>(false);
  post_([this, fn, done] {
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      if (closed_) return;
    }
    fn();
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      *done = true;
    }
    answered_.notify_all();
  });
  answered_.wait(lock, [&] { return *done || closed_; });
  return *done;
}

std::optional<LoginAnswer> PromptRelay::Ask(const LoginRequest& request) {
  return OnOwner<std::optional<LoginAnswer>>([this, request] { return inner_.Ask(request); }, std::nullopt);
}

}  // namespace netinfo
