// The window's Windows backends on the system itself (Wine in the test run):
// the network provider as it is there, the launcher's shell call, the
// crash-report settings, the Credential Manager and the list file's folder.
#include <windows.h>
#include <wincred.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "TListView.h"
#include "app_fixture.h"
#include "credentials.h"
#include "hardening.h"
#include "launcher.h"
#include "listlocation.h"

namespace {

// Under Wine no network provider is installed: the listing and the tree fail
// for real, each says so in its box, and the window keeps answering.
TEST(WindowsSystem, WithoutANetworkProviderListingAndTreeGiveTheirBoxes) {
  AppFixture app;
  auto provider = netinfo::MakePlatformNetProvider();
  app.systemProvider = provider.get();
  app.companion.nametoip = FakeCompanion::Answer(0, "127.0.0.1");
  TForm1& form = app.Open();
  form.Button5->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Status().startsWith(QStringLiteral("終了")); }, 10000));
  EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral("異常終了")});
  EXPECT_EQ(form.ListView3->RowCount(), 0);

  app.ui.boxes.clear();
  form.ListView3->AddRow(QStringLiteral("PC01"), {QString()});
  form.Button1->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Status() == QStringLiteral("終了"); }, 10000));
  EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral("PC01のリソースを取得できません")});
  // Its node stays, greyed, with why as its tooltip.
  ASSERT_EQ(form.TreeView1->topLevelItemCount(), 1);
  EXPECT_FALSE(form.TreeView1->topLevelItem(0)->toolTip(0).isEmpty());
  // Still usable: a second tree runs and ends the same way.
  form.Button1->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Status() == QStringLiteral("終了"); }, 10000));
  EXPECT_EQ(app.ui.boxes.size(), 2);
  EXPECT_TRUE(form.Button1->isEnabled());
}

TEST(WindowsLauncher, TheShellExploresTheWholeUncPathAndNothingElse) {
  std::vector<std::pair<std::wstring, std::wstring>> calls;
  const ShellExecuteCall record = [&](const std::wstring& verb, const std::wstring& file) {
    calls.emplace_back(verb, file);
  };
  // The peer's own text wins over the code page's bytes.
  StartFileManagerWith(record, ExplorerCommandLine("\\\\PC01\\?"), "\\\\PC01\\データ①");
  // Without it, the code page 932 bytes are decoded.
  StartFileManagerWith(record, ExplorerCommandLine("\\\\PC02\\" + Cp932("共有")), "");
  // A hostile name stays one file name: no option, no second program.
  const std::string hostile = "\\\\PC03\\a\" /select,calc.exe & b";
  StartFileManagerWith(record, ExplorerCommandLine(hostile), hostile);
  // Not a UNC path, not the file manager's command line: nothing.
  StartFileManagerWith(record, ExplorerCommandLine("C:\\Windows"), "");
  StartFileManagerWith(record, "calc.exe", "\\\\PC04\\x");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].first, L"explore");
  EXPECT_EQ(calls[0].second, L"\\\\PC01\\\u30c7\u30fc\u30bf\u2460");
  EXPECT_EQ(calls[1].second, L"\\\\PC02\\\u5171\u6709");
  EXPECT_EQ(calls[2].second, L"\\\\PC03\\a\" /select,calc.exe & b");
}

TEST(WindowsHardening, NoErrorBoxAndTheLastChanceHandlerIsOurs) {
  const LPTOP_LEVEL_EXCEPTION_FILTER before = SetUnhandledExceptionFilter(nullptr);
  SetUnhandledExceptionFilter(before);
  KeepSecretsOutOfCoreDumps();
  const UINT mode = GetErrorMode();
  EXPECT_TRUE(mode & SEM_NOGPFAULTERRORBOX);
  EXPECT_TRUE(mode & SEM_FAILCRITICALERRORS);
  const LPTOP_LEVEL_EXCEPTION_FILTER ours = SetUnhandledExceptionFilter(before);
  EXPECT_NE(ours, nullptr);
  EXPECT_NE(ours, before);
}

class CredentialManager : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const wchar_t* target : {L"Mirelka:smb://WINPC", L"Mirelka:smb://ODD"})
      CredDeleteW(target, CRED_TYPE_GENERIC, 0);
  }
  std::unique_ptr<netinfo::CredentialStore> store = netinfo::MakeKeyringStore();
};

TEST_F(CredentialManager, EntriesRoundTripWithTheirBindingAndHostsCompareWithoutCase) {
  ASSERT_TRUE(store->Available());
  EXPECT_FALSE(store->Load("winpc"));
  netinfo::Credentials saved;
  saved.user = "WG\\山田";
  saved.password = netinfo::Secret("pa\xC3\xA9ss", 6);
  saved.boundTo = netinfo::ResolvedHost{"192.168.1.20", netinfo::NameSource::kNetbios};
  ASSERT_TRUE(store->Save("winpc", saved));
  const auto loaded = netinfo::MakeKeyringStore()->Load("WinPC");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->user, saved.user);
  EXPECT_EQ(loaded->password.bytes(), saved.password.bytes());
  ASSERT_TRUE(loaded->boundTo);
  EXPECT_EQ(loaded->boundTo->address, "192.168.1.20");
  EXPECT_EQ(loaded->boundTo->source, netinfo::NameSource::kNetbios);

  // Too long for the store: refused, and the earlier entry stays.
  netinfo::Credentials huge = saved;
  huge.password = netinfo::Secret(std::string(600, 'x').data(), 600);
  EXPECT_FALSE(store->Save("WINPC", huge));
  EXPECT_EQ(store->Load("WINPC")->password.bytes(), saved.password.bytes());
}

TEST_F(CredentialManager, AnEntryNotInOurFormReadsAsNone) {
  char blob[] = "no separator here";
  CREDENTIALW entry{};
  entry.Type = CRED_TYPE_GENERIC;
  entry.TargetName = const_cast<wchar_t*>(L"Mirelka:smb://ODD");
  entry.CredentialBlobSize = sizeof blob - 1;
  entry.CredentialBlob = reinterpret_cast<BYTE*>(blob);
  entry.Persist = CRED_PERSIST_LOCAL_MACHINE;
  ASSERT_TRUE(CredWriteW(&entry, 0));
  EXPECT_FALSE(store->Load("odd"));
}

TEST(WindowsListLocation, InstalledInTheRoamingFolderPortableBesideWhenWritable) {
  wchar_t appData[MAX_PATH];
  ASSERT_GT(GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH), 0u);
  const std::string roaming = QFile::encodeName(QString::fromWCharArray(appData)).toStdString();
  EXPECT_EQ(pclist::UserConfigHome(), roaming);

  QTemporaryDir dir;
  const std::string exe = QFile::encodeName(dir.filePath(QStringLiteral("mirelka.exe"))).toStdString();
  const std::string beside = QFile::encodeName(dir.filePath(QStringLiteral("mirelka.ini"))).toStdString();
  const std::string inRoaming = roaming + "\\mirelka\\mirelka.ini";
  EXPECT_EQ(pclist::LocateListFile(exe, roaming, pclist::Copy::kPortable).path, beside);
  EXPECT_EQ(pclist::LocateListFile(exe, roaming, pclist::Copy::kInstalled).path, inRoaming);
  // A folder that cannot be written to (here: gone) sends even a portable copy there.
  const std::string gone = QFile::encodeName(dir.filePath(QStringLiteral("gone/mirelka.exe"))).toStdString();
  EXPECT_EQ(pclist::LocateListFile(gone, roaming, pclist::Copy::kPortable).path, inRoaming);
  // Probing leaves nothing behind.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 0);
}

}  // namespace
