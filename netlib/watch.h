#pragma once
// The connection watch's rule, tick by tick: each tick checks one computer
// through the companion library, a tick that falls due while a check still
// runs is dropped, and the first check that answers ends the watch. The
// caller keeps the timer, the thread the check runs on and what is shown.
#include <string>
#include <string_view>

#include "companion.h"
#include "result.h"

namespace netlib {

class ConnectionWatch {
 public:
  explicit ConnectionWatch(const CompanionLibrary& library) : library_(library) {}

  // A tick fell due: true when it goes on to a check, false while the last
  // tick's has not ended (this tick is dropped).
  bool BeginTick();
  // The tick's check of a computer by its list caption: the library's last
  // check is cleared, then connectpc runs on the caption without its
  // backslashes. Blocking, bounded by the library; safe off the ticking
  // thread while the library stays loaded.
  base::Result<std::string> Check(std::string_view caption) const;
  // The tick has ended with its check's answer; true when the watch stops
  // there (the computer answered).
  bool EndTick(const base::Result<std::string>& answer);
  // The tick has ended without an answer (nothing to check, or the check
  // could not start).
  void AbandonTick() { ticking_ = false; }

 private:
  const CompanionLibrary& library_;
  bool ticking_ = false;
};

}  // namespace netlib
