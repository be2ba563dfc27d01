// The share tree end to end: the real companion library and the real
// provider against an smbd on 127.0.0.1 that the test starts itself.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "TListView.h"
#include "app_fixture.h"
#include "netprovider.h"
#include "smb_test_env.h"

namespace {

TEST(ShareTreeOnSamba, RealSharesForTheServerAndOneBoxForAnUnknownName) {
  if (const std::string why = smbtest::WhyNoServers(); !why.empty()) GTEST_SKIP() << why;
  const std::string dir = smbtest::MakeTempDir("mirelka-tree");
  ASSERT_FALSE(dir.empty());
  smbtest::UsePrivateClientConfig(dir);
  const smbtest::StopOnExit stop("smbd_fixture.sh stop " + dir + "/server", dir);
  ASSERT_EQ(smbtest::RunFixture("smbd_fixture.sh start " + dir + "/server"), 0) << "smbd did not start";
  {
    AppFixture app;
    auto provider = netinfo::MakePlatformNetProvider();
    auto dynlib = netlib::MakePlatformDynamicLibrary();
    TForm1Deps deps;
    deps.ui = &app.ui;
    deps.provider = provider.get();
    deps.sockets = &app.sockets;
    deps.dynlib = dynlib.get();
    deps.libraryName = netlib::LibraryFileName();
    deps.listFilePath = app.ListPath();
    TForm1 form(deps);
    ASSERT_TRUE(app.ui.boxes.isEmpty());
    form.ListView3->AddRow(QStringLiteral("127.0.0.1"), {QString()});
    form.ListView3->AddRow(QStringLiteral("NOSUCHHOST"), {QString()});
    form.Button1->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.Status() == QStringLiteral("終了"); }, 15000));

    ASSERT_EQ(form.TreeView1->topLevelItemCount(), 1);
    const QTreeWidgetItem* server = form.TreeView1->topLevelItem(0);
    EXPECT_EQ(server->text(0), QStringLiteral("127.0.0.1"));
    QStringList shares;
    for (int i = 0; i < server->childCount(); ++i) shares.append(server->child(i)->text(0));
    EXPECT_EQ(shares, (QStringList{QStringLiteral("公開"), QStringLiteral("共有データ"), QStringLiteral("my docs"),
                                   QStringLiteral("printer1")}));
    EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral("NOSUCHHOSTのリソースを取得できません")});
    EXPECT_EQ(form.ListView3->SubItem(0), QStringLiteral("127.0.0.1"));
    EXPECT_FALSE(form.ListView3->SubItem(1).isEmpty());  // the library's reason text
    EXPECT_EQ(form.Status(), QStringLiteral("終了"));
  }
}

}  // namespace
