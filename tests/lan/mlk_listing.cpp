// The window's workgroup listing ("実行") from the command line: the real
// window on the offscreen platform with the platform's provider, sources and
// companion library; prints the rows and the status text, the time of the
// first click (cold: right after start-up) and with -r N the median of N
// more (warm: the sources have run), 200 ms apart. With -i S it then idles S
// seconds and prints the CPU time and the peak memory of that idle; -n
// leaves the sources beside the browse list out (benchmarks on the test LAN).
//
//   mlk_listing [-r N] [-i SECONDS] [-n] WORKGROUP
#include <QApplication>
#include <QLineEdit>
#include <QEventLoop>
#include <QTimer>
#include <QTemporaryDir>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <vector>
#include <cstdio>
#include <string>

#include "TListView.h"
#include "Unit1.h"
#include "formdeps.h"
#include "probe_timing.h"
#include "source.h"
#include "uiservices.h"

namespace {

class QuietUi final : public UiServices {
 public:
  void MessageBox(const QString& text) override { std::fprintf(stderr, "box: %s\n", text.toUtf8().constData()); }
  void ErrorBox(const QString& text) override { MessageBox(text); }
  void ProcessMessages() override { QCoreApplication::processEvents(); }
  void Launch(const std::string&, const std::string&) override {}
  bool Question(const QString&, const QString&, const QString&) override { return false; }
  void ShowReport(const QString&, const QString&) override {}
};

// Runs the event loop for ms, asleep while nothing happens.
void Pump(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto us = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec); };
  return (us(usage.ru_utime) + us(usage.ru_stime)) / 1e3;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int arg = 1, repeat = 1, idle = 0;
  bool sources = true;
  bool ok = lanprobe::ParseRepeat(argc, argv, &arg, &repeat);
  if (ok && arg + 1 < argc && std::string(argv[arg]) == "-i") {
    idle = std::atoi(argv[arg + 1]);
    arg += 2;
  }
  if (ok && arg < argc && std::string(argv[arg]) == "-n") {
    sources = false;
    ++arg;
  }
  if (!ok || arg + 1 != argc || idle < 0) {
    std::fputs("usage: mlk_listing [-r N] [-i SECONDS] [-n] WORKGROUP\n", stderr);
    return 2;
  }
  QuietUi ui;
  PlatformBackends platform(sources);
  Engines engines(platform.SeamsFor(&ui));
  QTemporaryDir dir;  // a list file of its own, gone afterwards
  const TForm1Deps deps = FormDepsFor(engines, dir.filePath(QStringLiteral("mirelka.ini")).toStdString());
  TForm1 form(deps);
  form.workgroupname->setText(QString::fromLocal8Bit(argv[arg]));
  const auto start = std::chrono::steady_clock::now();
  form.Button5Click();
  std::fprintf(stderr, "first %.4f ms\n",
               std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  if (repeat > 1) {
    std::vector<double> ms;
    for (int i = 0; i < repeat; ++i) {
      Pump(200);  // outside the timing: the window idles between clicks
      const auto click = std::chrono::steady_clock::now();
      form.Button5Click();
      ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - click).count());
    }
    std::sort(ms.begin(), ms.end());
    std::fprintf(stderr, "median %.4f ms over %d calls\n", ms[ms.size() / 2], repeat);
  }
  if (idle > 0) {
    Pump(3000);  // the last search over
    const double before = CpuMs();
    Pump(idle * 1000);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "idle %d s: cpu %.1f ms, peak rss %ld KiB\n", idle, CpuMs() - before, usage.ru_maxrss);
  }
  for (int row = 0; row < form.ListView3->RowCount(); ++row)
    std::printf("%s\n", form.ListView3->Caption(row).toUtf8().constData());
  std::printf("status: %s\n", form.Status().toUtf8().constData());
  discovery::Listing::WaitForReads(10000);  // the last click's background read uses the provider
  return 0;
}
