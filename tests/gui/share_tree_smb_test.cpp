// The share tree end to end: the real companion library and the real
// provider against an smbd on 127.0.0.1 that the test starts itself.
#include <gtest/gtest.h>

#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "TListView.h"
#include <fstream>

#include "app_fixture.h"
#include "launcher.h"
#include "netprovider.h"
#include "smb_test_env.h"

namespace {

std::string Emoji80() {
  std::string out;
  for (int i = 0; i < 20; ++i) out += u8"😀";
  return out;
}

TEST(ShareTreeOnSamba, RealSharesForTheServerAndOneBoxForAnUnknownName) {
  if (const std::string why = smbtest::WhyNoServers(); !why.empty()) GTEST_SKIP() << why;
  const std::string dir = smbtest::MakeTempDir("mirelka-tree");
  ASSERT_FALSE(dir.empty());
  smbtest::UsePrivateClientConfig(dir);
  const smbtest::StopOnExit stop("smbd_fixture.sh stop " + dir + "/server", dir);
  // Shares named as Unix servers and NAS boxes name them: a WAVE DASH, an
  // accent, an emoji, the code page's own tilde; 80 bytes of emoji; a WAVE
  // DASH alone.
  const std::vector<std::string> named = {u8"資料〜2024", u8"café", u8"写真😀", u8"資料～2025", Emoji80(), u8"〜"};
  std::string extra;
  for (const std::string& name : named) extra += name + "\n";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir + "/server")));
  std::ofstream(dir + "/server/extra-shares", std::ios::binary) << extra;
  ASSERT_EQ(smbtest::RunFixture("smbd_fixture.sh start " + dir + "/server"), 0) << "smbd did not start";
  {
    PlatformBackends platform(false);
    AppFixture app;
    Seams seams = platform.SeamsFor(&app.ui);
    seams.sockets = &app.sockets;
    TForm1& form = app.Open(seams);
    ASSERT_TRUE(app.ui.boxes.isEmpty());
    form.ListView3->AddRow(QStringLiteral("127.0.0.1"), {QString()});
    form.ListView3->AddRow(QStringLiteral("NOSUCHHOST"), {QString()});
    form.Button1->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.Status() == QStringLiteral("終了"); }, 15000));

    // The unknown name keeps a greyed node that says why.
    ASSERT_EQ(form.TreeView1->topLevelItemCount(), 2);
    EXPECT_TRUE(form.TreeView1->topLevelItem(1)->toolTip(0).startsWith(QStringLiteral("名前が見つかりません")));
    const QTreeWidgetItem* server = form.TreeView1->topLevelItem(0);
    EXPECT_EQ(server->text(0), QStringLiteral("127.0.0.1"));
    QStringList shares;
    for (int i = 0; i < server->childCount(); ++i) shares.append(server->child(i)->text(0));
    QStringList expected = {QStringLiteral("公開"), QStringLiteral("共有データ"), QStringLiteral("my docs"),
                            QStringLiteral("printer1")};
    for (const std::string& name : named) expected.append(QString::fromStdString(name));
    EXPECT_EQ(shares, expected);
    // Each opens under the name the server gave it.
    QList<QByteArray> urls;
    for (int i = 4; i < server->childCount(); ++i) {
      form.TreeView1->setCurrentItem(server->child(i));
      form.TreeView1DblClick();
      urls.append(SmbUrlForCommandLine(app.ui.launched.back(), {}, app.ui.launchedText.back()));
    }
    ASSERT_EQ(urls.size(), 6);
    EXPECT_EQ(urls[0], QByteArray("smb://127.0.0.1/%E8%B3%87%E6%96%99%E3%80%9C2024"));
    EXPECT_EQ(urls[1], QByteArray("smb://127.0.0.1/caf%C3%A9"));
    EXPECT_EQ(urls[2], QByteArray("smb://127.0.0.1/%E5%86%99%E7%9C%9F%F0%9F%98%80"));
    EXPECT_EQ(urls[3], QByteArray("smb://127.0.0.1/%E8%B3%87%E6%96%99%EF%BD%9E2025"));
    EXPECT_EQ(urls[4], "smb://127.0.0.1/" + QByteArray("%F0%9F%98%80").repeated(20));
    EXPECT_EQ(urls[5], QByteArray("smb://127.0.0.1/%E3%80%9C"));
    EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral("NOSUCHHOSTのリソースを取得できません")});
    EXPECT_EQ(form.ListView3->SubItem(0), QStringLiteral("127.0.0.1"));
    EXPECT_FALSE(form.ListView3->SubItem(1).isEmpty());  // the library's reason text
    EXPECT_EQ(form.Status(), QStringLiteral("終了"));
  }
}

}  // namespace
