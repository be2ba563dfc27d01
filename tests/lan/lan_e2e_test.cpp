// The real window on the test LAN of testlan.sh: the real companion library
// (loaded by bare name from beside this binary), the libsmbclient provider
// and the machine's sockets, inside the LAN's client namespace. run-e2e.sh
// starts the LAN, runs this binary there and stops the LAN.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "TListView.h"
#include "Unit1.h"
#include "app_fixture.h"
#include "companion.h"
#include "cp932.h"
#include "formlook.h"
#include "netprovider.h"
#include "sockets.h"
#include "source.h"
#include "uiservices.h"

namespace {

// The LAN of testlan.sh.
const QString kClient = "10.231.0.100";
const QString kMember1 = "10.231.0.11";
const QString kMember2 = "10.231.0.12";
const QString kLateHost = "10.231.0.13";
const QString kGarbler = "10.231.0.66";
const QString kWsdHost = "10.231.0.30";   // LLMNR (llmnrd) only
const QString kMdnsHost = "10.231.0.31";  // multicast DNS (avahi-daemon) only
const QString kLlmnrPc = "10.231.0.32";   // LLMNR both ways, after garbage
const QString kLongShare = "share-with-a-name-of-exactly-eighty-characters-xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
// Generous bounds so a stuck call fails the test instead of hanging it.
constexpr int kWatchBoundMs = 60000;

// Runs a subcommand of the LAN script (its path and run directory come from
// the environment run-e2e.sh sets up).
int LanScript(const std::string& args) {
  const char* script = std::getenv("MLK_LAN_SCRIPT");
  if (!script) return -1;
  return std::system(("'" + std::string(script) + "' " + args).c_str());
}

// Whether LATEHOST's server was started already (the watch test starts it).
bool LateServerUp() {
  const char* dir = std::getenv("MLK_LAN_DIR");
  QFile pids(QString::fromLocal8Bit(dir ? dir : "") + "/pids");
  return pids.open(QIODevice::ReadOnly) && pids.readAll().contains(" LATEHOST smbd\n");
}

QStringList Captions(const TListView* view) {
  QStringList out;
  for (int row = 0; row < view->RowCount(); ++row) out << view->Caption(row);
  return out;
}

std::set<QString> Set(const QStringList& list) { return {list.begin(), list.end()}; }

// A computer that could not be listed keeps a greyed node with its cause.
bool Failed(const QTreeWidgetItem* node) { return node->data(0, Qt::UserRole + 2).isValid(); }

// The computers listed, in order.
QStringList TopLevelTexts(const QTreeWidget* tree) {
  QStringList out;
  for (int i = 0; i < tree->topLevelItemCount(); ++i)
    if (!Failed(tree->topLevelItem(i))) out << tree->topLevelItem(i)->text(0);
  return out;
}

QStringList ChildTexts(const QTreeWidgetItem* node) {
  QStringList out;
  for (int i = 0; i < node->childCount(); ++i) out << node->child(i)->text(0);
  return out;
}

// A listed computer's node.
const QTreeWidgetItem* Computer(const QTreeWidget* tree, const QString& name) {
  for (int i = 0; i < tree->topLevelItemCount(); ++i)
    if (tree->topLevelItem(i)->text(0) == name && !Failed(tree->topLevelItem(i))) return tree->topLevelItem(i);
  return nullptr;
}

int RowOf(const TListView* view, const QString& caption) { return int(Captions(view).indexOf(caption)); }

class LanWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    listFile_ = dir_.filePath("mirelka.ini").toStdString();
  }
  // A background browse read the window left uses the provider.
  void TearDown() override { EXPECT_TRUE(discovery::Listing::WaitForReads(10000)); }

  // The list file the window reads at start-up.
  void WriteList(const std::vector<std::string>& names) {
    std::string text = "[WGPCLIST]\r\n" + std::to_string(names.size()) + "\r\n";
    for (const std::string& name : names) text += name + "\r\n";
    QFile file(QString::fromStdString(listFile_));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), qint64(text.size()));
  }

  std::string ReadList() const {
    QFile file(QString::fromStdString(listFile_));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
  }

  std::unique_ptr<TForm1> Open() {
    engines_ = std::make_unique<Engines>(platform_.SeamsFor(&ui_));
    const TForm1Deps deps = FormDepsFor(*engines_, listFile_);
    auto window = std::make_unique<TForm1>(deps);
    window->show();
    QCoreApplication::processEvents();
    return window;
  }

  static void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  // Clicks 追加 and lets the window's loop run until its check is over.
  static void Add(TForm1& w) {
    Click(w.Button11);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.WorkPending(); }, 30000));
  }
  // Clicks リソース展開 and lets the window's loop run until the tree is built.
  static void BuildTree(TForm1& w) {
    Click(w.Button1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Status() == "終了"; }, 30000));
  }

  // Fills the conversion box, clicks Button9 and returns both fields.
  std::pair<QString, QString> Convert(TForm1& w, const QString& name, const QString& address) {
    Click(w.Button10);
    w.Edit16->setText(name);
    w.Edit17->setText(address);
    Click(w.Button9);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.WorkPending(); }, 30000));
    return {w.Edit16->text(), w.Edit17->text()};
  }

  RecordingUi ui_;
  PlatformBackends platform_;
  std::unique_ptr<Engines> engines_;  // the last window's; each Open makes new ones
  QTemporaryDir dir_;
  std::string listFile_;
};

TEST_F(LanWindow, StartUpShowsTheWorkgroupAndTheClientsInterfaces) {
  auto w = Open();
  EXPECT_FALSE(w->TerminateRequested());
  EXPECT_TRUE(ui_.boxes.isEmpty()) << ui_.boxes.join(" | ").toStdString();
  EXPECT_EQ(w->workgroupname->text(), "TESTGROUP");
  EXPECT_FALSE(w->Edit14->text().isEmpty());

  const int row = RowOf(w->ListView1, kClient);
  ASSERT_GE(row, 0) << Captions(w->ListView1).join(",").toStdString();
  const QTreeWidgetItem* item = w->ListView1->topLevelItem(row);
  EXPECT_EQ(item->text(1), "255.255.255.0");
  EXPECT_FALSE(item->text(2).isEmpty());
  EXPECT_GE(RowOf(w->ListView1, "127.0.0.1"), 0);
}

// TESTGROUP's computers: the browse list's five, WSDHOST found only by
// WS-Discovery, MDNSHOST only by DNS-SD under its host name mdnshost.local
// (placed in TESTGROUP by its answer to node status, which comes after
// garbage), and MEMBER1, found by the browse list and by WS-Discovery, once.
const std::set<QString> kTestgroup = {"WGMASTER", "MEMBER1", "MEMBER2", "LATEHOST", "BIGSHARE", "WSDHOST", "mdnshost"};

TEST_F(LanWindow, WorkgroupListingMergesEverySourceOneRowPerComputer) {
  WriteList({"OLDPC"});
  auto w = Open();
  ASSERT_EQ(Captions(w->ListView3), QStringList{"OLDPC"});

  Click(w->Button5);
  const QStringList rows = Captions(w->ListView3);
  EXPECT_EQ(Set(rows), kTestgroup);
  EXPECT_EQ(rows.size(), int(kTestgroup.size())) << rows.join(",").toStdString();  // no duplicate
  for (int row = 0; row < w->ListView3->RowCount(); ++row) EXPECT_EQ(w->ListView3->SubItem(row), "");
  EXPECT_EQ(w->Status(), "終了");
  EXPECT_TRUE(ui_.boxes.isEmpty()) << ui_.boxes.join(" | ").toStdString();
  if (const char* png = std::getenv("MLK_E2E_GRAB")) w->grab().save(QString::fromLocal8Bit(png));

  // A second listing gives the same rows, not twice as many.
  Click(w->Button5);
  EXPECT_EQ(w->ListView3->RowCount(), int(kTestgroup.size()));
}

TEST_F(LanWindow, TreeReachesTheComputersAsTheListingNamesThem) {
  auto w = Open();
  // No browse list, and every computer the other sources found is placed elsewhere.
  // The read for an unknown workgroup takes the listing's whole bound; the
  // live sources get their start-up round first, so that mdnshost's node
  // status answer is not raced against that bound.
  QTest::qWait(2000);
  w->workgroupname->setText("NOSUCHGROUP");
  Click(w->Button5);
  EXPECT_EQ(Captions(w->ListView3), QStringList{});
  // The library finds no master browser of that workgroup and says so by its errno.
  EXPECT_EQ(w->Status(), "終了 (ブラウズリストなし: ECONNREFUSED、WSDは他WGの2台のみ、DNS-SDは他WGの1台のみ)");
  EXPECT_TRUE(ui_.boxes.isEmpty()) << ui_.boxes.join(" | ").toStdString();  // the others could ask
  w->workgroupname->setText("TESTGROUP");
  Click(w->Button5);
  ASSERT_EQ(Set(Captions(w->ListView3)), kTestgroup);
  ui_.boxes.clear();
  BuildTree(*w);
  for (const auto& [computer, share] :
       {std::pair<QString, QString>{"WSDHOST", "wsdshare"}, {"mdnshost", "mdnsshare"}}) {
    SCOPED_TRACE(computer.toStdString());
    const QTreeWidgetItem* node = Computer(w->TreeView1, computer);
    ASSERT_NE(node, nullptr) << ui_.boxes.join(" | ").toStdString();
    EXPECT_EQ(ChildTexts(node), QStringList{share});
  }
  if (const char* png = std::getenv("MLK_E2E_GRAB_TREE")) {  // the README's picture, the long share list folded
    for (int i = 0; i < w->TreeView1->topLevelItemCount(); ++i) {
      QTreeWidgetItem* node = w->TreeView1->topLevelItem(i);
      if (node->text(0) == "BIGSHARE") node->setExpanded(false);
    }
    w->grab().save(QString::fromLocal8Bit(png));
  }
}

TEST_F(LanWindow, AComputerOfAnotherWorkgroupIsListedOnlyUnderIt) {
  auto w = Open();
  w->workgroupname->setText("othergrp");  // compared without case
  Click(w->Button5);
  // WSDHOST and MEMBER1 say TESTGROUP, and so does MDNSHOST's node status.
  EXPECT_EQ(Set(Captions(w->ListView3)), (std::set<QString>{"OTHERPC"}));
  EXPECT_EQ(w->Status(), "終了");
}

TEST_F(LanWindow, ListFileWrittenAtShutdownHoldsTheRows) {
  auto w = Open();
  Click(w->Button5);
  const QStringList rows = Captions(w->ListView3);
  ASSERT_EQ(rows.size(), int(kTestgroup.size()));
  w.reset();  // FormDestroy

  std::string expected = "[WGPCLIST]\r\n" + std::to_string(rows.size()) + "\r\n";
  for (const QString& row : rows) expected += row.toStdString() + "\r\n";
  EXPECT_EQ(ReadList(), expected);
  EXPECT_TRUE(ui_.errorBoxes.isEmpty()) << ui_.errorBoxes.join(" | ").toStdString();
}

TEST_F(LanWindow, ManualAddTakesTheTypedNameUpperCasedWithItsAddress) {
  auto w = Open();
  QTest::keyClicks(w->Edit15, "member2");
  ASSERT_EQ(w->Edit15->text(), "MEMBER2");
  Add(*w);
  ASSERT_EQ(w->ListView3->RowCount(), 1);
  EXPECT_EQ(w->ListView3->Caption(0), "MEMBER2");
  EXPECT_EQ(w->ListView3->SubItem(0), kMember2);
  EXPECT_EQ(w->Edit15->text(), "MEMBER2");

  Add(*w);
  EXPECT_EQ(ui_.boxes, QStringList{"同名のコンピュータ名が登録されています"});
  EXPECT_EQ(w->ListView3->RowCount(), 1);

  // A computer nobody answers for: no row and no box.
  w->Edit15->clear();
  QTest::keyClicks(w->Edit15, "nosuchpc");
  Add(*w);
  EXPECT_EQ(w->ListView3->RowCount(), 1);
  EXPECT_EQ(ui_.boxes.size(), 1);
}

TEST_F(LanWindow, ShareTreeShowsEachHostsRealSharesAndReportsTheUnknownOne) {
  WriteList({"WGMASTER", "MEMBER1", "NOSUCHPC", "MEMBER2"});
  auto w = Open();
  BuildTree(*w);

  EXPECT_EQ(TopLevelTexts(w->TreeView1), (QStringList{"WGMASTER", "MEMBER1", "MEMBER2"}));
  EXPECT_EQ(ui_.boxes, QStringList{"NOSUCHPCのリソースを取得できません"});
  EXPECT_EQ(w->Status(), "終了");

  struct Expected {
    const char* computer;
    std::set<QString> shares;
    QString address;
  };
  const Expected table[] = {
      {"WGMASTER", {"public"}, "10.231.0.10"},
      {"MEMBER1", {QString::fromUtf8("共有資料"), "data"}, kMember1},
      {"MEMBER2", {"team docs", "tools"}, kMember2},
  };
  for (const Expected& e : table) {
    SCOPED_TRACE(e.computer);
    const QTreeWidgetItem* node = Computer(w->TreeView1, e.computer);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(Set(ChildTexts(node)), e.shares);  // hidden$ and IPC$ left out
    EXPECT_TRUE(node->isExpanded());
    EXPECT_EQ(w->ListView3->SubItem(RowOf(w->ListView3, e.computer)), e.address);
  }
  // The failed lookup still leaves the library's text in the empty column.
  EXPECT_FALSE(w->ListView3->SubItem(RowOf(w->ListView3, "NOSUCHPC")).isEmpty());

  // Opening the share with a blank: the path goes to the launcher unquoted.
  const QTreeWidgetItem* member2 = Computer(w->TreeView1, "MEMBER2");
  ASSERT_NE(member2, nullptr);
  QTreeWidgetItem* teamDocs = nullptr;
  for (int i = 0; i < member2->childCount(); ++i)
    if (member2->child(i)->text(0) == "team docs") teamDocs = member2->child(i);
  ASSERT_NE(teamDocs, nullptr);
  w->TreeView1->setCurrentItem(teamDocs);
  w->TreeView1DblClick();
  ASSERT_EQ(ui_.launched.size(), 1u);
  EXPECT_EQ(ui_.launched[0], "explorer.exe /root, /e,\\\\MEMBER2\\team docs");
}

TEST_F(LanWindow, TreeReachesComputersWithoutNetbiosByTheirLinkLocalNames) {
  WriteList({"WSDHOST", "MDNSHOST"});
  auto w = Open();
  BuildTree(*w);

  EXPECT_EQ(TopLevelTexts(w->TreeView1), (QStringList{"WSDHOST", "MDNSHOST"}));
  EXPECT_TRUE(ui_.boxes.isEmpty()) << ui_.boxes.join(" | ").toStdString();
  const QTreeWidgetItem* wsd = Computer(w->TreeView1, "WSDHOST");
  const QTreeWidgetItem* mdns = Computer(w->TreeView1, "MDNSHOST");
  ASSERT_TRUE(wsd && mdns);
  EXPECT_EQ(ChildTexts(wsd), QStringList{"wsdshare"});
  EXPECT_EQ(ChildTexts(mdns), QStringList{"mdnsshare"});
  EXPECT_EQ(w->ListView3->SubItem(0), kWsdHost);
  EXPECT_EQ(w->ListView3->SubItem(1), kMdnsHost);
}

TEST_F(LanWindow, WatchTurnsToSuccessWhenTheServerComesUpAfterTheSecondTick) {
  if (LateServerUp()) GTEST_SKIP() << "LATEHOST is already serving: the watch needs a fresh LAN";
  WriteList({"MEMBER1", "LATEHOST"});
  auto w = Open();
  w->repeatping->setInterval(300);
  w->ListView3->setCurrentItem(w->ListView3->topLevelItem(1));
  ASSERT_EQ(w->ListView3->SelectedRow(), 1);

  Click(w->SpeedButton1);
  ASSERT_TRUE(w->SpeedButton1->isChecked());
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->ListView3->SubItem(1).startsWith("Err "); }, kWatchBoundMs))
      << "no failed check";
  QTest::qWait(700);  // more ticks, and the watch goes on
  EXPECT_TRUE(w->ListView3->SubItem(1).startsWith("Err ")) << w->ListView3->SubItem(1).toStdString();
  EXPECT_TRUE(w->SpeedButton1->isChecked());
  EXPECT_TRUE(w->repeatping->isActive());

  ASSERT_EQ(LanScript("start-late-smbd"), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->repeatping->isActive(); }, kWatchBoundMs)) << "watch never succeeded";
  QCoreApplication::processEvents();
  EXPECT_EQ(w->ListView3->SubItem(1), kLateHost);
  EXPECT_FALSE(w->SpeedButton1->isChecked());
  EXPECT_TRUE(w->SpeedButton1->isEnabled());
  EXPECT_EQ(w->Status(), "接続確認終了");
  EXPECT_EQ(w->ListView3->SubItem(0), "");  // the other row is never touched
  EXPECT_TRUE(ui_.boxes.isEmpty()) << ui_.boxes.join(" | ").toStdString();
}

TEST_F(LanWindow, ConversionBoxResolvesNamesAndAddressesWithoutDns) {
  auto w = Open();
  struct Case {
    const char* what;
    QString name, address;  // typed
    QString wantName, wantAddress;
  };
  const Case cases[] = {
      {"name by NetBIOS", "MEMBER2", "", "MEMBER2", kMember2},
      {"name in the hosts file", "MEMBER1", "", "MEMBER1", kMember1},
      {"address by node status", "", kMember2, "MEMBER2", kMember2},
      {"address of the master", "", "10.231.0.10", "WGMASTER", "10.231.0.10"},
      {"name by multicast DNS only", "MDNSHOST", "", "MDNSHOST", kMdnsHost},
      {"name under .local", "mdnshost.local", "", "MDNSHOST.LOCAL", kMdnsHost},
      {"address by multicast DNS only", "", kMdnsHost, "MDNSHOST", kMdnsHost},
      {"name by LLMNR only", "WSDHOST", "", "WSDHOST", kWsdHost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto [name, address] = Convert(*w, c.name, c.address);
    EXPECT_EQ(name.toUpper(), c.wantName);
    EXPECT_EQ(address, c.wantAddress);
  }
  // The hosts file names the address, in whatever case it is written there.
  EXPECT_EQ(Convert(*w, "", kMember1).first.toUpper(), "MEMBER1");

  const auto unknown = Convert(*w, "NOSUCHPC", "");
  EXPECT_TRUE(unknown.second.startsWith("Err ")) << unknown.second.toStdString();
  const auto silent = Convert(*w, "", "10.231.0.77");
  EXPECT_TRUE(silent.first.startsWith("Err ")) << silent.first.toStdString();
  EXPECT_TRUE(ui_.boxes.isEmpty()) << ui_.boxes.join(" | ").toStdString();
}

// Bad input from the network: GARBLER answers with malformed NetBIOS packets
// (and for GARBLEOK and node status, with one sound answer after them),
// BIGSHARE has 501 shares, one of them with an 80-character name.

TEST_F(LanWindow, GarbageAnswersAreSkippedAndTheSoundAnswerAfterThemIsTaken) {
  auto w = Open();
  struct Case {
    const char* what;
    QString name, address;  // typed
    QString want;           // the field that gets filled
  };
  const Case cases[] = {
      // a negative answer, a query, another transaction and broken packets
      // carry addresses that must not be taken
      {"only garbage for the name", "GARBLER", "", "Err "},
      {"garbage, then the address", "GARBLEOK", "", kGarbler},
      {"garbage, then the name table", "", kGarbler, "GARBLEOK"},
      // LLMNR and multicast DNS: broken and forged answers, and for the
      // reverse name a sound-looking one from an address that was not asked
      {"only garbage by LLMNR", "LLMNRBAD", "", "Err "},
      {"garbage by both, then the address by LLMNR", "LLMNRPC", "", kLlmnrPc},
      {"forged and garbage, then the name by LLMNR", "", kLlmnrPc, "LLMNRPC"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto [name, address] = Convert(*w, c.name, c.address);
    const QString filled = c.name.isEmpty() ? name : address;
    if (c.want == "Err ")
      EXPECT_TRUE(filled.startsWith("Err ")) << filled.toStdString();
    else
      EXPECT_EQ(filled, c.want);
  }

  QTest::keyClicks(w->Edit15, "garbler");
  Add(*w);
  EXPECT_EQ(w->ListView3->RowCount(), 0);
  EXPECT_TRUE(ui_.boxes.isEmpty()) << ui_.boxes.join(" | ").toStdString();
}

TEST_F(LanWindow, ShareTreeWithSilentAndBadRowsKeepsTheRowOrderAndItsBound) {
  // Names nobody holds, unused addresses, a 255-byte name, a server that
  // never answers SMB and one that drops the logon, between farm computers.
  QString huge;
  for (int i = 0; i < 127; ++i) huge += QStringLiteral("あ");
  huge += QStringLiteral("A");
  ASSERT_EQ(Cp932(huge.toUtf8().constData()).size(), 255u);  // 127 double-byte characters and one byte
  const QStringList rows = {"FARM01", "NOBODY1", "10.231.0.90", huge,          "TARPIT",
                            "FARM02", "DROPPER", "NOBODY2",     "10.231.0.91", "FARM03"};
  auto w = Open();
  for (const QString& row : rows) w->ListView3->AddRow(row, {QString()});
  QElapsedTimer clock;
  clock.start();
  BuildTree(*w);
  EXPECT_LT(clock.elapsed(), 10000) << "the silent rows held each other";
  EXPECT_EQ(TopLevelTexts(w->TreeView1), (QStringList{"FARM01", "FARM02", "FARM03"}));
  QStringList boxes;
  for (const QString& row : {rows[1], rows[2], rows[3], rows[4], rows[6], rows[7], rows[8]})
    boxes << row + "のリソースを取得できません";
  EXPECT_EQ(ui_.boxes, boxes);
  EXPECT_EQ(ChildTexts(Computer(w->TreeView1, "FARM02")), QStringList{"farm"});
}

// Four servers that accept and never answer, and one whose smbd is frozen
// and then killed while its listing runs: each fails its own row; the
// listings around them go on. The window's process holds no libsmbclient
// and no zombie afterwards.
TEST_F(LanWindow, HungAndStoppedServersFailOnlyTheirOwnRows) {
  ASSERT_EQ(LanScript("freeze-smbd FARM05"), 0);
  struct Restore {
    ~Restore() {
      LanScript("stop-smbd FARM05");
      LanScript("start-smbd FARM05");
    }
  } restore;
  const QStringList rows = {"FARM04", "TARPIT", "FARM05", "TARPIT2", "TARPIT3", "FARM06", "TARPIT4", "FARM07"};
  auto w = Open();
  for (const QString& row : rows) w->ListView3->AddRow(row, {QString()});
  QTimer::singleShot(1500, [] { LanScript("stop-smbd FARM05"); });
  BuildTree(*w);
  EXPECT_EQ(TopLevelTexts(w->TreeView1), (QStringList{"FARM04", "FARM06", "FARM07"}));
  QStringList boxes;
  for (const QString& row : {rows[1], rows[2], rows[3], rows[4], rows[6]}) boxes << row + "のリソースを取得できません";
  EXPECT_EQ(ui_.boxes, boxes);

  QFile maps("/proc/self/maps");
  ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
  EXPECT_FALSE(maps.readAll().contains("libsmbclient"));
  // No child of this process is left unreaped.
  for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
    QFile stat("/proc/" + entry + "/stat");
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QList<QByteArray> fields = stat.readAll().split(')').value(1).trimmed().split(' ');
    if (fields.size() < 2 || fields[1].toInt() != getpid()) continue;
    EXPECT_NE(fields[0], "Z") << entry.toStdString();
  }
}

TEST_F(LanWindow, TreeShowsWhatIsSoundBesideGarbageAndAHugeShareList) {
  WriteList({"BIGSHARE", "GARBLER", "MEMBER1"});
  auto w = Open();
  BuildTree(*w);

  EXPECT_EQ(TopLevelTexts(w->TreeView1), (QStringList{"BIGSHARE", "MEMBER1"}));
  EXPECT_EQ(ui_.boxes, QStringList{"GARBLERのリソースを取得できません"});
  const QTreeWidgetItem* big = Computer(w->TreeView1, "BIGSHARE");
  ASSERT_NE(big, nullptr);
  const QStringList shares = ChildTexts(big);
  EXPECT_EQ(shares.size(), 501);
  EXPECT_TRUE(shares.contains(kLongShare));
  EXPECT_TRUE(shares.contains("s001"));
  EXPECT_TRUE(shares.contains("s500"));
  EXPECT_EQ(kLongShare.size(), 80);
  const QTreeWidgetItem* member1 = Computer(w->TreeView1, "MEMBER1");
  ASSERT_NE(member1, nullptr);
  EXPECT_EQ(member1->childCount(), 2);
}

TEST_F(LanWindow, GarbageAnsweringEveryQueryDoesNotHideTheRealAnswer) {
  ASSERT_EQ(LanScript("garbage-mode all"), 0);
  struct Restore {
    ~Restore() { LanScript("garbage-mode own"); }
  } restore;
  WriteList({"MEMBER2"});
  auto w = Open();

  EXPECT_EQ(Convert(*w, "MEMBER2", "").second, kMember2);
  BuildTree(*w);
  const QTreeWidgetItem* member2 = Computer(w->TreeView1, "MEMBER2");
  ASSERT_NE(member2, nullptr) << ui_.boxes.join(" | ").toStdString();
  EXPECT_EQ(Set(ChildTexts(member2)), (std::set<QString>{"team docs", "tools"}));
  EXPECT_EQ(w->ListView3->SubItem(0), kMember2);
}

// FLOODER answers a query for FLOODME (NetBIOS, LLMNR and mDNS) with a second
// of the largest answers there are, costly to read and naming no address.
// The lookup must still end near its 250 ms bound (it took seconds once); the
// margin here only keeps a loaded machine from failing it. Figures:
// bench/README.md.
TEST(LanFlood, AFloodOfAnswersEndsTheNameQueryWithinItsBound) {
  const auto dynlib = netlib::MakePlatformDynamicLibrary();
  netlib::CompanionLibrary library(*dynlib);
  ASSERT_TRUE(library.Load(netlib::LibraryFileName()));
  ASSERT_TRUE(library.BindEntryPoints().empty());
  netlib::ConvBuffer<256> buffer;
  buffer.SetInput("FLOODME");
  QElapsedTimer clock;
  clock.start();
  EXPECT_NE(netlib::Call(library.nametoip, buffer), 0) << buffer.Output();
  EXPECT_LT(clock.elapsed(), 2000);
  // The flood still runs: a name NetBIOS knows is found beside it.
  buffer.SetInput("MEMBER2");
  EXPECT_EQ(netlib::Call(library.nametoip, buffer), 0);
  EXPECT_EQ(buffer.Output(), kMember2.toStdString());
}

// A click after the first search window: the rows at once from what the
// sources already know, and nothing appended afterwards.
TEST_F(LanWindow, WarmListingAnswersFromTheLiveTable) {
  auto w = Open();
  QTest::qWait(2500);  // the first window is over, node status answered
  Click(w->Button5);
  EXPECT_EQ(w->Status(), "終了");
  const QStringList rows = Captions(w->ListView3);
  EXPECT_EQ(Set(rows), kTestgroup);
  EXPECT_EQ(rows.size(), int(kTestgroup.size())) << rows.join(",").toStdString();
  QTest::qWait(2000);  // the new search's answers go to the table, not to the rows
  EXPECT_EQ(Captions(w->ListView3), rows);
}

// HELLOPC's wsdd says Hello and, stopped, Bye; MDNSHOST's smbd, stopped,
// withdraws its DNS-SD service. Each shows in the next listing without a
// search in between.
TEST_F(LanWindow, HelloByeAndAWithdrawnServiceReachTheNextListing) {
  struct Restore {
    ~Restore() {
      LanScript("hello-down");
      LanScript("restore-dnssd");
    }
  } restore;
  auto w = Open();
  QTest::qWait(2500);
  ASSERT_EQ(LanScript("hello-up"), 0);
  QTest::qWait(6000);  // the Hello and the metadata fetched from its sender (bound 5 s)
  Click(w->Button5);
  EXPECT_TRUE(Captions(w->ListView3).contains("HELLOPC")) << Captions(w->ListView3).join(",").toStdString();

  ASSERT_EQ(LanScript("hello-down"), 0);
  ASSERT_EQ(LanScript("withdraw-dnssd"), 0);
  QTest::qWait(3000);
  Click(w->Button5);
  const QStringList rows = Captions(w->ListView3);
  EXPECT_FALSE(rows.contains("HELLOPC")) << rows.join(",").toStdString();
  EXPECT_FALSE(rows.contains("mdnshost")) << rows.join(",").toStdString();
  EXPECT_TRUE(rows.contains("WSDHOST")) << rows.join(",").toStdString();
}

// HELLOPC is renamed under the same endpoint and address, without a Bye:
// wsdd's own Hello keeps the old name (same metadata version), a Hello with
// a new version brings the new one.
TEST_F(LanWindow, AHelloWithNewMetadataBringsTheNewName) {
  struct Restore {
    ~Restore() { LanScript("hello-down"); }
  } restore;
  auto w = Open();
  QTest::qWait(2500);
  ASSERT_EQ(LanScript("hello-up"), 0);
  QTest::qWait(6000);
  ASSERT_EQ(LanScript("rename-hello RENAMEDPC"), 0);
  QTest::qWait(6000);  // the fetch for the new version (bound 5 s)
  Click(w->Button5);
  const QStringList rows = Captions(w->ListView3);
  EXPECT_TRUE(rows.contains("RENAMEDPC")) << rows.join(",").toStdString();
  EXPECT_FALSE(rows.contains("HELLOPC")) << rows.join(",").toStdString();
}

// The avahi-daemon the window talks to stops and starts again: the DNS-SD
// follower comes back by itself, so a service registered after the restart
// reaches the next listing with no search or interface change in between.
TEST_F(LanWindow, TheDnsSdFollowerComesBackAfterTheDaemonRestarts) {
  struct Restore {
    ~Restore() { LanScript("restore-dnssd"); }
  } restore;
  auto w = Open();
  QTest::qWait(2500);
  ASSERT_EQ(LanScript("withdraw-dnssd"), 0);
  QTest::qWait(3000);
  Click(w->Button5);  // its search ends long before the service is back
  ASSERT_FALSE(Captions(w->ListView3).contains("mdnshost")) << Captions(w->ListView3).join(",").toStdString();

  ASSERT_EQ(LanScript("restart-avahi"), 0);
  QTest::qWait(2500);  // the lost client noticed, a new one made after its pause
  ASSERT_EQ(LanScript("restore-dnssd"), 0);
  QTest::qWait(3000);  // the announcement reaches the follower and is resolved
  Click(w->Button5);
  EXPECT_TRUE(Captions(w->ListView3).contains("mdnshost")) << Captions(w->ListView3).join(",").toStdString();
}

// FORGER sends 10,000 Hellos, the first for WSDHOST's endpoint, each naming
// FORGER's own metadata server, whose answers never end: the window keeps
// answering, and the next listing is the one before, nothing added and
// WSDHOST still there.
TEST_F(LanWindow, AHelloFloodWithEndlessMetadataLeavesTheListingAsItWas) {
  auto w = Open();
  QTest::qWait(2500);
  Click(w->Button5);
  ASSERT_EQ(Set(Captions(w->ListView3)), kTestgroup);
  ASSERT_EQ(LanScript("forge-hellos 10000"), 0);
  bool answered = false;
  QTimer::singleShot(100, [&] { answered = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return answered; }, 10000)) << "the window stopped answering";
  QTest::qWait(3000);  // the fetches of the flood run into their bound
  Click(w->Button5);
  EXPECT_EQ(w->Status(), "終了");
  EXPECT_EQ(Set(Captions(w->ListView3)), kTestgroup);
  EXPECT_EQ(w->ListView3->RowCount(), int(kTestgroup.size()));
}

// The same window on a LAN where nobody answers: run-e2e.sh runs this case
// alone in a namespace of its own whose one interface leads nowhere and with
// no mDNS daemon to ask.
TEST_F(LanWindow, EmptyLanListingSaysWhatEachSourceFound) {
  if (!std::getenv("MLK_LAN_EMPTY")) GTEST_SKIP() << "runs only on the empty LAN";
  auto w = Open();
  EXPECT_EQ(w->workgroupname->text(), "");
  w->workgroupname->setText("TESTGROUP");
  Click(w->Button5);
  EXPECT_EQ(w->ListView3->RowCount(), 0);
  // No avahi-daemon here: DNS-SD asked through the program's own browse.
  // The library finds no master browser to ask and says so by its errno.
  EXPECT_EQ(w->Status(), QString::fromUtf8("終了 (ブラウズリストなし: ECONNREFUSED、WSD応答なし、DNS-SD応答なし)"));
  EXPECT_TRUE(ui_.boxes.isEmpty()) << ui_.boxes.join(" | ").toStdString();  // WS-Discovery could ask
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("MLK_LAN_DIR")) {
    std::fputs("lan_e2e runs on the test LAN: use tests/lan/run-e2e.sh\n", stderr);
    return 77;
  }
  QApplication app(argc, argv);
  UseStandInFonts();  // the window as the program draws it (the README's picture)
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
