// The window's workgroup listing ("実行") from the command line: the real
// window on the offscreen platform with the platform's provider, sources and
// companion library; prints the rows and the status text, and with -r the
// median time from click to "終了" (benchmarks on the test LAN).
//
//   mlk_listing [-r N] WORKGROUP
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>
#include <string>

#include "TListView.h"
#include "Unit1.h"
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
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int arg = 1, repeat = 1;
  if (!lanprobe::ParseRepeat(argc, argv, &arg, &repeat) || arg + 1 != argc) {
    std::fputs("usage: mlk_listing [-r N] WORKGROUP\n", stderr);
    return 2;
  }
  QuietUi ui;
  auto provider = netinfo::MakePlatformNetProvider();
  auto sockets = netinfo::MakePlatformSockets();
  auto dynlib = netlib::MakePlatformDynamicLibrary();
  auto wsd = discovery::MakeWsDiscovery();
  auto dnsSd = discovery::MakeDnsSd();
  auto nodeStatus = discovery::MakeNodeStatus();
  TForm1Deps deps;
  deps.ui = &ui;
  deps.provider = provider.get();
  deps.sockets = sockets.get();
  deps.dynlib = dynlib.get();
  deps.libraryName = netlib::LibraryFileName();
  deps.wsDiscovery = wsd.get();
  deps.dnsSd = dnsSd.get();
  deps.nodeStatus = nodeStatus.get();
  QTemporaryDir dir;  // a list file of its own, gone afterwards
  deps.listFilePath = dir.filePath(QStringLiteral("mirelka.ini")).toStdString();
  TForm1 form(deps);
  form.workgroupname->setText(QString::fromLocal8Bit(argv[arg]));
  lanprobe::Timed(repeat, [&] {
    form.Button5Click();
    return true;
  });
  for (int row = 0; row < form.ListView3->RowCount(); ++row)
    std::printf("%s\n", form.ListView3->Caption(row).toUtf8().constData());
  std::printf("status: %s\n", form.Status().toUtf8().constData());
  return 0;
}
