#include "smb_pool.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

extern char** environ;

namespace netinfo {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

// How an exchange with a helper went; kMalformed: its bytes are not a reply.
enum class Io { kDone, kClosed, kDeadline, kError, kMalformed };

// Waits for fd to be ready for events before until.
Io Ready(int fd, short events, Clock::time_point until) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, MillisecondsLeft(until));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Io::kError;
    if (n == 0) return Io::kDeadline;
    return Io::kDone;
  }
}

Io SendAll(int fd, const std::string& bytes, Clock::time_point until) {
  size_t put = 0;
  while (put < bytes.size()) {
    if (const Io ready = Ready(fd, POLLOUT, until); ready != Io::kDone) return ready;
    const ssize_t n = send(fd, bytes.data() + put, bytes.size() - put, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return errno == EPIPE || errno == ECONNRESET ? Io::kClosed : Io::kError;
    put += static_cast<size_t>(n);
  }
  return Io::kDone;
}

Io ReceiveAll(int fd, unsigned char* data, size_t size, Clock::time_point until) {
  size_t got = 0;
  while (got < size) {
    if (const Io ready = Ready(fd, POLLIN, until); ready != Io::kDone) return ready;
    const ssize_t n = recv(fd, data + got, size - got, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n == 0) return Io::kClosed;
    if (n < 0) return errno == ECONNRESET ? Io::kClosed : Io::kError;
    got += static_cast<size_t>(n);
  }
  return Io::kDone;
}

std::string ErrnoText(int error) {
  char buffer[128] = {};
  return strerror_r(error, buffer, sizeof buffer);
}

// Sends the request and reads one reply before until. The request's bytes
// (a password, maybe) are wiped once sent.
Io Exchange(int fd, const smbwire::Request& request, Clock::time_point until, smbwire::Reply* reply) {
  std::string frame = smbwire::EncodeRequest(request);
  const Io sent = SendAll(fd, frame, until);
  explicit_bzero(frame.data(), frame.size());
  if (sent != Io::kDone) return sent;
  unsigned char header[smbwire::kHeaderBytes];
  if (const Io io = ReceiveAll(fd, header, sizeof header, until); io != Io::kDone) return io;
  size_t length = 0;
  if (!smbwire::BodyLength(header, smbwire::kMaxReplyBytes, &length)) return Io::kMalformed;
  std::string body(length, '\0');
  auto* bytes = reinterpret_cast<unsigned char*>(body.data());
  if (const Io io = ReceiveAll(fd, bytes, length, until); io != Io::kDone) return io;
  return smbwire::DecodeReply(bytes, length, reply) ? Io::kDone : Io::kMalformed;
}

// A request the pool failed: no reply of the server's, the pool's own cause.
HelperOutcome Failed(HelperFailure failure, int error, std::string cause) {
  HelperOutcome outcome;
  outcome.failure = failure;
  outcome.reply.error = error;
  outcome.cause = std::move(cause);
  return outcome;
}

// Why a request failed whose helper was ended: io says how the exchange
// broke off, status is the helper's as waitpid gave it.
HelperOutcome Broken(Io io, int status, std::chrono::milliseconds deadline) {
  HelperOutcome outcome;
  if (io == Io::kMalformed) {
    outcome = Failed(HelperFailure::kMalformed, EIO, "malformed reply");
  } else if (io == Io::kDeadline) {
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(deadline).count();
    outcome = Failed(HelperFailure::kDeadline, ETIMEDOUT,
                     "no reply within " + std::to_string(seconds > 0 ? seconds : 1) + " s");
  } else if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
    // Closed early or a broken channel: the helper ended, or was ended now
    // (SIGKILL) when it had not yet.
    outcome = Failed(HelperFailure::kDied, EIO, "helper ended by signal " + std::to_string(WTERMSIG(status)));
    outcome.detail = WTERMSIG(status);
  } else if (WIFEXITED(status)) {
    outcome = Failed(HelperFailure::kDied, EIO, "helper exited with " + std::to_string(WEXITSTATUS(status)));
  } else {
    outcome = Failed(HelperFailure::kDied, EIO, "helper channel closed");
  }
  outcome.status = status;
  return outcome;
}

}  // namespace

SmbHelperPool::SmbHelperPool(std::string helperPath, SmbPoolOptions options)
    : path_(std::move(helperPath)), options_(options) {
  if (options_.maxHelpers == 0) options_ = SmbPoolOptions{1, options.deadline, options.idleEnd};
  reaperThread_ = std::thread([this] { Reaper(); });
}

SmbHelperPool::~SmbHelperPool() {
  std::vector<Helper> ending;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    ending.swap(idle_);
  }
  reaper_.notify_all();
  freed_.notify_all();
  reaperThread_.join();
  for (Helper& helper : ending) End(helper);
}

void SmbHelperPool::CancelAll() {
  // Only pids still listed are signalled: a request takes its helper off the
  // list before it reaps it, so a pid is never signalled after its reuse.
  const std::lock_guard<std::mutex> lock(mutex_);
  for (const pid_t pid : serving_) kill(pid, SIGKILL);
}

size_t SmbHelperPool::Prestart(size_t count) {
  size_t started = 0;
  for (; started < count; ++started) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (closing_ || busy_ + idle_.size() >= options_.maxHelpers) break;
      ++busy_;  // its place, while it starts
    }
    Helper helper;
    int error = 0;
    const bool ok = Start(&helper, &error);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      --busy_;
      if (ok && !closing_) {
        helper.idleSince = Clock::now();
        idle_.push_back(helper);
        helper = Helper{};
      }
    }
    if (helper.pid > 0) End(helper);
    freed_.notify_one();
    reaper_.notify_one();
    if (!ok) break;
  }
  return started;
}

size_t SmbHelperPool::Alive() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return busy_ + idle_.size();
}

bool SmbHelperPool::Start(Helper* helper, int* error) const {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    *error = errno;
    return false;
  }
  // The helper's end becomes its stdin and stdout (dup2 drops CLOEXEC); every
  // other descriptor of this process is CLOEXEC or closed by the helper.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
  posix_spawn_file_actions_adddup2(&actions, pair[1], 1);
  // Signals as a fresh program has them: none blocked, none ignored.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char* const argv[] = {const_cast<char*>(path_.c_str()), nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, path_.c_str(), &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pair[1]);
  if (spawned != 0) {
    close(pair[0]);
    *error = spawned;
    return false;
  }
  helper->pid = pid;
  helper->fd = pair[0];
  return true;
}

void SmbHelperPool::End(Helper& helper, int* status) {
  if (helper.pid > 0) {
    kill(helper.pid, SIGKILL);
    int got = 0;
    while (waitpid(helper.pid, &got, 0) < 0 && errno == EINTR) {}
    if (status) *status = got;
  }
  if (helper.fd >= 0) close(helper.fd);
  helper = Helper{};
}

void SmbHelperPool::Reaper() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!closing_) {
    if (idle_.empty()) {
      reaper_.wait(lock);
      continue;
    }
    // The front is the helper idle longest.
    const Clock::time_point due = idle_.front().idleSince + options_.idleEnd;
    if (Clock::now() < due) {
      reaper_.wait_until(lock, due);
      continue;
    }
    std::vector<Helper> ending;
    while (!idle_.empty() && idle_.front().idleSince + options_.idleEnd <= Clock::now()) {
      ending.push_back(idle_.front());
      idle_.erase(idle_.begin());
    }
    lock.unlock();
    for (Helper& helper : ending) End(helper);
    lock.lock();
    freed_.notify_all();
  }
}

std::optional<SmbHelperPool::Helper> SmbHelperPool::Take() {
  Helper helper;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    freed_.wait(lock, [this] { return closing_ || !idle_.empty() || busy_ < options_.maxHelpers; });
    if (closing_) return std::nullopt;
    ++busy_;
    if (!idle_.empty()) {
      helper = idle_.back();  // the warmest
      idle_.pop_back();
    }
  }
  // An idle helper may have been ended from outside meanwhile.
  if (helper.pid > 0) {
    int status = 0;
    if (waitpid(helper.pid, &status, WNOHANG) != 0) {
      helper.pid = -1;
      End(helper);
    }
  }
  return helper;
}

void SmbHelperPool::GiveBack(Helper& helper) {
  bool kept = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    --busy_;
    serving_.erase(std::find(serving_.begin(), serving_.end(), helper.pid));
    if (!closing_) {
      helper.idleSince = Clock::now();
      idle_.push_back(helper);
      kept = true;
    }
  }
  if (!kept) End(helper);
  freed_.notify_one();
  reaper_.notify_one();
}

int SmbHelperPool::Discard(Helper& helper) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    serving_.erase(std::find(serving_.begin(), serving_.end(), helper.pid));
  }
  int status = 0;
  End(helper, &status);
  FreePlace();
  return status;
}

void SmbHelperPool::FreePlace() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    --busy_;
  }
  freed_.notify_one();
  reaper_.notify_one();
}

HelperOutcome SmbHelperPool::Run(const smbwire::Request& request) {
  std::optional<Helper> helper = Take();
  if (!helper) return Failed(HelperFailure::kCannotStart, ECANCELED, {});
  if (helper->pid <= 0) {
    int error = 0;
    if (!Start(&*helper, &error)) {
      FreePlace();
      HelperOutcome outcome =
          Failed(HelperFailure::kCannotStart, EIO, "cannot start " + path_ + ": " + ErrnoText(error));
      outcome.detail = error;
      return outcome;
    }
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    serving_.push_back(helper->pid);
  }
  HelperOutcome outcome;
  const Io io = Exchange(helper->fd, request, Clock::now() + options_.deadline, &outcome.reply);
  if (io == Io::kDone) {
    GiveBack(*helper);
    return outcome;
  }
  // Whatever went wrong, this helper is not asked again.
  return Broken(io, Discard(*helper), options_.deadline);
}

}  // namespace netinfo
