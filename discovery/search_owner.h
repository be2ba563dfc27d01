#pragma once
// The part every discovery source shares: it owns the running search and
// the ones it has stopped. A search may end from inside one of its own
// callbacks, so a cancelled search is only stopped here and deleted at the
// next start or with its owner, never from inside itself.
//
// Search is the source's own class: Search(Found, Done), Open() -> Outcome,
// Begin(windowMs), Stop(). It may be incomplete where the owner is declared;
// the members are instantiated where it is complete.
#include <memory>
#include <utility>
#include <vector>

#include "source.h"

namespace discovery {

template <class Search>
class SearchOwner {
 public:
  void Cancel() {
    if (!search_) return;
    search_->Stop();
    retired_.push_back(std::move(search_));
  }

  Outcome Start(int windowMs, Source::Found found, Source::Done done) {
    Cancel();
    retired_.clear();
    auto search = std::make_unique<Search>(std::move(found), [this, done = std::move(done)](Outcome outcome) {
      Cancel();
      done(outcome);
    });
    const Outcome opened = search->Open();
    if (opened != Outcome::Answered) return opened;
    search_ = std::move(search);
    search_->Begin(windowMs);
    return Outcome::Answered;
  }

 private:
  std::unique_ptr<Search> search_;
  std::vector<std::unique_ptr<Search>> retired_;
};

}  // namespace discovery
