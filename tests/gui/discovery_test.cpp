// The workgroup listing and the start-up workgroup with WS-Discovery and
// DNS-SD beside the browse list (fake sources on a fake clock, which the
// window's waits move on).
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QTextDocument>
#include <QToolTip>
#include <chrono>
#include <thread>

#include "TListView.h"
#include "app_fixture.h"

namespace {

using discovery::Finding;
using discovery::Origin;
using discovery::Outcome;
constexpr Origin W = Origin::WsDiscovery, D = Origin::DnsSd;

TEST(MergedListing, EveryComputerOnceUnderItsWorkgroupAsFound) {
  fakes::FakeClock clock;
  Finding win11{W, "WIN11", "10.0.0.2", "wg"};
  win11.details.manufacturer = "<b>Maker</b>";  // a hostile LAN's markup stays text
  win11.details.model = std::string(300, 'M');
  AppFixture app;
  app.clock = &clock;
  app.withSources = true;
  app.provider.Add("", {"WG"}).Add("WG", {"\\\\PC01", "\\\\PC02"});
  app.wsd.Find(10, {W, "pc01", "10.0.0.1", "WG"})
      .Find(20, win11)
      .Find(30, {W, "FAR", "10.0.0.3", "OTHER"})
      .EndAfter(200);
  app.dnsSd.Find(15, {D, "pc02", "10.0.0.4", ""})
      .Find(25, {D, "win11-laptop", "10.0.0.2", ""})
      .Find(35, {D, "nas2", "10.0.0.8", ""})
      .Find(38, {D, "nas3", "10.0.0.7", ""})
      .Find(40, {D, "nas", "10.0.0.9", ""})
      .Find(45, {D, "far", "10.0.0.3", ""})
      .EndAfter(100);
  // nas2 is in WG; nas3 says it is elsewhere only after every source has ended; nas never answers.
  app.nodeStatus.Answer("10.0.0.8", 5, "wg").Answer("10.0.0.7", 250, "OTHER");
  TForm1& form = app.Open();
  QList<QStringList> seen;  // the rows at each wait
  app.ui.onPump = [&] { seen.append(Captions(form)); };
  form.Button5->click();

  EXPECT_EQ(Captions(form), (QStringList{"PC01", "PC02", "WIN11", "nas2", "nas"}));
  EXPECT_EQ(Addresses(form), (QStringList{{}, {}, {}, {}, {}}));
  // Computers no other source placed are asked, and WS-Discovery's for their details; once.
  EXPECT_EQ(app.nodeStatus.asked,
            (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.8", "10.0.0.7", "10.0.0.9"}));
  const QString tip = form.ListView3->topLevelItem(2)->toolTip(0);
  EXPECT_TRUE(tip.contains(QStringLiteral("<b>Maker</b>"))) << tip.toStdString();
  EXPECT_FALSE(Qt::mightBeRichText(tip));
  EXPECT_LT(tip.size(), 400);
  EXPECT_TRUE(form.ListView3->topLevelItem(0)->toolTip(0).isEmpty());
  if (const QString grabDir = qEnvironmentVariable("MLK_GRAB_DIR"); !grabDir.isEmpty()) {
    form.show();
    QToolTip::showText(form.mapToGlobal(QPoint(60, 250)), tip, &form);
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->inherits("QTipLabel")) w->grab().save(grabDir + "/details-tooltip.png");
    form.grab().save(grabDir + "/details-window.png");
  }
  EXPECT_EQ(form.Status(), QStringLiteral("終了"));
  EXPECT_TRUE(app.ui.boxes.isEmpty());
  EXPECT_TRUE(seen.contains(QStringList{"PC01", "PC02", "WIN11"}));  // shown before the window closed
  EXPECT_EQ(app.wsd.lastWindowMs, app.dnsSd.lastWindowMs);

  form.Button5->click();  // a second listing gives the same rows
  EXPECT_EQ(Captions(form), (QStringList{"PC01", "PC02", "WIN11", "nas2", "nas"}));

  // The tree's node of the computer has the same tooltip. The listing's
  // background browse read uses the provider: it ends before the provider is changed.
  ASSERT_TRUE(discovery::Listing::WaitForReads(5000));
  app.companion.nametoip = FakeCompanion::Answer(0, "10.0.0.2");
  app.provider.Add("\\\\WIN11", {"\\\\WIN11\\share"});
  form.Button1->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Status() == QStringLiteral("終了"); }, 5000));
  const QList<QTreeWidgetItem*> nodes = form.TreeView1->findItems(QStringLiteral("WIN11"), Qt::MatchExactly);
  ASSERT_EQ(nodes.size(), 1);
  EXPECT_EQ(nodes[0]->toolTip(0), tip);
}

TEST(MergedListing, AClickInsideTheWaitIsIgnored) {
  fakes::FakeClock clock;
  AppFixture app;
  app.clock = &clock;
  app.withSources = true;
  app.provider.Add("", {"WG"}).Add("WG", {"\\\\PC01"});
  app.wsd.Find(10, {W, "WIN11", "10.0.0.2", "WG"}).EndAfter(60);
  app.dnsSd.Refuse(Outcome::NoDaemon);
  TForm1& form = app.Open();
  bool clicked = false;
  app.ui.onPump = [&] {
    if (clicked) return;
    clicked = true;
    form.Button5->click();
  };
  form.Button5->click();
  EXPECT_TRUE(clicked);
  EXPECT_EQ(app.wsd.starts, 1);  // the start-up search serves the listing on a cold table
  EXPECT_EQ(Captions(form), (QStringList{"PC01", "WIN11"}));
}

TEST(EmptyListing, TheStatusSaysWhatEachSourceFound) {
  struct Case {
    const char* what;
    const char* browseFails;  // the provider's word for it; null: the browse list opens
    std::function<void(AppFixture&)> sources;
    const char* status;
    bool box;
  };
  const Case cases[] = {
      {"nothing answers", "",
       [](AppFixture& a) {
         a.wsd.EndAfter(30);
         a.dnsSd.Refuse(Outcome::NoDaemon);
       },
       "終了 (ブラウズリストなし: ERROR_NO_NETWORK、WSD応答なし、mDNSデーモン停止中)", false},
      {"the provider says why", "NT_STATUS_BAD_NETWORK_NAME",
       [](AppFixture& a) {
         a.wsd.EndAfter(30);
         a.dnsSd.EndAfter(20);
       },
       "終了 (ブラウズリストなし: NT_STATUS_BAD_NETWORK_NAME、WSD応答なし、DNS-SD応答なし)", false},
      {"only other workgroups", nullptr,
       [](AppFixture& a) {
         a.wsd.Find(5, {W, "FAR", "10.0.0.3", "OTHER"}).EndAfter(30);
         a.dnsSd.EndAfter(20);
       },
       "終了 (ブラウズリスト0台、WSDは他WGの1台のみ、DNS-SD応答なし)", false},
      {"no source could ask", "",
       [](AppFixture& a) {
         a.wsd.Refuse(Outcome::NoInterface);
         a.dnsSd.Refuse(Outcome::NoDaemon);
       },
       "終了 (ブラウズリストなし: ERROR_NO_NETWORK、WSD送信先なし、mDNSデーモン停止中)", true},
  };
  for (const Case& c : cases) {
    fakes::FakeClock clock;
    AppFixture app;
    app.withSources = true;
    app.clock = &clock;
    app.provider.Add("", {"WG"});
    if (!c.browseFails)
      app.provider.Add("WG", {});
    else
      app.provider.FailOpen("WG", 1222, {netinfo::Cause::kFailed, c.browseFails});
    c.sources(app);
    TForm1& form = app.Open();
    form.Button5->click();
    EXPECT_EQ(form.ListView3->RowCount(), 0) << c.what;
    EXPECT_EQ(form.Status(), QString::fromUtf8(c.status)) << c.what;
    EXPECT_EQ(app.ui.boxes, c.box ? QStringList{QStringLiteral("異常終了")} : QStringList()) << c.what;
  }
}

TEST(StartupWorkgroup, FallsBackToWsDiscoveryThenSamba) {
  {
    fakes::FakeClock clock;
    AppFixture app;  // the browse list gives one: nobody waits for the others
    app.withSources = true;
    app.clock = &clock;
    app.provider.Add("", {"WG"});
    // A slow read runs on the worker: the window's loop goes on meanwhile.
    app.provider.OnOpen([](const std::string&) { std::this_thread::sleep_for(std::chrono::milliseconds(200)); });
    bool fired = false;
    QTimer::singleShot(20, [&fired] { fired = true; });
    app.wsd.Find(5, {W, "A", "10.0.0.1", "ELSE"}).EndAfter(-1);
    EXPECT_EQ(app.Open().workgroupname->text(), QStringLiteral("WG"));
    EXPECT_TRUE(fired);
    EXPECT_EQ(app.wsd.cancels, 0);  // it goes on looking for the first listing
  }
  {
    fakes::FakeClock clock;
    AppFixture app;  // what most WS-Discovery computers report
    app.withSources = true;
    app.clock = &clock;
    app.wsd.Find(5, {W, "A", "10.0.0.1", "WGB"})
        .Find(6, {W, "B", "10.0.0.2", "WGA"})
        .Find(7, {W, "C", "10.0.0.3", "wga"})
        .EndAfter(50);
    EXPECT_EQ(app.Open().workgroupname->text(), QStringLiteral("WGA"));
  }
  {
    fakes::FakeClock clock;
    AppFixture app;  // no answer: the local Samba configuration's
    app.withSources = true;
    app.clock = &clock;
    app.sambaConfigPath = app.ListPath() + ".smb.conf";
    QFile conf(QString::fromStdString(app.sambaConfigPath));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("[global]\n  workgroup = HOMENET\n");
    conf.close();
    app.wsd.EndAfter(20);
    EXPECT_EQ(app.Open().workgroupname->text(), QStringLiteral("HOMENET"));
  }
  {
    fakes::FakeClock clock;
    AppFixture app;  // a source that never ends its window does not hold the splash
    app.withSources = true;
    app.clock = &clock;
    app.wsd.EndAfter(-1);
    EXPECT_EQ(app.Open().workgroupname->text(), QString());
    EXPECT_GE(clock.Now(), discovery::Listing::kStartupWaitMs);
    EXPECT_LT(clock.Now(), discovery::Listing::kListingBoundMs);
    EXPECT_EQ(app.wsd.cancels, 1);
  }
}

}  // namespace
