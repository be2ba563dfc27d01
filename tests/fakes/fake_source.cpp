#include "fake_source.h"

#include <QTimer>

namespace fakes {

FakeSource& FakeSource::Find(int afterMs, discovery::Finding finding) {
  script_.emplace_back(afterMs, std::move(finding));
  return *this;
}

FakeSource& FakeSource::EndAfter(int ms) {
  endAfterMs_ = ms;
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
  run_ = std::make_unique<QObject>();
  QObject* run = run_.get();
  auto count = std::make_shared<int>(0);
  for (const auto& [afterMs, finding] : script_)
    QTimer::singleShot(afterMs, run, [found, finding = finding, count] {
      ++*count;
      found(finding);
    });
  if (endAfterMs_ >= 0)
    QTimer::singleShot(endAfterMs_, run, [this, done, count] {
      run_.release()->deleteLater();
      done(*count ? discovery::Outcome::Answered : discovery::Outcome::NoAnswer);
    });
  return discovery::Outcome::Answered;
}

void FakeSource::Cancel() {
  ++cancels;
  run_.reset();  // its pending timers go with it
}

}  // namespace fakes
