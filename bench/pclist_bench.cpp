// The list file with many rows: a save (format, atomic write with fsync) and
// a load (read, parse), together and apart. The file lies in a fresh folder
// under $TMPDIR (default /tmp), so the figures include that disk's fsync.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pclist.h"

namespace {

// Names like a workgroup listing gives: up to 15 bytes, every tenth with
// double-byte characters.
std::vector<std::string> MakeNames(int64_t count) {
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(count));
  for (int64_t k = 0; k < count; ++k) {
    std::string name = k % 10 == 0 ? "\x8e\x96\x96\xb1-" : "PC-";  // 事務-
    names.push_back(name + std::to_string(k));
  }
  return names;
}

class Folder {
 public:
  Folder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/pclist-bench.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
  }
  ~Folder() { std::filesystem::remove_all(dir_); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  std::string File() const { return dir_ + "/mirelka.ini"; }

 private:
  std::string dir_;
};

void SetCounters(benchmark::State& state, size_t bytes) {
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

// The whole round: what shutdown and the next start-up do to the file.
void BM_SaveAndLoad(benchmark::State& state) {
  const std::vector<std::string> names = MakeNames(state.range(0));
  const Folder folder;
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = pclist::Format(names);
    if (!pclist::WriteListFile(folder.File(), text)) state.SkipWithError("not written");
    const base::Result<std::optional<std::string>> read = pclist::ReadListFile(folder.File());
    if (!read || !*read) state.SkipWithError("not read");
    const pclist::ParseResult loaded = pclist::Parse(read.value_or(std::string()).value_or(std::string()));
    if (loaded.names.size() != names.size()) state.SkipWithError("rows lost");
    bytes = text.size();
    benchmark::DoNotOptimize(loaded);
  }
  SetCounters(state, bytes);
}

void BM_Format(benchmark::State& state) {
  const std::vector<std::string> names = MakeNames(state.range(0));
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = pclist::Format(names);
    bytes = text.size();
    benchmark::DoNotOptimize(text);
  }
  SetCounters(state, bytes);
}

void BM_Parse(benchmark::State& state) {
  const std::string text = pclist::Format(MakeNames(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(pclist::Parse(text));
  SetCounters(state, text.size());
}

void BM_Write(benchmark::State& state) {
  const std::string text = pclist::Format(MakeNames(state.range(0)));
  const Folder folder;
  for (auto _ : state) {
    if (!pclist::WriteListFile(folder.File(), text)) state.SkipWithError("not written");
  }
  SetCounters(state, text.size());
}

void BM_Read(benchmark::State& state) {
  const std::string text = pclist::Format(MakeNames(state.range(0)));
  const Folder folder;
  if (!pclist::WriteListFile(folder.File(), text)) state.SkipWithError("not written");
  for (auto _ : state) benchmark::DoNotOptimize(pclist::ReadListFile(folder.File()));
  SetCounters(state, text.size());
}

BENCHMARK(BM_SaveAndLoad)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Format)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Read)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
