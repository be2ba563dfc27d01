#include "share_tree.h"

#include "ascii.h"
#include "diagnosis.h"
#include "cp932_codec.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace netinfo {

struct ShareTree::Build {
  NetProvider* provider = nullptr;
  ShareTreeSteps steps;
  Post post;
  Callbacks callbacks;
  std::vector<std::string> names;

  std::atomic<bool> stopped{false};
  std::mutex mutex;  // guards next, results
  size_t next = 0;   // the next row a worker takes
  std::vector<std::optional<ShareTreeRow>> results;

  // The owner's thread only.
  std::vector<std::thread> threads;
  size_t delivered = 0;
  bool delivering = false;
  bool finished = false;
};

ShareTree::ShareTree(NetProvider& provider, ShareTreeSteps steps, Post post, size_t workers)
    : provider_(provider), steps_(std::move(steps)), post_(std::move(post)), workers_(std::max<size_t>(workers, 1)) {}

ShareTree::~ShareTree() { Stop(); }

bool ShareTree::Running() const { return build_ && !build_->finished; }

bool ShareTree::Start(std::vector<std::string> names, Callbacks callbacks) {
  if (Running()) return false;
  Stop();  // joins the threads of the build before, all done by now
  auto build = std::make_shared<Build>();
  build->provider = &provider_;
  build->steps = steps_;
  build->post = post_;
  build->callbacks = std::move(callbacks);
  build->names = std::move(names);
  build->results.resize(build->names.size());
  build_ = build;
  const size_t count = std::min(workers_, build->names.size());
  for (size_t i = 0; i < count; ++i) build->threads.emplace_back([build] { Work(build); });
  // With no rows, done is still handed over from the owner's loop, as it is
  // after a build.
  if (count == 0) post_([build] { Deliver(build); });
  return true;
}

void ShareTree::Stop() {
  if (!build_) return;
  build_->stopped = true;
  // Rows under way fail at once instead of at their bound: nothing of them
  // is delivered any more.
  if (!build_->finished) build_->provider->CancelAll();
  for (std::thread& thread : build_->threads) thread.join();
  build_->threads.clear();
  build_->finished = true;
  build_.reset();
}

void ShareTree::Work(const std::shared_ptr<Build>& build) {
  // Each worker has the provider get one listing ready (an SMB helper that
  // starts while the worker resolves its first name).
  if (!build->stopped) build->provider->Prepare(1);
  for (;;) {
    size_t row = 0;
    {
      const std::lock_guard<std::mutex> lock(build->mutex);
      if (build->stopped || build->next >= build->names.size()) return;
      row = build->next++;
    }
    ShareTreeRow result;
    result.row = row;
    const std::string& name = build->names[row];
    result.name = name;
    try {
      List(*build, name, &result);
    } catch (...) {
      // A step that fails (memory exhausted, say) fails this row alone:
      // nothing may escape a worker thread.
      result.shares = Unlisted({Cause::kFailed, "internal"});
    }
    {
      const std::lock_guard<std::mutex> lock(build->mutex);
      build->results[row] = std::move(result);
    }
    if (!build->stopped) build->post([build] { Deliver(build); });
  }
}

void ShareTree::List(const Build& build, const std::string& name, ShareTreeRow* result) {
  Diagnosis d = Diagnose(*build.provider, build.steps, name, &build.stopped);
  result->address = std::move(d.address);
  result->probe = d.probe;
  result->smb1 = d.smb1;
  if (d.listed)
    result->shares = std::move(d.shares);
  else
    result->shares = Unlisted(std::move(d.failure));
}

base::Failure Unlisted(FailureCause cause) {
  return base::Failure{static_cast<int>(cause.cause), std::move(cause.detail)};
}

FailureCause CauseOf(const base::Failure& failure) {
  // A code no cause has (a failure from elsewhere) counts as kFailed.
  const bool known = failure.code >= 0 && failure.code <= static_cast<int>(Cause::kFailed);
  return {known ? static_cast<Cause>(failure.code) : Cause::kFailed, failure.text};
}

FailureCause ProbeCause(const SmbProbe& probe) {
  switch (probe.reach) {
    case SmbReach::kNoAnswer:
      return {Cause::kNoAnswer, "no answer on 445 or 139"};
    case SmbReach::kRefused:
      return {Cause::kPortsRefused, "445 and 139 refused"};
    case SmbReach::kHung:
      return {Cause::kHung, "no answer to the negotiate on " + std::to_string(probe.port)};
    case SmbReach::kNotSmb:
      return {Cause::kNotSmb, "not SMB on " + std::to_string(probe.port)};
    case SmbReach::kSmb1Only:
      return {Cause::kSmb1Only, "NT LM 0.12 only"};
    case SmbReach::kSmb2:
      break;
  }
  return {};
}

std::string NameMethodsAsked(const std::string& name) {
  const bool dotted = name.find('.') != std::string::npos;
  std::string methods = "hosts, DNS";
  // The forms each link protocol takes (mirelka.h): NetBIOS a one-label name
  // of at most 15 bytes, LLMNR a one-label name, multicast DNS that or a
  // name under .local.
  if (!dotted && name.size() <= 15) methods += ", NetBIOS";
  const std::string local = ".local";
  bool underLocal = name.size() > local.size();
  for (size_t i = 0; underLocal && i < local.size(); ++i)
    underLocal = mirelka::ascii::Lower(name[name.size() - local.size() + i]) == local[i];
  if (!dotted || underLocal) methods += ", mDNS";
  if (!dotted) methods += ", LLMNR";
  return methods;
}

std::string ShareName(const std::string& entry, const std::string& node) {
  const long long count = static_cast<long long>(entry.size()) - static_cast<long long>(node.size()) - 3;
  if (count <= 0) return {};
  if (count >= static_cast<long long>(entry.size())) return entry;
  return entry.substr(entry.size() - static_cast<size_t>(count));
}

void ShareTree::Deliver(const std::shared_ptr<Build>& build) {
  // A row's handler may run a nested loop (a box): deliveries posted
  // meanwhile leave the rows to the loop below, which keeps the order.
  if (build->delivering || build->finished) return;
  build->delivering = true;
  while (!build->stopped) {
    std::optional<ShareTreeRow> ready;
    {
      const std::lock_guard<std::mutex> lock(build->mutex);
      if (build->delivered < build->results.size()) ready = std::move(build->results[build->delivered]);
    }
    if (!ready) break;
    ++build->delivered;
    if (build->callbacks.row) build->callbacks.row(*ready);
  }
  build->delivering = false;
  if (build->stopped || build->delivered < build->names.size()) return;
  // Every row has been handed over, so the workers have nothing left to do.
  for (std::thread& thread : build->threads) thread.join();
  build->threads.clear();
  build->finished = true;
  if (build->callbacks.done) build->callbacks.done();
}

}  // namespace netinfo
