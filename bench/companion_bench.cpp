// The companion library's exports on loopback only (run inside an empty
// network namespace): a dotted address passing through, and a check of a
// closed local port.
#include <benchmark/benchmark.h>

#include <cstring>

#include "mirelka.h"

namespace {

void NametoipDotted(benchmark::State& state) {
  char buffer[256];
  for (auto _ : state) {
    std::memset(buffer, 0, sizeof buffer);
    std::strcpy(buffer, "192.168.10.20");
    benchmark::DoNotOptimize(nametoip(buffer, 255));
  }
}
BENCHMARK(NametoipDotted)->Unit(benchmark::kMicrosecond);

void ConnectpcClosedLoopbackPort(benchmark::State& state) {
  char buffer[256];
  for (auto _ : state) {
    std::memset(buffer, 0, sizeof buffer);
    std::strcpy(buffer, "127.0.0.1");
    init();
    benchmark::DoNotOptimize(connectpc(buffer, 255));
  }
}
BENCHMARK(ConnectpcClosedLoopbackPort)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
