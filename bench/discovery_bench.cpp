// The merge of a workgroup listing at LAN and flood scale: per computer a
// browse list entry, a WS-Discovery finding under another case with its
// workgroup, and a DNS-SD finding under another name at the same address.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "merge.h"

namespace {

using discovery::Finding;
using discovery::Origin;

void BM_MergeWorkgroupListing(benchmark::State& state) {
  const int computers = static_cast<int>(state.range(0));
  std::vector<Finding> findings;
  for (int i = 0; i < computers; ++i) {
    const std::string n = std::to_string(i);
    const std::string address =
        "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
    findings.push_back({Origin::BrowseList, "PC" + n});
    findings.push_back({Origin::WsDiscovery, "pc" + n, address, "WG"});
    findings.push_back({Origin::DnsSd, "host-" + n, address});
  }
  for (auto _ : state) {
    discovery::Merge merge("WG");
    int rows = 0;
    for (const Finding& f : findings) rows += merge.Add(f) ? 1 : 0;
    rows += static_cast<int>(merge.Finish().size());
    benchmark::DoNotOptimize(rows);
  }
}
BENCHMARK(BM_MergeWorkgroupListing)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
