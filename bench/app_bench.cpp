// The window's long handlers on fakes: the share tree over many rows, a
// watch tick, and filling the list from a file.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QPushButton>
#include <QTreeWidget>

#include "TListView.h"
#include "app_fixture.h"
#include "pclist.h"

namespace {

void ShareTree(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  AppFixture app;
  app.provider.RecordRequests(false);
  app.companion.nametoip = FakeCompanion::Answer(0, "10.0.0.1");
  TForm1& form = app.Open();
  QList<QStringList> list;
  for (int r = 0; r < rows; ++r) {
    const std::string name = "PC" + std::to_string(r);
    std::vector<std::string> shares;
    for (int s = 0; s < 20; ++s) shares.push_back("\\\\" + name + "\\SHARE" + std::to_string(s));
    app.provider.Add("\\\\" + name, shares);
    list.append({QString::fromStdString(name), QString()});
  }
  form.ListView3->AddRows(list);
  for (auto _ : state) {
    app.companion.calls.clear();
    app.companion.sizes.clear();
    form.Button1->click();
    while (form.Status() != QStringLiteral("終了")) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  if (form.TreeView1->topLevelItemCount() != rows) state.SkipWithError("tree incomplete");
  state.counters["rows"] = rows;
}
BENCHMARK(ShareTree)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);

// One tick with a library that answers at once, against the library call alone.
void WatchTick(benchmark::State& state) {
  AppFixture app;
  app.companion.connectpc = FakeCompanion::Answer(5, "no answer");
  TForm1& form = app.Open();
  form.ListView3->AddRow(QStringLiteral("PC01"), {QString()});
  form.ListView3->setCurrentItem(form.ListView3->topLevelItem(0));
  for (auto _ : state) {
    app.companion.calls.clear();
    app.companion.sizes.clear();
    form.repeatpingTimer();
  }
}
BENCHMARK(WatchTick)->Unit(benchmark::kMicrosecond);

void LibraryCallAlone(benchmark::State& state) {
  auto answer = FakeCompanion::Answer(5, "no answer");
  char buffer[512] = "PC01";
  for (auto _ : state) benchmark::DoNotOptimize(answer(buffer, 511));
}
BENCHMARK(LibraryCallAlone)->Unit(benchmark::kMicrosecond);

// Start-up with every seam faked: the window built and FormCreate run.
void FormCreateFaked(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto app = std::make_unique<AppFixture>();
    app->sockets.AddInterface({192, 168, 0, 2}, {255, 255, 255, 0}).AddInterface({127, 0, 0, 1}, {255, 0, 0, 0});
    app->provider.Add("", {"WORKGROUP"});
    app->WriteListFile(pclist::Format({"PC01", "PC02", "SERVER"}));
    state.ResumeTiming();
    app->Open();
    state.PauseTiming();
    app.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(FormCreateFaked)->Unit(benchmark::kMillisecond);

void FillListFromFile(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  std::vector<std::string> names;
  for (int r = 0; r < rows; ++r) names.push_back("COMPUTER" + std::to_string(r));
  for (auto _ : state) {
    state.PauseTiming();
    AppFixture app;
    app.WriteListFile(pclist::Format(names));
    state.ResumeTiming();
    TForm1& form = app.Open();
    if (form.ListView3->RowCount() != rows) state.SkipWithError("rows missing");
    state.PauseTiming();
    app.Close();
    state.ResumeTiming();
  }
}
BENCHMARK(FillListFromFile)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
