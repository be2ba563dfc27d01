#pragma once
// The Source every discovery source is: it owns the running search and ends
// it. A search may end, or a new one start, from inside one of the search's
// own callbacks, so a stopped search is deleted from the event loop, never
// from inside itself.
//
// Search is the source's own QObject: Open() -> Outcome, Begin(windowMs),
// Stop(); the source makes it in Make().
#include <QtGlobal>
#include <memory>
#include <utility>

#include "source.h"

namespace discovery {

// Calls out at a source's edge: nothing thrown there unwinds through the
// event loop or a library's C frames.
template <class Call>
void Guarded(Call&& call) noexcept {
  try {
    call();
  } catch (...) {
    qWarning("mirelka: a discovery callback failed");
  }
}

template <class Search>
class SearchSource : public Source {
 public:
  Outcome Start(int windowMs, Found found, Done done) override {
    Cancel();
    std::unique_ptr<Search> search = Make(std::move(found), [this, done = std::move(done)](Outcome outcome) {
      Cancel();
      done(outcome);
    });
    const Outcome opened = search->Open();
    if (opened != Outcome::Answered) return opened;
    search_ = std::move(search);
    search_->Begin(windowMs);
    return Outcome::Answered;
  }

  void Cancel() override {
    if (!search_) return;
    search_->Stop();
    search_.release()->deleteLater();
  }

 protected:
  // A new search that reports through found and ends through done.
  virtual std::unique_ptr<Search> Make(Found found, Done done) = 0;

 private:
  std::unique_ptr<Search> search_;
};

}  // namespace discovery
