// The window's share tree ("リソース展開") from the command line: the real
// window on the offscreen platform with the platform's provider and companion
// library, over the rows given (one per argument). Prints the time from the
// click to the status "終了", the longest the window's thread kept a 10 ms
// heartbeat timer waiting, and each row's outcome. With -w N the same rows go
// through the share tree's engine alone with N workers instead (-w 1: one at
// a time, the serial order the window used to follow), for comparison.
//
//   mlk_tree [-w N] NAME...
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "TListView.h"
#include "Unit1.h"
#include "companion.h"
#include "cp932_codec.h"
#include "share_tree.h"
#include "uiservices.h"

namespace {

class QuietUi final : public UiServices {
 public:
  void MessageBox(const QString& text) override { boxes.append(text); }
  void ErrorBox(const QString& text) override { MessageBox(text); }
  void ProcessMessages() override { QCoreApplication::processEvents(); }
  void Launch(const std::string&, const std::string&) override {}
  QStringList boxes;
};

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int arg = 1;
  int workers = 0;  // 0: the window
  if (arg + 1 < argc && std::string(argv[arg]) == "-w") {
    workers = std::atoi(argv[arg + 1]);
    arg += 2;
  }
  if (arg >= argc || workers < 0) {
    std::fputs("usage: mlk_tree [-w N] NAME...\n", stderr);
    return 2;
  }
  std::vector<std::string> names;
  for (; arg < argc; ++arg) names.push_back(cp932::FromUtf8Lossy(argv[arg]));

  QuietUi ui;
  auto provider = netinfo::MakePlatformNetProvider();
  auto sockets = netinfo::MakePlatformSockets();
  auto dynlib = netlib::MakePlatformDynamicLibrary();
  if (workers > 0) {
    netlib::CompanionLibrary library(*dynlib);
    if (!library.Load(netlib::LibraryFileName()) || !library.BindEntryPoints().empty()) return 1;
    netinfo::ShareTreeSteps steps;
    steps.resolve = [&library](const std::string& name) {
      netlib::ConvBuffer<512> buffer;
      buffer.SetInput(name);
      netinfo::NameSource source = netinfo::NameSource::kSystem;
      netinfo::NameResolution resolution;
      if (netlib::CallNameToIp(library, buffer, &source) == 0)
        resolution.host = netinfo::ResolvedHost{buffer.Output(), source};
      resolution.text = buffer.Output();
      return resolution;
    };
    steps.reachable = [&library](const std::string& address) { return netlib::Reaches(library, address); };
    std::vector<std::function<void()>> queue;
    std::mutex mutex;
    netinfo::ShareTree tree(
        *provider, steps,
        [&](std::function<void()> fn) {
          const std::lock_guard<std::mutex> lock(mutex);
          queue.push_back(std::move(fn));
        },
        static_cast<size_t>(workers));
    int listed = 0;
    bool done = false;
    const auto start = std::chrono::steady_clock::now();
    tree.Start(names, {[&](const netinfo::ShareTreeRow& row) { listed += row.listed; }, [&] { done = true; }});
    while (!done) {
      std::vector<std::function<void()>> ready;
      {
        const std::lock_guard<std::mutex> lock(mutex);
        ready.swap(queue);
      }
      for (auto& fn : ready) fn();
      if (ready.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::printf("engine with %d workers %.1f ms, %d of %zu rows listed\n", workers,
                Ms(std::chrono::steady_clock::now() - start), listed, names.size());
    return 0;
  }

  TForm1Deps deps;
  deps.ui = &ui;
  deps.provider = provider.get();
  deps.sockets = sockets.get();
  deps.dynlib = dynlib.get();
  deps.libraryName = netlib::LibraryFileName();
  QTemporaryDir dir;  // a list file of its own, gone afterwards
  deps.listFilePath = dir.filePath(QStringLiteral("mirelka.ini")).toStdString();
  TForm1 form(deps);
  form.ListView3->clear();
  for (const std::string& name : names)
    form.ListView3->AddRow(QString::fromStdString(cp932::ToUtf8(name)), {QString()});

  // The heartbeat: how late a 10 ms timer fires tells how long the window's
  // thread was busy.
  QElapsedTimer beat;
  qint64 longest = 0;
  QTimer heartbeat;
  heartbeat.setTimerType(Qt::PreciseTimer);
  heartbeat.setInterval(10);
  QObject::connect(&heartbeat, &QTimer::timeout, [&] { longest = std::max(longest, beat.restart() - 10); });
  beat.start();
  heartbeat.start();
  const auto start = std::chrono::steady_clock::now();
  form.Button1Click();
  while (form.Status() != QStringLiteral("終了")) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const double elapsed = Ms(std::chrono::steady_clock::now() - start);
  heartbeat.stop();
  std::printf("window %.1f ms, longest stall %lld ms, %d nodes, %lld boxes\n", elapsed, static_cast<long long>(longest),
              form.TreeView1->topLevelItemCount(), static_cast<long long>(ui.boxes.size()));
  for (const QString& box : ui.boxes) std::fprintf(stderr, "box: %s\n", box.toUtf8().constData());
  return 0;
}
