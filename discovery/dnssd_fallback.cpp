#include "dnssd.h"

namespace discovery {

namespace {

class DnsSdFallback final : public Source {
 public:
  DnsSdFallback(std::unique_ptr<Source> daemon, std::unique_ptr<Source> own)
      : daemon_(std::move(daemon)), own_(std::move(own)) {}

  Outcome Start(int windowMs, Found found, Done done) override {
    Cancel();
    const unsigned search = search_;
    const Outcome asked = daemon_->Start(windowMs, found, [this, search, windowMs, found, done](Outcome outcome) {
      if (search != search_) return;
      if (outcome != Outcome::NoDaemon) return done(outcome);
      // The daemon turned out not to be there: this search asks itself.
      const Outcome own = own_->Start(windowMs, found, done);
      if (own != Outcome::Answered) done(own);
    });
    if (asked != Outcome::NoDaemon) return asked;
    return own_->Start(windowMs, std::move(found), std::move(done));
  }

  void Cancel() override {
    ++search_;
    daemon_->Cancel();
    own_->Cancel();
  }

  void WhenSettled(Settled settled) override {
    daemon_->WhenSettled(settled);
    own_->WhenSettled(std::move(settled));
  }

  bool Follow(Found found, Gone gone) override { return daemon_->Follow(std::move(found), std::move(gone)); }

 private:
  std::unique_ptr<Source> daemon_, own_;
  unsigned search_ = 0;  // tells a cancelled search's late end from the current one's
};

}  // namespace

std::unique_ptr<Source> MakeDnsSdFallback(std::unique_ptr<Source> daemon, std::unique_ptr<Source> own) {
  return std::make_unique<DnsSdFallback>(std::move(daemon), std::move(own));
}

}  // namespace discovery
