#include "watch.h"

#include "cp932_bytes.h"

namespace netlib {

bool ConnectionWatch::BeginTick() {
  if (ticking_) return false;
  ticking_ = true;
  return true;
}

base::Result<std::string> ConnectionWatch::Check(std::string_view caption) const {
  // The round trip pingresult reports is the last check's: this one's alone.
  if (library_.init) library_.init();
  return netlib::Check(library_, cp932::RemoveBackslashes(caption));
}

bool ConnectionWatch::EndTick(const base::Result<std::string>& answer) {
  ticking_ = false;
  return answer.ok();
}

}  // namespace netlib
