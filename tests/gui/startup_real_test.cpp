// Start-up with real library files loaded by their bare names: a library
// that lacks two entry points, and one that is not there at all.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include "TListView.h"
#include "app_fixture.h"

namespace {

// Runs the event loop as the program does and reports whether it ended by
// itself at its first turn (a bound keeps a wrong answer from hanging).
bool LoopEndsAtOnce(TForm1& form) {
  form.show();
  bool ended = false;
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  guard.start(5000);
  if (form.TerminateRequested()) QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  ended = QApplication::exec() == 0;
  return ended;
}

class RealLibrary : public ::testing::Test {
 protected:
  // The fixture's fakes with the platform's library loader.
  TForm1& Open(const char* libraryName) {
    Seams seams;
    seams.ui = &app.ui;
    seams.provider = &app.provider;
    seams.sockets = &app.sockets;
    seams.dynlib = dynlib.get();
    seams.libraryName = libraryName;
    return app.Open(seams);
  }
  std::unique_ptr<netlib::DynamicLibrary> dynlib = netlib::MakePlatformDynamicLibrary();
  AppFixture app;
};

TEST_F(RealLibrary, MissingEntryPointsGiveOneBoxEachAndTheProgramEnds) {
  app.provider.Add("", {"WG"});
  app.sockets.AddInterface({127, 0, 0, 1}, {255, 0, 0, 0});
  app.WriteListFile("[WGPCLIST]\r\n1\r\nPC01\r\n");
  TForm1& w = Open(MIRELKA_PARTIAL_LIB);
  EXPECT_EQ(app.ui.boxes, (QStringList{QStringLiteral("init関数がない"), QStringLiteral("connectpc関数がない")}));
  EXPECT_NE(w.Library().LibHandle(), nullptr);
  EXPECT_EQ(w.ListView1->RowCount(), 1);
  EXPECT_EQ(w.ListView3->RowCount(), 1);
  EXPECT_EQ(w.workgroupname->text(), QStringLiteral("WG"));
  EXPECT_TRUE(LoopEndsAtOnce(w));
  app.Close();
  EXPECT_EQ(app.ReadListFile(), "[WGPCLIST]\r\n1\r\nPC01\r\n");
}

TEST_F(RealLibrary, AbsentLibraryGivesOneBoxNamingTheFileAndTheProgramEnds) {
  app.WriteListFile("[WGPCLIST]\r\n2\r\nA\r\nB\r\n");
  TForm1& w = Open(MIRELKA_ABSENT_LIB);
  EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral(MIRELKA_ABSENT_LIB) + QStringLiteral("がありません")});
  EXPECT_EQ(w.Library().LibHandle(), nullptr);
  EXPECT_EQ(w.ListView3->RowCount(), 0);
  EXPECT_TRUE(LoopEndsAtOnce(w));
  app.Close();
  EXPECT_EQ(app.ReadListFile(), "[WGPCLIST]\r\n2\r\nA\r\nB\r\n");  // never read, so never replaced
}

TEST_F(RealLibrary, TheRealCompanionBindsAllFive) {
  TForm1& w = Open(netlib::LibraryFileName());
  EXPECT_TRUE(app.ui.boxes.isEmpty());
  EXPECT_FALSE(w.TerminateRequested());
  EXPECT_NE(w.Library().connectpc, nullptr);
  EXPECT_NE(w.Library().pingresult, nullptr);
}

}  // namespace
