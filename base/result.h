#pragma once
// A result that is a value, or a failure that carries its cause: a code the
// caller may test and the text a user sees (code page 932 bytes, without the
// final "." that a box adds). Plain C++, no Qt: used on both sides of the
// widget boundary. C ABI results and platform codes (errno, Win32 codes, the
// provider's) stay at the edge that meets them and become a Failure there.
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace base {

struct Failure {
  int code = 0;      // the domain's own code; never 0 for a real failure
  std::string text;  // what a user is shown
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit, as a return value
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}  // NOLINT

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // The value; only when ok().
  const T& value() const& { return std::get<0>(state_); }
  T& value() & { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const T& operator*() const& { return value(); }
  const T* operator->() const { return &value(); }
  T value_or(T fallback) const { return ok() ? value() : std::move(fallback); }
  // The value, for an interface that only asks whether there is one.
  std::optional<T> optional() const { return ok() ? std::optional<T>(value()) : std::nullopt; }

  // The failure; only when !ok().
  const Failure& failure() const { return std::get<1>(state_); }

 private:
  std::variant<T, Failure> state_;
};

// A step that gives nothing back but may fail.
struct Done {};
using Status = Result<Done>;
inline Status Ok() { return Done{}; }

}  // namespace base
