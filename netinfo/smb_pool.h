#pragma once
// The SMB helpers of the window's process (Linux): up to kMaxHelpers
// processes of mirelka-smb, started on demand, kept while warm and ended
// after being idle a while and when the pool goes. A request takes one idle
// helper (or starts one, or waits for one) and gives it back when the reply
// came in time; a helper that overruns the deadline is killed and reaped, as
// is one that crashed, closed early or wrote anything but a reply, and the
// request fails with a cause of its own. Safe to use from several threads.
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "netprovider.h"
#include "smb_wire.h"

namespace netinfo {

struct SmbPoolOptions {
  size_t maxHelpers = 8;
  // The 5 s that an unanswering host may cost.
  std::chrono::milliseconds deadline{5000};
  std::chrono::milliseconds idleEnd{60000};
};

// Why a request failed in the pool rather than at the server.
enum class HelperFailure { kNone, kCannotStart, kDied, kDeadline, kMalformed };

struct HelperOutcome {
  smbwire::Reply reply;  // reply.error: an errno (0: listed)
  HelperFailure failure = HelperFailure::kNone;
  int detail = 0;  // kCannotStart: errno; kDied: the signal, or 0 and the exit status in status
  int status = 0;
  // What went wrong in the pool, in a few words of ASCII (the row's detail);
  // empty when the server's own answer is the cause.
  std::string cause;
};

class SmbHelperPool {
 public:
  SmbHelperPool(std::string helperPath, SmbPoolOptions options = {});
  // Ends every idle helper; requests still under way end theirs.
  ~SmbHelperPool();
  SmbHelperPool(const SmbHelperPool&) = delete;
  SmbHelperPool& operator=(const SmbHelperPool&) = delete;

  // One request through one helper, within the deadline (waiting for a free
  // helper is not counted).
  HelperOutcome Run(const smbwire::Request& request);

  // Starts up to count helpers that wait idle (as far as the pool has room),
  // so that the library's start-up in each runs while the caller does
  // something else; returns how many it started.
  size_t Prestart(size_t count);

  // Helpers alive now, idle or busy.
  size_t Alive() const;

  // Kills every helper that is serving a request now: those requests fail
  // at once (a window that closes waits for no hung server).
  void CancelAll();

 private:
  struct Helper {
    pid_t pid = -1;
    int fd = -1;
    std::chrono::steady_clock::time_point idleSince;
  };
  // Starts one; false and *error (an errno) when it cannot be.
  bool Start(Helper* helper, int* error) const;
  // Kills (SIGKILL), reaps and closes; *status as waitpid gives it.
  static void End(Helper& helper, int* status = nullptr);
  // Waits for a place in the pool and takes it, with the warmest idle helper
  // that is still alive or none (pid -1: start one); nothing when the pool
  // is closing.
  std::optional<Helper> Take();
  // After a reply in time: the helper goes back to the idle ones (or is
  // ended when the pool is closing) and its place is freed.
  void GiveBack(Helper& helper);
  // After a failed request: the helper is ended and its place freed; its
  // status as waitpid gave it.
  int Discard(Helper& helper);
  // Frees a place taken for a helper that never started.
  void FreePlace();
  void Reaper();

  const std::string path_;
  SmbPoolOptions options_;
  mutable std::mutex mutex_;
  std::condition_variable freed_;   // a helper came back or a place opened
  std::condition_variable reaper_;  // idle helpers changed, or the pool goes
  std::vector<Helper> idle_;        // the most recently used last
  std::vector<pid_t> serving_;      // busy helpers not yet being ended or reaped
  size_t busy_ = 0;
  bool closing_ = false;
  std::thread reaperThread_;
};

// The provider over helpers at helperPath.
std::unique_ptr<NetProvider> MakeHelperNetProvider(std::string helperPath, SmbPoolOptions options = {});

// Where the program's helper is: the private library folder of an installed
// copy (relative to the running program), else beside the program.
std::string DefaultHelperPath();

}  // namespace netinfo
