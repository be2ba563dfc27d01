// The share tree and the file-manager command line.
#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <QToolTip>

#include "TListView.h"
#include "app_fixture.h"
#include "causes.h"
#include "launcher.h"
#include "uiservices_desktop.h"
#include "share_tree.h"

namespace {

// The listed computers and their shares (a computer that failed keeps a
// greyed node with its cause, left out here).
QStringList Tree(const QTreeWidget* tree) {
  QStringList out;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* computer = tree->topLevelItem(i);
    if (computer->data(0, Qt::UserRole + 2).isValid()) continue;
    out.append(computer->text(0));
    for (int j = 0; j < computer->childCount(); ++j) out.append("  " + computer->child(j)->text(0));
  }
  return out;
}

class ShareTree : public ::testing::Test {
 protected:
  void SetUp() override {
    form = &app.Open();
    app.companion.nametoip = FakeCompanion::Answer(0, "10.0.0.1");
  }
  void Rows(const QStringList& captions) {
    for (const QString& c : captions) form->ListView3->AddRow(c, {QString()});
  }
  // Clicks リソース展開 and lets the window's loop run until the tree is built.
  void Build() {
    form->Button1->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Status() == QStringLiteral("終了"); }, 5000));
  }
  AppFixture app;
  TForm1* form = nullptr;
};

TEST_F(ShareTree, ComputersWithTheirSharesInRowOrderAllExpanded) {
  app.provider.Add("\\\\PC01", {"\\\\PC01\\DATA", "\\\\PC01\\my docs"}).Add("\\\\PC02", {});
  Rows({"PC01", "PC02"});
  form->Button1->click();
  EXPECT_EQ(form->Status(), QStringLiteral("処理中"));  // the click returns at once
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->Status() == QStringLiteral("終了"); }, 5000));
  EXPECT_EQ(Tree(form->TreeView1), (QStringList{"PC01", "  DATA", "  my docs", "PC02"}));
  EXPECT_EQ(form->Status(), QStringLiteral("終了"));
  EXPECT_TRUE(form->TreeView1->topLevelItem(0)->isExpanded());
  EXPECT_TRUE(app.ui.boxes.isEmpty());
  EXPECT_EQ(Addresses(*form), (QStringList{"10.0.0.1", "10.0.0.1"}));
  // The workers ask in no fixed order.
  const auto& requests = app.provider.requests();
  const auto pc02 = std::find_if(requests.begin(), requests.end(),
                                 [](const auto& request) { return request.remoteName == "\\\\PC02"; });
  ASSERT_NE(pc02, requests.end());
  EXPECT_TRUE(pc02->providerNonNull);
  EXPECT_EQ(pc02->provider, "");
  EXPECT_EQ(app.companion.sizes, (std::vector<int32_t>{511, 511}));
  EXPECT_EQ(app.provider.openHandles(), 0);
}

// A row that fails says why and what to do on the status line while its box
// stands, and keeps it as the tooltip of its greyed node: a cause the probe
// found (a hung server, never handed to the provider) and one the provider
// gave (its helper crashed).
TEST_F(ShareTree, EachFailedRowsCauseStandsOnTheStatusLineAndItsNodesTooltip) {
  app.smbProbe = [](const std::string& address) {
    return netinfo::SmbProbe{address == "10.0.0.9" ? netinfo::SmbReach::kHung : netinfo::SmbReach::kSmb2};
  };
  app.companion.nametoip = [](char* b, int32_t s) {
    return FakeCompanion::Answer(0, std::string(b) == "HUNG" ? "10.0.0.9" : "10.0.0.2")(b, s);
  };
  app.provider.FailOpen("\\\\CRASHED", 1204, {netinfo::Cause::kHelperFailed, "helper ended by signal 11"});
  app.provider.Add("\\\\GOOD", {"\\\\GOOD\\S"});
  QStringList statuses;
  app.ui.onMessage = [&] { statuses << form->Status(); };
  Rows({"HUNG", "CRASHED", "GOOD"});
  Build();
  const QString hung =
      QStringLiteral("応答がありません（ハングしています）。相手のコンピュータかファイル共有を再起動してください");
  const QString crashed = QStringLiteral(
      "このコンピュータで SMB "
      "ライブラリが異常終了しました。やり直してください。「接続を診断」でどこで失敗するか確かめられます");
  EXPECT_EQ(statuses, (QStringList{hung, crashed}));
  EXPECT_EQ(app.ui.boxes, (QStringList{QStringLiteral("HUNGのリソースを取得できません"),
                                       QStringLiteral("CRASHEDのリソースを取得できません")}));
  ASSERT_EQ(form->TreeView1->topLevelItemCount(), 3);
  EXPECT_EQ(form->TreeView1->topLevelItem(0)->toolTip(0), hung);
  EXPECT_EQ(form->TreeView1->topLevelItem(1)->toolTip(0), crashed);
  // The hung computer's listing was never asked for.
  for (const auto& request : app.provider.requests()) EXPECT_NE(request.remoteName, "\\\\HUNG");
  if (const QString grabDir = qEnvironmentVariable("MLK_GRAB_DIR"); !grabDir.isEmpty()) {
    form->show();
    form->SetStatus(hung);
    form->grab().save(grabDir + "/cause-window.png");
    QToolTip::showText(form->mapToGlobal(QPoint(300, 120)), hung, form);
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->inherits("QTipLabel")) w->grab().save(grabDir + "/cause-tooltip.png");
    const auto desktop = MakeDesktopUiServices(form);
    QTimer::singleShot(200, [&] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) {
          d->grab().save(grabDir + "/diagnose-dialog.png");
          d->accept();
        }
    });
    netinfo::Diagnosis d;
    d.name = "HUNG";
    d.address = netinfo::ResolvedHost{"10.0.0.9", netinfo::NameSource::kNetbios};
    d.layers = {
        {netinfo::Layer::kName, true, 251}, {netinfo::Layer::kTcp, true, 1}, {netinfo::Layer::kNegotiate, false, 1499}};
    d.probe.reach = netinfo::SmbReach::kHung;
    d.probe.port = 445;
    d.failure = netinfo::ProbeCause(d.probe);
    desktop->ShowReport(QStringLiteral("接続の診断"),
                        QStringLiteral("\\\\HUNG\n") + causes::DiagnosisLines(d, true, false).join('\n'));
    QTimer::singleShot(200, [&] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
          box->grab().save(grabDir + "/smb1-question.png");
          box->reject();
        }
    });
    desktop->Question(
        QStringLiteral("OLDNAS は古い SMB1 でしか接続できません。このコンピュータに限り SMB1 を使いますか？"),
        QStringLiteral("SMB1 を使う"), QStringLiteral("使わない"));
  }
}

// An old computer that speaks only SMB1 is listed only with the user's
// consent, asked once per computer; the consent is kept beside the list file
// for the address it was given at, and a name that answers from another
// address (a spoofed NetBIOS answer) carries none.
TEST(Smb1Consent, AskedOnceKeptForItsAddressAndNeverCarriedElsewhere) {
  AppFixture app;
  app.consents = std::make_unique<Smb1Consents>(Smb1ConsentPath(app.ListPath()));
  app.provider.canAllowSmb1 = true;
  app.provider.Add("\\\\OLDNAS", {"\\\\OLDNAS\\old"});
  app.smbProbe = [](const std::string&) { return netinfo::SmbProbe{netinfo::SmbReach::kSmb1Only}; };
  std::string at = "10.0.0.5";
  TForm1& form = app.Open();
  app.companion.nametoip = [&at](char* b, int32_t s) { return FakeCompanion::Answer(0, at)(b, s); };
  form.ListView3->AddRow(QStringLiteral("OLDNAS"), {QString()});
  auto build = [&] {
    form.Button1->click();
    return QTest::qWaitFor([&] { return form.Status() == QStringLiteral("終了"); }, 5000);
  };
  const QString question =
      QStringLiteral("OLDNAS は古い SMB1 でしか接続できません。このコンピュータに限り SMB1 を使いますか？");
  // The opens of the computer (the listing's browse reads use the provider too).
  auto opens = [&app] {
    std::vector<fakes::OpenRequest> found;
    for (const auto& request : app.provider.requests())
      if (request.remoteName == "\\\\OLDNAS") found.push_back(request);
    return found;
  };
  ASSERT_TRUE(build());  // refused: not listed, and not asked again in this session
  ASSERT_TRUE(build());
  EXPECT_EQ(app.ui.questions, QStringList{question});
  EXPECT_EQ(app.ui.boxes.size(), 2);
  EXPECT_TRUE(opens().empty());
  EXPECT_TRUE(form.TreeView1->topLevelItem(0)->toolTip(0).startsWith(QStringLiteral("古い SMB1 でしか接続できません")));

  app.Close();
  app.consents = std::make_unique<Smb1Consents>(Smb1ConsentPath(app.ListPath()));
  app.ui.questionAnswer = true;
  app.Open();
  TForm1& again = app.form();
  again.Button1->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return again.Status() == QStringLiteral("終了"); }, 5000));
  ASSERT_EQ(opens().size(), 1u);
  EXPECT_TRUE(opens()[0].allowSmb1);
  EXPECT_EQ(again.TreeView1->topLevelItem(0)->childCount(), 1);
  // Kept in the settings file, bound to the address it was given at, and
  // not for another address.
  Smb1Consents kept(Smb1ConsentPath(app.ListPath()));
  ASSERT_TRUE(kept.Load());
  EXPECT_TRUE(kept.Allowed("OLDNAS", {"10.0.0.5", netinfo::NameSource::kNetbios}));
  EXPECT_FALSE(kept.Allowed("OLDNAS", {"10.0.0.66", netinfo::NameSource::kNetbios}));
  EXPECT_FALSE(kept.Allowed("OTHER", {"10.0.0.5", netinfo::NameSource::kNetbios}));
  // Withdrawn, it is gone from the file too.
  ASSERT_TRUE(kept.Withdraw("oldnas"));
  Smb1Consents reread(Smb1ConsentPath(app.ListPath()));
  ASSERT_TRUE(reread.Load());
  EXPECT_FALSE(reread.Kept("OLDNAS"));
  // A settings file that is not ours is ignored with a reason, and kept
  // aside when a consent is saved over it.
  QFile bad(QString::fromStdString(Smb1ConsentPath(app.ListPath())));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("{\"smb1\": 7");
  bad.close();
  Smb1Consents corrupt(Smb1ConsentPath(app.ListPath()));
  EXPECT_FALSE(corrupt.Load());
  EXPECT_FALSE(corrupt.Kept("OLDNAS"));
  ASSERT_TRUE(corrupt.Allow("NAS2", {"10.0.0.7", netinfo::NameSource::kDns}));
  EXPECT_TRUE(QFile::exists(QString::fromStdString(Smb1ConsentPath(app.ListPath())) + ".bad"));
}

TEST_F(ShareTree, NodeOnlyWhenBothCallsSucceedOneBoxPerFailingRow) {
  app.provider.Add("\\\\GOOD", {"\\\\GOOD\\S"}).Add("\\\\NONAME", {"\\\\NONAME\\S"});
  app.provider.FailOpen("\\\\CLOSED", 53);
  app.companion.nametoip = [](char* b, int32_t s) {
    const bool unknown = std::string(b) == "NONAME";
    return FakeCompanion::Answer(unknown ? 1 : 0, unknown ? "unknown" : "10.0.0.2")(b, s);
  };
  Rows({"CLOSED", "GOOD", "NONAME"});
  form->ListView3->SetSubItem(1, QStringLiteral("192.168.9.9"));
  Build();
  EXPECT_EQ(Tree(form->TreeView1), (QStringList{"GOOD", "  S"}));
  EXPECT_EQ(app.ui.boxes, (QStringList{QStringLiteral("CLOSEDのリソースを取得できません"),
                                       QStringLiteral("NONAMEのリソースを取得できません")}));
  // A failed lookup still fills an empty column; a filled column is left alone.
  EXPECT_EQ(Addresses(*form), (QStringList{"10.0.0.2", "192.168.9.9", "unknown"}));
}

TEST_F(ShareTree, EachRowIsResolvedOnceAndTheProviderGetsThatAddress) {
  app.provider.ResolveOnOpen().Add("\\\\PC01", {"\\\\PC01\\A"}).Add("\\\\NONAME", {});
  app.companion.nametoip = [](char* b, int32_t s) {
    const bool unknown = std::string(b) == "NONAME";
    return FakeCompanion::Answer(unknown ? 2 : 0, unknown ? "unknown" : "10.0.0.5")(b, s);
  };
  Rows({"PC01", "NONAME"});
  Build();
  std::vector<std::string> calls = app.companion.calls;
  std::sort(calls.begin(), calls.end());
  EXPECT_EQ(calls, (std::vector<std::string>{"nametoip:NONAME", "nametoip:PC01"}));
  // A name that does not resolve costs that one lookup: the provider is not asked.
  EXPECT_EQ(app.provider.resolved(), (std::vector<std::string>{"PC01=10.0.0.5"}));
  EXPECT_FALSE(app.provider.lookup().resolve) << "the provider calls back into the window";
}

TEST_F(ShareTree, ShareTextsAreCutByLength) {
  const std::string so = Cp932("ソ");  // 0x83 0x5C
  app.provider.Add("\\\\A\\B", {"\\\\AB\\SHARE", "\\\\A"});
  app.provider.Add("\\\\" + so + "PC", {"\\\\" + so + "PC\\X"});
  form->ListView3->AddRow(QStringLiteral("A\\B"), {QString()});
  form->ListView3->AddRow(QStringLiteral("ソPC"), {QString()});
  Build();
  // "A\B" gives node "AB"; the cut counts from the shorter node text; a remote
  // name too short for a share gives an empty text.
  EXPECT_EQ(Tree(form->TreeView1), (QStringList{"AB", "  SHARE", "  ", QStringLiteral("ソPC"), "  X"}));
}

TEST_F(ShareTree, EmptyListMakesNoCalls) {
  form->TreeView1->addTopLevelItem(new QTreeWidgetItem(QStringList{"stale"}));
  Build();
  EXPECT_EQ(form->TreeView1->topLevelItemCount(), 0);
  EXPECT_TRUE(app.companion.calls.empty());
  EXPECT_EQ(form->Status(), QStringLiteral("終了"));
}

TEST_F(ShareTree, ClicksWhileBuildingCannotPullTheRowsAway) {
  app.provider.Add("", {"WG"}).Add("WG", {"\\\\Z1"});
  app.provider.Add("\\\\PC01", {"\\\\PC01\\A"}).Add("\\\\PC02", {"\\\\PC02\\B"});
  Rows({"PC01", "PC02"});
  form->show();
  form->workgroupname->setText(QStringLiteral("WG"));
  form->Button1->click();
  QTest::mouseClick(form->Button5, Qt::LeftButton);
  QTest::mouseClick(form->Button1, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->Status() == QStringLiteral("終了"); }, 5000));
  EXPECT_EQ(Tree(form->TreeView1), (QStringList{"PC01", "  A", "PC02", "  B"}));
  EXPECT_EQ(Captions(*form), (QStringList{"PC01", "PC02"}));
  form->Button5->click();  // once the tree is built, the listing works again
  EXPECT_EQ(Captions(*form), QStringList{"Z1"});
}

TEST_F(ShareTree, DoubleClickHandsTheExactCommandLineToTheLauncher) {
  app.provider.Add("\\\\PC01", {"\\\\PC01\\DATA", "\\\\PC01\\my docs"});
  Rows({"PC01"});
  form->show();
  form->TreeView1DblClick();  // nothing selected: nothing happens
  EXPECT_TRUE(app.ui.launched.empty());

  Build();
  QTreeWidgetItem* pc = form->TreeView1->topLevelItem(0);
  form->TreeView1->setCurrentItem(pc->child(1));
  // A real double click; the handler runs once the tree has taken the click.
  const QRect rect = form->TreeView1->visualItemRect(pc->child(1));
  QTest::mouseDClick(form->TreeView1->viewport(), Qt::LeftButton, {}, rect.center());
  QTest::qWait(20);
  form->TreeView1->setCurrentItem(pc);
  form->TreeView1DblClick();
  EXPECT_EQ(app.ui.launched,
            (std::vector<std::string>{"explorer.exe /root, /e,\\\\PC01\\my docs", "explorer.exe /root, /e,\\\\PC01"}));
}

TEST_F(ShareTree, SecondClickRebuildsFromTheCurrentRowsAndSelectionExpandsOneNode) {
  app.provider.Add("\\\\PC01", {"\\\\PC01\\A"}).Add("\\\\PC02", {"\\\\PC02\\B"});
  Rows({"PC01", "PC02"});
  form->show();
  Build();
  QTreeWidgetItem* first = form->TreeView1->topLevelItem(0);
  QTreeWidgetItem* second = form->TreeView1->topLevelItem(1);
  form->TreeView1->setCurrentItem(first->child(0));
  form->TreeView1->setCurrentItem(second);  // single expand: the node that lost the selection closes
  EXPECT_TRUE(second->isExpanded());
  form->ListView3->clear();
  Rows({"PC02"});
  Build();  // with a selected node in the old tree
  EXPECT_EQ(Tree(form->TreeView1), (QStringList{"PC02", "  B"}));
}

TEST_F(ShareTree, RowsComeInRowOrderAndABoxStandsWhileTheLaterRowsGoOn) {
  // PC01 is slow and PC02 fails at once: PC02's box still waits for PC01's
  // node, and while it stands PC03 and PC04 are listed.
  std::atomic<int> opened{0};
  app.provider.Add("\\\\PC01", {"\\\\PC01\\A"}).FailOpen("\\\\PC02", 53);
  app.provider.Add("\\\\PC03", {}).Add("\\\\PC04", {});
  app.provider.OnOpen([&](const std::string& remote) {
    if (remote == "\\\\PC01") std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ++opened;
  });
  Rows({"PC01", "PC02", "PC03", "PC04"});
  QStringList treeAtBox;
  bool othersWentOn = false;
  app.ui.onMessage = [&] {
    treeAtBox = Tree(form->TreeView1);
    othersWentOn = QTest::qWaitFor([&] { return opened == 4; }, 3000);
  };
  Build();
  EXPECT_EQ(treeAtBox, (QStringList{"PC01", "  A"}));
  EXPECT_TRUE(othersWentOn);
  EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral("PC02のリソースを取得できません")});
  EXPECT_EQ(Tree(form->TreeView1), (QStringList{"PC01", "  A", "PC03", "PC04"}));
}

TEST_F(ShareTree, ClosingWhileRowsAreWorkedOnEndsInTimeAndStillSavesTheList) {
  std::atomic<int> rowsOpened{0};
  app.provider.OnOpen([&](const std::string& remote) {
    if (remote.compare(0, 4, "\\\\PC") != 0) return;
    ++rowsOpened;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  });
  QStringList captions;
  for (int i = 0; i < 40; ++i) captions.append(QStringLiteral("PC%1").arg(i, 2, 10, QLatin1Char('0')));
  Rows(captions);
  form->Button1->click();
  QTest::qWait(50);  // the first workers are inside their opens
  const auto start = std::chrono::steady_clock::now();
  app.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  // Only the rows under way were opened; no box came after the window went.
  EXPECT_LE(rowsOpened, static_cast<int>(netinfo::kShareTreeWorkers));
  EXPECT_TRUE(app.ui.boxes.isEmpty());
  EXPECT_NE(app.ReadListFile().find("PC39"), std::string::npos);
  QTest::qWait(20);  // anything still queued for the window is dropped
}

// Names from a broken server: invalid UTF-8, and a lone surrogate encoded as
// UTF-8. Each shows as U+FFFD where it is broken, no "?" is shown that the
// name does not have, the URL asks for the bytes the server gave, and the
// list file is left as it was.
TEST_F(ShareTree, BrokenNamesShowAsBrokenAndOpenAsGiven) {
  auto record = [](const char* bytes, const char* text) {
    return [=](uint32_t*, void* b, uint32_t* s) {
      return netinfo::WriteRecord({}, nullptr, bytes, nullptr, nullptr, b, s, text);
    };
  };
  app.provider.AddCustom("\\\\PC01", {record("\\\\PC01\\a?b",
                                             "\\\\PC01\\a\xFF"
                                             "b"),
                                      record("\\\\PC01\\???", "\\\\PC01\\\xED\xA0\x80")});
  Rows({"PC01"});
  Build();
  EXPECT_EQ(Tree(form->TreeView1), (QStringList{"PC01",
                                                "  a\uFFFD"
                                                "b",
                                                "  \uFFFD\uFFFD\uFFFD"}));
  QTreeWidgetItem* pc = form->TreeView1->topLevelItem(0);
  form->TreeView1->setCurrentItem(pc->child(0));
  form->TreeView1DblClick();
  ASSERT_EQ(app.ui.launched.size(), 1u);
  EXPECT_EQ(app.ui.launched[0], "explorer.exe /root, /e,\\\\PC01\\a?b");
  EXPECT_EQ(SmbUrlForCommandLine(app.ui.launched[0], {}, app.ui.launchedText[0]), QByteArray("smb://PC01/a%FFb"));
  app.Close();
  EXPECT_EQ(app.ReadListFile(), "[WGPCLIST]\r\n1\r\nPC01\r\n");
}

TEST(Launcher, HostileNamesStayOneUrlOfData) {
  EXPECT_EQ(SmbUrlForCommandLine(ExplorerCommandLine("\\\\PC01\\DATA")), QByteArray("smb://PC01/DATA"));
  EXPECT_EQ(SmbUrlForCommandLine(ExplorerCommandLine("\\\\PC01")), QByteArray("smb://PC01"));
  const std::string hostile = "a b\"c';d|e$(rm -rf ~)`x`\nf&g>h";
  const QByteArray url = SmbUrlForCommandLine(ExplorerCommandLine("\\\\PC01\\" + hostile));
  EXPECT_EQ(url, QByteArray("smb://PC01/a%20b%22c%27%3Bd%7Ce%24%28rm%20-rf%20~%29%60x%60%0Af%26g%3Eh"));
  for (char c : std::string(" \"';|$()`\n&>")) EXPECT_FALSE(url.contains(c)) << c;
  // A 250-byte name and a double-byte name whose second byte is 0x5C.
  const QByteArray longUrl = SmbUrlForCommandLine(ExplorerCommandLine("\\\\PC\\" + std::string(250, 'x')));
  EXPECT_EQ(longUrl.size(), 9 + 250);
  EXPECT_EQ(SmbUrlForCommandLine(ExplorerCommandLine("\\\\PC\\" + Cp932("ソ"))), QByteArray("smb://PC/%E3%82%BD"));
  EXPECT_TRUE(SmbUrlForCommandLine("rm -rf /").isEmpty());
}

}  // namespace
