#pragma once
// The login dialog and the keyring asked from worker threads: the question
// goes to the owner's thread (where the dialog and the keyring's jobs live)
// and the worker waits for the answer; the owner's thread never waits for a
// worker.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "credentials.h"
#include "smb_auth.h"

namespace netinfo {

class PromptRelay final : public LoginPrompt {
 public:
  // Queues fn to run on the owner's thread.
  using Post = std::function<void(std::function<void()>)>;

  explicit PromptRelay(LoginPrompt& inner) : inner_(inner) {}

  // From now on questions asked on other threads go through post to the
  // calling thread, which owns the dialog. Before, and on that thread, they
  // are asked directly.
  void Open(Post post);
  // Every question waiting, and every one asked later from another thread,
  // is answered as closed says (for the dialog: the user cancelled): the
  // owner is going away.
  void Close();

  std::optional<LoginAnswer> Ask(const LoginRequest& request) override;

  // Runs fn on the owner's thread as Ask does; closed when the relay is.
  template <typename T>
  T OnOwner(std::function<T()> fn, T closed) {
    auto result = std::make_shared<T>(closed);
    return RunOnOwner([fn, result] { *result = fn(); }) ? *result : closed;
  }

 private:
  // Runs fn on the owner's thread and waits; false when the relay closed first.
  bool RunOnOwner(std::function<void()> fn);

  LoginPrompt& inner_;
  std::mutex mutex_;  // guards the members below
  std::condition_variable answered_;
  Post post_;
  std::thread::id owner_;
  bool closed_ = false;
};

// The keyring through the relay: its calls run on the owner's thread.
class StoreRelay final : public CredentialStore {
 public:
  StoreRelay(CredentialStore& inner, PromptRelay& relay) : inner_(inner), relay_(relay) {}
  bool Available() override {
    return relay_.OnOwner<bool>([this] { return inner_.Available(); }, false);
  }
  std::optional<Credentials> Load(const std::string& host) override {
    return relay_.OnOwner<std::optional<Credentials>>([this, host] { return inner_.Load(host); }, std::nullopt);
  }
  bool Save(const std::string& host, const Credentials& credentials) override {
    return relay_.OnOwner<bool>([this, host, &credentials] { return inner_.Save(host, credentials); }, false);
  }

 private:
  CredentialStore& inner_;
  PromptRelay& relay_;
};

}  // namespace netinfo
