// Interface list and host name through the real sockets backend, and
// enumeration on the in-memory provider at workgroup scale.
#include <benchmark/benchmark.h>

#include <string>

#include "fake_provider.h"
#include "interfaces.h"
#include "netresources.h"

namespace {

void BM_ListInterfacesAndHostName(benchmark::State& state) {
  auto sockets = netinfo::MakePlatformSockets();
  for (auto _ : state) {
    auto rows = netinfo::ListInterfaceRows(*sockets);
    auto name = netinfo::HostName(*sockets);
    benchmark::DoNotOptimize(rows);
    benchmark::DoNotOptimize(name);
  }
}
BENCHMARK(BM_ListInterfacesAndHostName)->Unit(benchmark::kMicrosecond);

std::string Computer(int i) { return "PC" + std::to_string(1000 + i); }

// 1000 computers of 20 shares each, every computer's shares listed once per
// iteration, as the share tree does for a full list.
void BM_EnumSharesOfAWorkgroup(benchmark::State& state) {
  const int computers = static_cast<int>(state.range(0));
  fakes::FakeProvider provider;
  provider.RecordRequests(false);
  std::vector<std::string> names;
  for (int i = 0; i < computers; ++i) {
    names.push_back("\\\\" + Computer(i));
    std::vector<std::string> shares;
    for (int s = 0; s < 20; ++s) shares.push_back(names.back() + "\\SHARE" + std::to_string(s));
    provider.Add(names.back(), std::move(shares));
  }
  provider.Add("WORKGROUP", names);
  for (auto _ : state) {
    base::Result<netinfo::ResourceList> list = netinfo::EnumNetResources(provider, "WORKGROUP", netinfo::kWindowsNetwork);
    benchmark::DoNotOptimize(list);
    for (const std::string& computer : names) {
      base::Result<netinfo::ResourceList> shares = netinfo::EnumNetResources(provider, computer, "");
      benchmark::DoNotOptimize(shares);
    }
  }
  state.SetItemsProcessed(state.iterations() * computers * 21);
}
BENCHMARK(BM_EnumSharesOfAWorkgroup)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_FindWorkgroupName(benchmark::State& state) {
  fakes::FakeProvider provider;
  provider.RecordRequests(false);
  provider.Add("", {"\\\\WORKGROUP", "\\\\MIRELKA"});
  for (auto _ : state) {
    base::Result<std::string> name = netinfo::FindWorkgroupName(provider, 255);
    benchmark::DoNotOptimize(name);
  }
}
BENCHMARK(BM_FindWorkgroupName);

}  // namespace

BENCHMARK_MAIN();
