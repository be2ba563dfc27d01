#include "prompt_relay.h"

#include <utility>

namespace netinfo {

struct PromptRelay::Question {
  LoginRequest request;
  bool done = false;
  std::optional<LoginAnswer> answer;
};

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

std::optional<LoginAnswer> PromptRelay::Ask(const LoginRequest& request) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!post_ || std::this_thread::get_id() == owner_) {
    const bool closed = closed_;
    lock.unlock();
    if (closed) return std::nullopt;
    return inner_.Ask(request);
  }
  auto question = std::make_shared<Question>();
  question->request = request;
  post_([this, question] {
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      if (closed_) return;
    }
    std::optional<LoginAnswer> answer = inner_.Ask(question->request);
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      question->answer = std::move(answer);
      question->done = true;
    }
    answered_.notify_all();
  });
  answered_.wait(lock, [&] { return question->done || closed_; });
  if (!question->done) return std::nullopt;
  return std::move(question->answer);
}

}  // namespace netinfo
