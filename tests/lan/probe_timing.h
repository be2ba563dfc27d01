#pragma once
// Repeats one call and reports the median time of a call, for the LAN probes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace lanprobe {

// Calls call() `repeat` times and returns the last result; with more than one
// run, "median X ms over N calls" goes to standard error.
template <typename Call>
bool Timed(int repeat, Call&& call) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> ms;
  bool ok = false;
  for (int i = 0; i < repeat; ++i) {
    const auto start = Clock::now();
    ok = call();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  if (repeat > 1) {
    std::sort(ms.begin(), ms.end());
    const size_t mid = ms.size() / 2;
    const double median = ms.size() % 2 ? ms[mid] : (ms[mid - 1] + ms[mid]) / 2;
    std::fprintf(stderr, "median %.4f ms over %d calls\n", median, repeat);
  }
  return ok;
}

// "-r N" in front of the command; false on a bad count.
inline bool ParseRepeat(int argc, char** argv, int* arg, int* repeat) {
  *repeat = 1;
  if (*arg + 1 < argc && std::string_view(argv[*arg]) == "-r") {
    *repeat = std::atoi(argv[*arg + 1]);
    if (*repeat < 1 || *repeat > 100000) return false;
    *arg += 2;
  }
  return true;
}

}  // namespace lanprobe
