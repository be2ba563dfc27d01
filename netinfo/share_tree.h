#pragma once
// The share tree's work without a window: for each listed computer, resolve
// its name, check that it answers, log on and list its shares, several
// computers at once on a bounded set of worker threads. Each row's result is
// handed to the owner's thread, in row order: a result that arrives early
// waits for the rows before it, and while the owner handles one row (a box
// that stands, say) the rows after it go on being worked on.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "failure_cause.h"
#include "netprovider.h"
#include "netresources.h"
#include "result.h"
#include "smb_probe.h"

namespace netinfo {

// How many computers are worked on at once. Most of a silent computer's time
// is waiting, so the bound is set by the rows a LAN has off at once rather
// than by the processor; measured in bench/share-tree-side-by-side.sh.
constexpr size_t kShareTreeWorkers = 16;

// A name's resolution as the owner's resolver gives it: the address and how
// the name led there, or why not, in the failure's text, which the address
// column shows (the resolver's own code beside it).
using NameResolution = base::Result<ResolvedHost>;

// What the engine asks of its owner; all are called on worker threads and
// must be bounded in time and safe to call from several threads at once.
struct ShareTreeSteps {
  // The name (code page 932) to its address; called once per row.
  std::function<NameResolution(const std::string& name)> resolve;
  // What the computer at a dotted address answers on the SMB ports, within
  // the probe's bound (smb_probe.h). A computer that does not speak SMB2 or
  // later ends its row here, with the cause the probe found.
  std::function<SmbProbe(const std::string& address)> probe;
  // Whether SMB1 may be used for a computer that speaks nothing newer: the
  // user's consent for that computer (name in code page 932, and where it
  // answers now), kept or asked. Empty: never.
  std::function<bool(const std::string& name, const ResolvedHost& where)> allowSmb1;
};

// The cause a probe's answer gives a row that cannot go on; kNone for a
// computer that speaks SMB2 or later (or SMB1 alone, which the caller
// decides on).
FailureCause ProbeCause(const SmbProbe& probe);

// What the lookup methods a name goes through were, as the companion asks
// them (the hosts file and DNS always; NetBIOS, multicast DNS and LLMNR by
// the name's form), for a name none of them found.
std::string NameMethodsAsked(const std::string& name);

// A share's name from its entry as the provider gives it: the entry's last
// (entry length - node length - 3) bytes, for "\\" + node + "\" + share
// exactly the share; empty when nothing is left. The window's tree and the
// command line both name shares by it.
std::string ShareName(const std::string& entry, const std::string& node);

// A cause carried as a base::Failure, as a row's shares carry it: the cause
// is the code, the detail the text. CauseOf gives the cause back.
base::Failure Unlisted(FailureCause cause);
FailureCause CauseOf(const base::Failure& failure);

struct ShareTreeRow {
  size_t row = 0;
  std::string name;                          // as given (code page 932)
  NameResolution address = base::Failure{};  // the row's resolution; not asked yet
  // In the provider's order, or why they could not be listed (CauseOf).
  base::Result<NamedResourceList> shares = base::Failure{};
  SmbProbe probe;     // what the computer answered on the SMB ports (resolved rows)
  bool smb1 = false;  // listed over SMB1, with the user's consent
};

class ShareTree {
 public:
  // Queues fn to run on the owner's thread; called from worker threads.
  using Post = std::function<void(std::function<void()>)>;
  struct Callbacks {
    std::function<void(const ShareTreeRow&)> row;  // owner's thread, row order
    std::function<void()> done;                    // owner's thread, after the last row
  };

  ShareTree(NetProvider& provider, ShareTreeSteps steps, Post post, size_t workers = kShareTreeWorkers);
  // Stops the build under way.
  ~ShareTree();
  ShareTree(const ShareTree&) = delete;
  ShareTree& operator=(const ShareTree&) = delete;

  // Starts a build over the names (code page 932, one per row); false, and
  // nothing started, while one runs.
  bool Start(std::vector<std::string> names, Callbacks callbacks);
  // A build was started and its done has not been handed over yet.
  bool Running() const;
  // Rows not started are dropped; the provider's opens under way are
  // cancelled (NetProvider::CancelAll) and the rows waited for (each step is
  // bounded); no callback runs after this returns.
  void Stop();

 private:
  struct Build;
  static void Work(const std::shared_ptr<Build>& build);
  // One row's steps: resolve, probe, log on and list.
  static void List(const Build& build, const std::string& name, ShareTreeRow* result);
  static void Deliver(const std::shared_ptr<Build>& build);

  NetProvider& provider_;
  ShareTreeSteps steps_;
  Post post_;
  size_t workers_;
  std::shared_ptr<Build> build_;
};

}  // namespace netinfo
