// The window's share tree ("リソース展開") from the command line: the real
// window on the offscreen platform with the platform's provider and companion
// library, over the rows given (one per argument). Prints the time from the
// click to the status "終了", the longest the window's thread kept a 10 ms
// heartbeat timer waiting, and each row's outcome. With -w N the same rows go
// through the share tree's engine alone with N workers instead (-w 1: one at
// a time, the serial order the window used to follow), for comparison.
// After the window's tree it also prints its resident memory and that of
// each of its child processes (the SMB helpers, idle by then), and to
// standard error each box with the time it came after the click.
//
//   mlk_tree [-w N] NAME...
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "TListView.h"
#include "Unit1.h"
#include "formdeps.h"
#include "companion.h"
#include "cp932_codec.h"
#include "share_tree.h"
#include "uiservices.h"

namespace {

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

class QuietUi final : public UiServices {
 public:
  void MessageBox(const QString& text) override {
    boxes.append(text);
    times.append(Ms(std::chrono::steady_clock::now() - click));
  }
  void ErrorBox(const QString& text) override { MessageBox(text); }
  void ProcessMessages() override { QCoreApplication::processEvents(); }
  void Launch(const std::string&, const std::string&) override {}
  bool Question(const QString&, const QString&, const QString&) override { return false; }
  void ShowReport(const QString&, const QString&) override {}
  QStringList boxes;
  QList<double> times;  // when each box came, from the click
  std::chrono::steady_clock::time_point click;
};

// The processor time the calling thread has used.
double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

// VmRSS of a process in KiB (0 when it is gone).
long RssKiB(const std::string& pid) {
  FILE* status = std::fopen(("/proc/" + pid + "/status").c_str(), "r");
  if (!status) return 0;
  char line[256];
  long kib = 0;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmRSS: %ld", &kib) == 1) break;
  std::fclose(status);
  return kib;
}

// The resident memory of each child process of this one.
std::string ChildrenRss() {
  std::string out;
  DIR* proc = opendir("/proc");
  if (!proc) return out;
  while (const dirent* entry = readdir(proc)) {
    const std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    FILE* stat = std::fopen(("/proc/" + pid + "/stat").c_str(), "r");
    if (!stat) continue;
    char text[512] = {};
    const size_t n = std::fread(text, 1, sizeof text - 1, stat);
    std::fclose(stat);
    const char* after = std::strrchr(text, ')');
    int ppid = 0;
    char state = 0;
    if (n == 0 || !after || std::sscanf(after + 1, " %c %d", &state, &ppid) != 2 || ppid != getpid()) continue;
    out += (out.empty() ? "" : ", ") + std::to_string(RssKiB(pid)) + (state == 'Z' ? " (zombie)" : "");
  }
  closedir(proc);
  return out;
}

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
  PlatformBackends platform(false);
  if (workers > 0) {
    netlib::CompanionLibrary library(*platform.dynlib);
    if (!LoadCompanion(library)) return 1;
    // Each row's steps, timed, for the rows that end unlisted: the step that
    // failed and how long it took.
    struct Step {
      std::string what;
      double ms;
      bool ok;
    };
    std::mutex stepsMutex;
    std::vector<std::pair<std::string, Step>> log;  // name or address -> step
    auto record = [&](const std::string& key, const char* what, std::chrono::steady_clock::time_point since, bool ok) {
      const std::lock_guard<std::mutex> lock(stepsMutex);
      log.push_back({key, Step{what, Ms(std::chrono::steady_clock::now() - since), ok}});
    };
    const netinfo::ShareTreeSteps companion = CompanionShareTreeSteps(library);
    netinfo::ShareTreeSteps steps;
    steps.resolve = [&companion, &record](const std::string& name) {
      const auto since = std::chrono::steady_clock::now();
      netinfo::NameResolution resolution = companion.resolve(name);
      record(name, "resolve", since, resolution.ok());
      return resolution;
    };
    steps.probe = [&record](const std::string& address) {
      const auto since = std::chrono::steady_clock::now();
      const netinfo::SmbProbe probe = netinfo::ProbeSmb(address);
      record(address, "probe", since, probe.reach == netinfo::SmbReach::kSmb2);
      return probe;
    };
    std::vector<std::function<void()>> queue;
    std::mutex mutex;
    netinfo::ShareTree tree(
        *platform.provider, steps,
        [&](std::function<void()> fn) {
          const std::lock_guard<std::mutex> lock(mutex);
          queue.push_back(std::move(fn));
        },
        static_cast<size_t>(workers));
    int listed = 0;
    bool done = false;
    const auto start = std::chrono::steady_clock::now();
    std::vector<netinfo::ShareTreeRow> unlisted;
    tree.Start(names, {[&](const netinfo::ShareTreeRow& row) {
                         listed += row.shares.ok();
                         if (!row.shares) unlisted.push_back(row);
                       },
                       [&] { done = true; }});
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
    // Why each row was not listed, to stderr: every step its name and
    // address went through in this run (a name given twice shows both).
    for (const netinfo::ShareTreeRow& row : unlisted) {
      std::string line = "unlisted: " + cp932::ToUtf8(row.name);
      const std::string address = row.address ? row.address->address : std::string();
      for (const auto& [key, step] : log) {
        if (key != row.name && (address.empty() || key != address)) continue;
        char text[96];
        std::snprintf(text, sizeof text, " %s %s %.0f ms;", step.what.c_str(), step.ok ? "ok" : "failed", step.ms);
        line += text;
      }
      std::fprintf(stderr, "%s\n", line.c_str());
    }
    return 0;
  }

  Engines engines(platform.SeamsFor(&ui));
  QTemporaryDir dir;  // a list file of its own, gone afterwards
  const TForm1Deps deps = FormDepsFor(engines, dir.filePath(QStringLiteral("mirelka.ini")).toStdString());
  TForm1 form(deps);
  form.ListView3->clear();
  for (const std::string& name : names)
    form.ListView3->AddRow(QString::fromStdString(cp932::ToUtf8(name)), {QString()});

  // The heartbeat: how late a 10 ms timer fires tells how long the window's
  // thread was kept from its loop; the processor time the thread used in
  // that interval tells how much of it was the thread's own work rather
  // than waiting for a core.
  QElapsedTimer beat;
  qint64 longest = 0;
  double longestBusy = 0;  // the thread's own time within the longest stall
  double busiest = 0;      // the most the thread used within one interval
  double lastCpu = ThreadCpuMs();
  QTimer heartbeat;
  heartbeat.setTimerType(Qt::PreciseTimer);
  heartbeat.setInterval(10);
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    const qint64 late = beat.restart() - 10;
    const double cpu = ThreadCpuMs();
    busiest = std::max(busiest, cpu - lastCpu);
    if (late > longest) {
      longest = late;
      longestBusy = cpu - lastCpu;
    }
    lastCpu = cpu;
  });
  beat.start();
  heartbeat.start();
  const auto start = std::chrono::steady_clock::now();
  ui.click = start;
  form.Button1Click();
  while (form.Status() != QStringLiteral("終了")) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const double elapsed = Ms(std::chrono::steady_clock::now() - start);
  heartbeat.stop();
  std::printf(
      "window %.1f ms, longest stall %lld ms (its own work %.1f ms; most in one interval %.1f ms), %d nodes, "
      "%lld boxes\n",
      elapsed, static_cast<long long>(longest), longestBusy, busiest, form.TreeView1->topLevelItemCount(),
      static_cast<long long>(ui.boxes.size()));
  std::printf("rss window %ld KiB, helpers [%s] KiB\n", RssKiB("self"), ChildrenRss().c_str());
  for (int i = 0; i < ui.boxes.size(); ++i)
    std::fprintf(stderr, "box at %.1f ms: %s\n", ui.times[i], ui.boxes[i].toUtf8().constData());
  discovery::Listing::WaitForReads(10000);  // the start-up's browse read uses the provider
  return 0;
}
