#include "fake_source.h"

#include <algorithm>

namespace fakes {

namespace {

// Calls fire once, ms from now on clock; the timer goes with timers.
template <class Timers>
void After(base::Clock& clock, Timers& timers, int ms, std::function<void()> fire) {
  timers.push_back(clock.MakeTimer(std::move(fire)));
  timers.back()->Start(ms);
}

}  // namespace

FakeSource& FakeSource::Find(int afterMs, discovery::Finding finding) {
  script_.emplace_back(afterMs, std::move(finding));
  return *this;
}

FakeSource& FakeSource::EndAfter(int ms, std::optional<discovery::Outcome> outcome) {
  endAfterMs_ = ms;
  endsWith_ = outcome;
  return *this;
}

FakeSource& FakeSource::SettleAfter(int ms) {
  settleAfterMs_ = ms;
  return *this;
}

FakeSource& FakeSource::Refuse(discovery::Outcome outcome) {
  refuse_ = outcome;
  return *this;
}

discovery::Outcome FakeSource::Start(int windowMs, Found found, Done done) {
  ++starts;
  lastWindowMs = windowMs;
  run_.reset();
  if (refuse_) return *refuse_;
  run_ = std::make_unique<Timers>();
  auto count = std::make_shared<int>(0);
  for (const auto& [afterMs, finding] : script_)
    After(*clock, *run_, afterMs, [found, finding = finding, count] {
      ++*count;
      found(finding);
    });
  if (settleAfterMs_ >= 0 && settled_) After(*clock, *run_, settleAfterMs_, settled_);
  if (endAfterMs_ >= 0)
    After(*clock, *run_, endAfterMs_, [this, done, count] {
      const std::unique_ptr<Timers> ended = std::move(run_);  // goes after done, which may start anew
      done(endsWith_ ? *endsWith_ : *count ? discovery::Outcome::Answered : discovery::Outcome::NoAnswer);
    });
  return discovery::Outcome::Answered;
}

void FakeSource::Cancel() {
  ++cancels;
  run_.reset();  // its pending timers go with it
}

bool FakeSource::Follow(Found found, Gone gone) {
  if (found) ++follows;
  followFound_ = std::move(found);
  followGone_ = std::move(gone);
  return !refuse_ && followFound_;
}

bool FakeSource::Announce(const discovery::Finding& finding) {
  if (!followFound_) return false;
  followFound_(finding);
  return true;
}

bool FakeSource::Leave(const std::string& key) {
  if (!followGone_) return false;
  followGone_(key);
  return true;
}

FakeNodeStatus& FakeNodeStatus::Answer(std::string address, int afterMs, std::string workgroup) {
  script_.push_back({std::move(address), afterMs, std::move(workgroup)});
  return *this;
}

void FakeNodeStatus::Begin(int, discovery::WorkgroupQuery::Answer answer) {
  Cancel();
  answer_ = std::move(answer);
  run_ = std::make_unique<std::vector<std::unique_ptr<base::Clock::Timer>>>();
}

bool FakeNodeStatus::Ask(const std::string& address) {
  if (!run_) return false;
  asked.push_back(address);
  ++open_;
  auto it = std::find_if(script_.begin(), script_.end(), [&](const Scripted& s) { return s.address == address; });
  const int after = it == script_.end() ? giveUpMs : it->afterMs;
  const std::string workgroup = it == script_.end() ? std::string() : it->workgroup;
  After(*clock, *run_, after, [this, address, workgroup] {
    --open_;
    if (!workgroup.empty()) answer_(address, workgroup);
  });
  return true;
}

void FakeNodeStatus::Cancel() {
  run_.reset();
  open_ = 0;
}

}  // namespace fakes
