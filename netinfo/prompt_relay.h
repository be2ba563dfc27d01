#pragma once
// The login dialog asked from worker threads: the question goes to the
// owner's thread (where the dialog lives) and the worker waits for the
// answer; the owner's thread never waits for a worker.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "smb_auth.h"

namespace netinfo {

class PromptRelay final : public LoginPrompt {
 public:
  // Queues fn to run on the owner's thread.
  using Post = std::function<void(std::function<void()>)>;

  explicit PromptRelay(LoginPrompt& inner) : inner_(inner) {}

  // From now on questions asked on other threads go through post to the
  // calling thread, which owns the dialog. Before, and on that thread, the
  // inner prompt is asked directly.
  void Open(Post post);
  // Every question waiting, and every one asked later from another thread,
  // is answered with nothing (the user cancelled): the owner is going away.
  void Close();

  std::optional<LoginAnswer> Ask(const LoginRequest& request) override;

 private:
  struct Question;

  LoginPrompt& inner_;
  std::mutex mutex_;  // guards the members below
  std::condition_variable answered_;
  Post post_;
  std::thread::id owner_;
  bool closed_ = false;
};

}  // namespace netinfo
